#include "boards/ExtendSettingForm.h"

namespace pellux {

namespace {
constexpr int kPunchQueryWaitMs = 5000;
constexpr int kSpeedQueryWaitMs = 1000;
}  // namespace

const ExtendSettingForm& Nr2ExtendSettingForm() {
  static const ExtendSettingForm form{
      .machineText = "New R2 Bender",
      .templateId = 107,
      .title = "NR2 Extend Setting",
      .boxIds = {1011, 1012, 1013, 1014, 1015, 1016, 1017, 1018, 1019, 1021},
      .queries = {{.command = "1",
                   .answerKey = "PUNCH_POS",
                   .firstBox = 0,
                   .boxCount = 9,
                   .waitMilliseconds = kPunchQueryWaitMs,
                   .wakeUpFirst = true},
                  {.command = "3",
                   .answerKey = "PRESS_SPEED",
                   .firstBox = 9,
                   .boxCount = 1,
                   .waitMilliseconds = kSpeedQueryWaitMs,
                   .wakeUpFirst = false}},
      .sets = {{.command = 2, .firstBox = 0, .boxCount = 9},
               {.command = 4, .firstBox = 9, .boxCount = 1}},
      .link = BoardLinkLife::PerExchange,
  };
  return form;
}

const ExtendSettingForm& R1psExtendSettingForm() {
  static const ExtendSettingForm form{
      .machineText = "R1 Bender with Puncher Selector",
      .templateId = 108,
      .title = "R1 with Punch Select Extend Setting",
      .boxIds = {1011, 1012, 1013, 1014, 1015, 1016},
      .queries = {{.command = "1",
                   .answerKey = "PUNCH_POS",
                   .firstBox = 0,
                   .boxCount = 6,
                   .waitMilliseconds = kPunchQueryWaitMs,
                   .wakeUpFirst = true}},
      .sets = {{.command = 2, .firstBox = 0, .boxCount = 6}},
      .link = BoardLinkLife::DialogLife,
  };
  return form;
}

ExtendSettingChoice ChooseExtendSetting(const std::string& machineText,
                                        const std::string& machineKey) {
  using Kind = ExtendSettingChoice::Kind;
  if (machineKey == "NONE") return {};
  for (const ExtendSettingForm* form : {&Nr2ExtendSettingForm(), &R1psExtendSettingForm()}) {
    if (form->machineText == machineText) return {.kind = Kind::Open, .form = form};
  }
  return {.kind = Kind::NoFunction};
}

}  // namespace pellux
