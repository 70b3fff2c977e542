#pragma once

#include "boards/ui/ExtendSettingDialog.h"

#include <memory>
#include <string>

namespace Ui {
class ExtendSetting_NR2;
}

namespace pellux {

// Nine punch positions and the press speed of the NR2 model, loaded from and
// saved to the running control board.
class ExtendSetting_NR2 : public ExtendSettingDialog {
  Q_OBJECT

 public:
  explicit ExtendSetting_NR2(std::string portName, QWidget* parent = nullptr);
  ~ExtendSetting_NR2() override;

 private:
  std::unique_ptr<Ui::ExtendSetting_NR2> ui_;
};

}  // namespace pellux
