#include "boards/ExtendSettingForm.h"
#include "boards/ui/ExtendSetting.h"
#include "boards/ui/win32/ExtendSettingWindow.h"

namespace pellux {

void RunExtendSetting(const std::string& machineText, const std::string& machineKey,
                      const std::string& portName) {
  const ExtendSettingChoice choice = ChooseExtendSetting(machineText, machineKey);
  switch (choice.kind) {
    case ExtendSettingChoice::Kind::Nothing:
      return;
    case ExtendSettingChoice::Kind::NoFunction:
      ShowExtendSettingMessage(nullptr, kNoExtendSettingFunction);
      return;
    case ExtendSettingChoice::Kind::Open:
      ExtendSettingWindow(*choice.form, portName).Run();
      return;
  }
}

}  // namespace pellux
