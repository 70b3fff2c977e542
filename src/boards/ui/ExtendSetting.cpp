#include "boards/ui/ExtendSetting.h"

#include "app/ui/MessageBox.h"
#include "boards/ui/ExtendSetting_NR2.h"
#include "boards/ui/ExtendSetting_R1PS.h"

void RunExtendSetting(const std::string& machineText, const std::string& machineKey,
                      const std::string& portName) {
  if (machineKey == "NONE") return;
  // Chosen by display name: these two models keep extend settings.
  if (machineText == "New R2 Bender") {
    ExtendSetting_NR2 dialog(portName);
    dialog.exec();
  } else if (machineText == "R1 Bender with Puncher Selector") {
    ExtendSetting_R1PS dialog(portName);
    dialog.exec();
  } else {
    ShowMessage(QStringLiteral("This machine has no extend setting function."), MessageIcon::None);
  }
}
