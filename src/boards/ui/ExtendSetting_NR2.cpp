#include "boards/ui/ExtendSetting_NR2.h"

#include "boards/ui/CFloatEdit.h"
#include "ui_ExtendSetting_NR2.h"

namespace pellux {

ExtendSetting_NR2::ExtendSetting_NR2(std::string portName, QWidget* parent)
    : ExtendSettingDialog(Nr2ExtendSettingForm(), std::move(portName), parent),
      ui_(std::make_unique<Ui::ExtendSetting_NR2>()) {
  ui_->setupUi(this);
  Bind();
}

ExtendSetting_NR2::~ExtendSetting_NR2() = default;

}  // namespace pellux
