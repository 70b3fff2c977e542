#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pellux {

// One query of a Load: its command, the key of a well-formed answer, the
// boxes the answer's values fill and how long the board may take.
struct ExtendSettingQuery {
  std::string command;
  std::string answerKey;
  size_t firstBox = 0;
  size_t boxCount = 0;
  int waitMilliseconds = 0;
  bool wakeUpFirst = false;  // the byte 0x0F goes out before the query
};

// One set command of a Save: "<command>,v1,v2,..." from a run of boxes.
struct ExtendSettingSet {
  int command = 0;
  size_t firstBox = 0;
  size_t boxCount = 0;
};

// How a dialog holds its line to the board.
enum class BoardLinkLife {
  // A new link for every Load and Save; frames carry the process-wide
  // sequence number.
  PerExchange,
  // One link for the dialog's life; frames carry its own sequence number
  // and are printed as they go.
  DialogLife,
};

// Everything that differs between the extend setting dialogs.
struct ExtendSettingForm {
  std::string machineText;  // the display name that opens it
  int templateId = 0;
  std::string title;
  std::vector<int> boxIds;  // in box order
  std::vector<ExtendSettingQuery> queries;
  std::vector<ExtendSettingSet> sets;
  BoardLinkLife link = BoardLinkLife::PerExchange;
};

const ExtendSettingForm& Nr2ExtendSettingForm();
const ExtendSettingForm& R1psExtendSettingForm();

// What the Extend Setting button does for a machine.
struct ExtendSettingChoice {
  enum class Kind {
    Nothing,     // the key "NONE"
    NoFunction,  // show kNoExtendSettingFunction
    Open,        // run the dialog of `form`
  };
  Kind kind = Kind::Nothing;
  const ExtendSettingForm* form = nullptr;
};

// Chosen by the exact display name, not by the machine key.
ExtendSettingChoice ChooseExtendSetting(const std::string& machineText,
                                        const std::string& machineKey);

// The buttons of both dialogs.
inline constexpr int kLoadButtonId = 1022;
inline constexpr int kSaveButtonId = 1020;
inline constexpr int kCloseButtonId = 2;

inline constexpr const char* kNoExtendSettingFunction =
    "This machine has no extend setting function.";

}  // namespace pellux
