#include <gtest/gtest.h>

#include "ScopedEnv.h"
#include "VirtualServoDrive.h"
#include "base/Cancellation.h"
#include "serial/SerialCommunication.h"

using namespace pellux;

namespace {

// Raw frames the program never sends, to see the drive's own answers.
class ServoDriveLine : public ::testing::Test {
 protected:
  ServoDriveLine() {
    drive_.Start();
    SerialSettings settings;
    settings.portName = "COM5";
    settings.baudRate = 9600;
    port_.Configure(settings);
  }
  void Send(const std::string& frame) { port_.Write(frame.data(), frame.size()); }

  VirtualServoDrive drive_;
  ScopedEnv portMap_{"PUPDATE_PORT_MAP", "COM5=" + drive_.PortPath()};
  const CancelToken cancel_;
  SerialCommunication port_{cancel_};
};

}  // namespace

TEST_F(ServoDriveLine, AnswersWrongCheckDigitsAndUnknownCommands) {
  ASSERT_TRUE(port_.Open());
  Send(
      "\x02"
      "01#ETC12:0\x03");  // the check digit is 'D'
  ASSERT_TRUE(drive_.WaitForAnswers(1));
  // "01#XYZ:" adds up to 132 + 88 + 89 + 90 + 58 = 457; 457 % 16 = 9.
  Send(
      "\x02"
      "01#XYZ:9\x03");
  ASSERT_TRUE(drive_.WaitForAnswers(2));
  Send(
      "\x02"
      "01#ETC12:D\x03");
  ASSERT_TRUE(drive_.WaitForAnswers(3));
  EXPECT_EQ(drive_.Answers(), (std::vector<uint8_t>{0x15, 0x1F, 0x06}));
  EXPECT_EQ(drive_.FactoryResets(), 1);
  port_.Close();
}

TEST_F(ServoDriveLine, BytesAtAnotherBaudRateAreNoise) {
  SerialSettings settings;
  settings.portName = "COM5";
  settings.baudRate = 19200;
  port_.Configure(settings);
  ASSERT_TRUE(port_.Open());
  Send(
      "\x02"
      "01#ETC12:D\x03");
  ASSERT_TRUE(drive_.WaitForNoise(12));
  // The same frame at the drive's rate is the only one it takes.
  ASSERT_TRUE(port_.SetBaudRate(9600));
  Send(
      "\x02"
      "01#ETC12:D\x03");
  ASSERT_TRUE(drive_.WaitForAnswers(1));
  EXPECT_EQ(drive_.Answers(), std::vector<uint8_t>{0x06});
  EXPECT_EQ(drive_.FactoryResets(), 1);
  port_.Close();
}
