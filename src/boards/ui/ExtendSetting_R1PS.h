#pragma once

#include "boards/ui/ExtendSettingDialog.h"

#include <array>
#include <memory>
#include <string>

#include "boards/CCamVer1.h"

namespace Ui {
class ExtendSetting_R1PS;
}

namespace pellux {

class CFloatEdit;
// Six punch positions of the R1 bender with punch selector, loaded from and
// saved to the running control board through one link for the dialog's life.
class ExtendSetting_R1PS : public ExtendSettingDialog {
  Q_OBJECT

 public:
  explicit ExtendSetting_R1PS(std::string portName, QWidget* parent = nullptr);
  ~ExtendSetting_R1PS() override;

  bool IsLoaded() const { return loaded_; }

 private:
  void OnLoad();
  void OnSave();

  std::unique_ptr<Ui::ExtendSetting_R1PS> ui_;
  std::string portName_;
  CCamVer1 board_;
  std::array<CFloatEdit*, 6> punchBoxes_{};
  bool loaded_ = false;
};

}  // namespace pellux
