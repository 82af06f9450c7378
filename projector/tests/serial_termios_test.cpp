// The termios serial back end on a real pseudo-terminal pair: the program's
// side opens the terminal end, the test reads what arrives on the other end.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/serial.h"

namespace {

class PseudoTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    controller = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(controller, 0);
    ASSERT_EQ(grantpt(controller), 0);
    ASSERT_EQ(unlockpt(controller), 0);
    terminalName = ptsname(controller);
  }
  void TearDown() override {
    if (device != kNoSerialDevice) CloseSerialDevice(device);
    close(controller);
  }

  // Everything that arrives on the controller side until `count` bytes came or
  // nothing more arrives for a generous while.
  std::string Received(size_t count) {
    std::string bytes;
    while (bytes.size() < count) {
      pollfd waiting{controller, POLLIN, 0};
      if (poll(&waiting, 1, 5000) <= 0) break;
      char buffer[256];
      ssize_t n = read(controller, buffer, sizeof buffer);
      if (n <= 0) break;
      bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
  }

  // True when a read finds nothing waiting.
  bool NothingWaiting() {
    pollfd waiting{controller, POLLIN, 0};
    return poll(&waiting, 1, 0) == 0;
  }

  int controller = -1;
  std::string terminalName;
  SerialDevice device = kNoSerialDevice;
};

TEST_F(PseudoTerminal, ConfiguresEveryStepAndWritesRawBytes) {
  ASSERT_TRUE(OpenSerialDevice(terminalName, &device));
  EXPECT_TRUE(SetSerialBaudRate(device, 9600));
  EXPECT_TRUE(SetSerialDataBits(device, 8));
  EXPECT_TRUE(SetSerialParity(device, kSerialParityNone));
  EXPECT_TRUE(SetSerialStopBits(device, kSerialStopBitsOne));
  EXPECT_TRUE(SetSerialTransmitQueue(device, 2048));
  EXPECT_TRUE(SetSerialReceiveQueue(device, 2048));
  EXPECT_TRUE(SwitchSerialCtsFlowOff(device));
  EXPECT_TRUE(DisableSerialRts(device));  // no modem lines on a pseudo-terminal
  EXPECT_TRUE(SwitchSerialXonXoffInputOff(device));
  EXPECT_TRUE(SwitchSerialXonXoffOutputOff(device));

  // No output processing: a line feed stays a line feed, XOFF and NUL pass.
  const std::string bytes("AB\nC\r\x13\x11\0\xff=", 10);
  ASSERT_TRUE(WriteSerialDevice(device, bytes));
  EXPECT_EQ(Received(bytes.size()), bytes);
  EXPECT_TRUE(WriteSerialDevice(device, ""));
  EXPECT_TRUE(NothingWaiting());
}

TEST_F(PseudoTerminal, WritesALargeTextWhole) {
  ASSERT_TRUE(OpenSerialDevice(terminalName, &device));
  std::string bytes;
  for (int i = 0; i < 3000; ++i) bytes += static_cast<char>('a' + i % 26);
  ASSERT_TRUE(WriteSerialDevice(device, bytes));
  EXPECT_EQ(Received(bytes.size()), bytes);
}

TEST_F(PseudoTerminal, AcceptsTheSettingsTermiosCanDo) {
  ASSERT_TRUE(OpenSerialDevice(terminalName, &device));
  for (int32_t rate : {50, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
    EXPECT_TRUE(SetSerialBaudRate(device, rate)) << rate;
  }
  // Smaller characters are the device's to accept: a pseudo-terminal runs
  // eight bits and some kernels refuse anything else on it.
  EXPECT_TRUE(SetSerialDataBits(device, 8));
  for (int32_t scheme : {kSerialParityNone, kSerialParityOdd, kSerialParityEven, kSerialParityMark,
                         kSerialParitySpace}) {
    EXPECT_TRUE(SetSerialParity(device, scheme)) << scheme;
  }
  EXPECT_TRUE(SetSerialStopBits(device, kSerialStopBitsOne));
  EXPECT_TRUE(SetSerialStopBits(device, kSerialStopBitsTwo));
}

TEST_F(PseudoTerminal, RefusesWhatTermiosCannotDo) {
  ASSERT_TRUE(OpenSerialDevice(terminalName, &device));
  for (int32_t rate : {0, -9600, 12345, 9601, 2147483647}) {
    EXPECT_FALSE(SetSerialBaudRate(device, rate)) << rate;
  }
  for (int32_t bits : {0, 4, 9, 16, 264, -8}) EXPECT_FALSE(SetSerialDataBits(device, bits)) << bits;
  EXPECT_FALSE(SetSerialParity(device, 5));
  EXPECT_FALSE(SetSerialParity(device, -1));
  EXPECT_FALSE(SetSerialStopBits(device, kSerialStopBitsOnePointFive));
  EXPECT_FALSE(SetSerialStopBits(device, 3));
}

TEST_F(PseudoTerminal, IsUsedExclusively) {
  ASSERT_TRUE(OpenSerialDevice(terminalName, &device));
  SerialDevice second = kNoSerialDevice;
  EXPECT_FALSE(OpenSerialDevice(terminalName, &second));
  EXPECT_EQ(second, kNoSerialDevice);
  CloseSerialDevice(device);
  device = kNoSerialDevice;
  ASSERT_TRUE(OpenSerialDevice(terminalName, &device));
}

// Whether a program without privileges (exclusive use does not bind root)
// can open `name` now.
bool OrdinaryProgramCanOpen(const std::string& name) {
  if (geteuid() != 0) {
    int fd = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) close(fd);
    return fd >= 0;
  }
  pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    int fd = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    _exit(fd >= 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(PseudoTerminal, GivesUpExclusiveUseWhenClosed) {
  if (geteuid() == 0) {
    ASSERT_EQ(chmod(terminalName.c_str(), 0666), 0);
  }
  ASSERT_TRUE(OrdinaryProgramCanOpen(terminalName));
  ASSERT_TRUE(OpenSerialDevice(terminalName, &device));
  EXPECT_FALSE(OrdinaryProgramCanOpen(terminalName));
  CloseSerialDevice(device);
  device = kNoSerialDevice;
  EXPECT_TRUE(OrdinaryProgramCanOpen(terminalName));
}

TEST(SerialDeviceNames, RefusesWhatIsNoTerminal) {
  SerialDevice device = kNoSerialDevice;
  EXPECT_FALSE(OpenSerialDevice("", &device));
  EXPECT_FALSE(OpenSerialDevice("/dev/does-not-exist", &device));
  EXPECT_FALSE(OpenSerialDevice("/tmp", &device));
  EXPECT_FALSE(OpenSerialDevice("/dev/null", &device));  // a character device, not a terminal
  std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("serial-test-" + std::to_string(getpid()));
  std::ofstream(file) << "not a port";
  EXPECT_FALSE(OpenSerialDevice(file.string(), &device));
  std::filesystem::remove(file);
  EXPECT_EQ(device, kNoSerialDevice);
}

}  // namespace
