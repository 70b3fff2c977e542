#include "boards/ui/ExtendSetting_R1PS.h"

#include "boards/ui/CFloatEdit.h"
#include "ui_ExtendSetting_R1PS.h"

namespace pellux {

ExtendSetting_R1PS::ExtendSetting_R1PS(std::string portName, QWidget* parent)
    : ExtendSettingDialog(R1psExtendSettingForm(), std::move(portName), parent),
      ui_(std::make_unique<Ui::ExtendSetting_R1PS>()) {
  ui_->setupUi(this);
  Bind();
}

ExtendSetting_R1PS::~ExtendSetting_R1PS() = default;

}  // namespace pellux
