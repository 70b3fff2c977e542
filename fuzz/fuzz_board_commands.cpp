// The board command receiver: for any byte stream the answers it reports
// and the lines it prints match a small model of the receive table.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/Cancellation.h"
#include "boards/CCamVer1.h"

using namespace pellux;

namespace {

struct ReceiverModel {
  bool registerOpen = false, numberOpen = false, collecting = false;
  size_t registerHeld = 0, numberHeld = 0;
  std::string answer, line, printed;
  std::vector<std::string> answers;  // every completed answer, in order

  void Take(uint8_t byte) {
    static const std::string kIgnored("\x00\x09\x0B\x0D\x8A\x91\xE2\xE3\xE4\xE5\xE7", 11);
    static const std::string kControl("\x06\x07\x08\x15\x8C\x90\x80", 7);
    const char c = static_cast<char>(byte);
    if (kIgnored.find(c) != std::string::npos || kControl.find(c) != std::string::npos) return;
    switch (byte) {
      case '#':
      case 0xE1:
        registerOpen = true, registerHeld = 0;
        return;
      case '&':
        registerOpen = false;
        return;
      case '<':
        numberOpen = true, numberHeld = 0;
        return;
      case '>':
        numberOpen = false;
        return;
      case '{':
        answer.clear(), collecting = true;
        return;
      case '}':
        collecting = false, answers.push_back(answer);
        return;
      case 0x81:
        line.clear();
        return;
    }
    if (registerOpen) {
      registerOpen = registerHeld < 64;
      ++registerHeld;
    } else if (collecting) {
      answer += c;
    } else if (numberOpen) {
      numberOpen = numberHeld < 10;
      ++numberHeld;
    } else {
      line += c;
      if (c == '\n') printed += line, line.clear();
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietConsole console;
  ActiveConsoleScope scope(console);
  const CancelToken cancel;
  CCamVer1 board(cancel);
  ReceiverModel model;
  for (size_t i = 0; i < size; ++i) {
    board.ReceiveByte(data[i]);
    const size_t answersBefore = model.answers.size();
    model.Take(data[i]);
    if (model.answers.size() != answersBefore) {
      FUZZ_CHECK(board.TakeAnswerReady(), "a closing brace makes an answer ready");
      FUZZ_CHECK(!board.TakeAnswerReady(), "an answer is taken once");
      FUZZ_CHECK(board.AnswerText() == model.answers.back(), "the answer matches the model");
    }
  }
  FUZZ_CHECK(!board.TakeAnswerReady(), "no answer without a closing brace");
  FUZZ_CHECK(console.Output() == model.printed, "printed lines match the model");
  return 0;
}
