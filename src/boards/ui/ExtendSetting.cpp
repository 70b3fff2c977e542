#include "boards/ui/ExtendSetting.h"

#include "app/ui/MessageBox.h"
#include "boards/ui/ExtendSetting_NR2.h"
#include "boards/ui/ExtendSetting_R1PS.h"
#include "jobs/ModeTable.h"

namespace pellux {

void RunExtendSetting(const std::string& machineText, const std::string& machineKey,
                      const std::string& portName) {
  if (machineKey == "NONE") return;
  switch (ExtendSettingModelOf(machineText)) {
    case ExtendSettingModel::NewR2Bender: {
      ExtendSetting_NR2 dialog(portName);
      dialog.exec();
      return;
    }
    case ExtendSettingModel::R1BenderWithPuncherSelector: {
      ExtendSetting_R1PS dialog(portName);
      dialog.exec();
      return;
    }
    case ExtendSettingModel::None:
      break;
  }
  ShowMessage(QStringLiteral("This machine has no extend setting function."), MessageIcon::None);
}

}  // namespace pellux
