#pragma once

#include "boards/ui/ExtendSettingDialog.h"

#include <array>
#include <memory>
#include <string>

namespace Ui {
class ExtendSetting_NR2;
}

namespace pellux {

class CFloatEdit;
// Nine punch positions and the press speed of the NR2 model, loaded from and
// saved to the running control board.
class ExtendSetting_NR2 : public ExtendSettingDialog {
  Q_OBJECT

 public:
  explicit ExtendSetting_NR2(std::string portName, QWidget* parent = nullptr);
  ~ExtendSetting_NR2() override;

  bool IsLoaded() const { return loaded_; }

 private:
  void OnLoad();
  void OnSave();

  std::unique_ptr<Ui::ExtendSetting_NR2> ui_;
  std::string portName_;
  std::array<CFloatEdit*, 9> punchBoxes_{};
  CFloatEdit* speedBox_ = nullptr;
  // Save is refused until a Load has succeeded.
  bool loaded_ = false;
};

}  // namespace pellux
