#include "boards/ui/ExtendSetting.h"

#include "app/ui/MessageBox.h"
#include "boards/ExtendSettingForm.h"
#include "boards/ui/ExtendSetting_NR2.h"
#include "boards/ui/ExtendSetting_R1PS.h"

namespace pellux {

void RunExtendSetting(const std::string& machineText, const std::string& machineKey,
                      const std::string& portName) {
  const ExtendSettingChoice choice = ChooseExtendSetting(machineText, machineKey);
  switch (choice.kind) {
    case ExtendSettingChoice::Kind::Nothing:
      return;
    case ExtendSettingChoice::Kind::NoFunction:
      ShowMessage(QString::fromUtf8(kNoExtendSettingFunction), MessageIcon::None);
      return;
    case ExtendSettingChoice::Kind::Open:
      break;
  }
  if (choice.form == &Nr2ExtendSettingForm()) {
    ExtendSetting_NR2 dialog(portName);
    dialog.exec();
  } else {
    ExtendSetting_R1PS dialog(portName);
    dialog.exec();
  }
}

}  // namespace pellux
