#pragma once

#include "boards/ui/ExtendSettingDialog.h"

#include <memory>
#include <string>

namespace Ui {
class ExtendSetting_R1PS;
}

namespace pellux {

// Six punch positions of the R1 bender with punch selector, loaded from and
// saved to the running control board through one link for the dialog's life.
class ExtendSetting_R1PS : public ExtendSettingDialog {
  Q_OBJECT

 public:
  explicit ExtendSetting_R1PS(std::string portName, QWidget* parent = nullptr);
  ~ExtendSetting_R1PS() override;

 private:
  std::unique_ptr<Ui::ExtendSetting_R1PS> ui_;
};

}  // namespace pellux
