#include "boards/ui/ExtendSetting.h"

#include "app/ui/MessageBox.h"

void RunExtendSetting(const std::string& machineText, const std::string& machineKey,
                      const std::string& portName) {
  if (machineKey == "NONE") return;
  ShowMessage(QStringLiteral("This machine has no extend setting function."), MessageIcon::None);
}
