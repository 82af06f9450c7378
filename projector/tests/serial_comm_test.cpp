// The Win32 serial back end on what is not a serial port. (A port itself is
// exercised end to end under Wine with COM1 mapped to a pseudo-terminal.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/serial.h"

namespace {

TEST(SerialDeviceNames, RefusesEmptyAndWildcardNamesAndMissingPorts) {
  SerialDevice device = kNoSerialDevice;
  EXPECT_FALSE(OpenSerialDevice("", &device));
  EXPECT_FALSE(OpenSerialDevice("COM*", &device));
  EXPECT_FALSE(OpenSerialDevice("COM?", &device));
  EXPECT_FALSE(OpenSerialDevice("COM9", &device));
  EXPECT_EQ(device, kNoSerialDevice);
}

TEST(SerialDeviceNames, RefusesAnOrdinaryFile) {
  std::filesystem::path file = std::filesystem::temp_directory_path() / "podiant-serial-test.txt";
  std::ofstream(file) << "not a port";
  SerialDevice device = kNoSerialDevice;
  EXPECT_FALSE(OpenSerialDevice(file.string(), &device));
  EXPECT_EQ(device, kNoSerialDevice);
  // Refused as a file, not because it could not be opened: it is free again.
  std::error_code ignored;
  EXPECT_TRUE(std::filesystem::remove(file, ignored));
}

TEST(SerialDeviceNames, CutsAVeryLongNameTo255Characters) {
  // The cut name is looked for; its absence fails like any missing device.
  SerialDevice device = kNoSerialDevice;
  EXPECT_FALSE(OpenSerialDevice(std::string(300, 'C'), &device));
}

TEST(SerialDeviceNames, ACharacterDeviceThatIsNoPortFailsAtTheFirstLineSetting) {
  SerialDevice device = kNoSerialDevice;
  ASSERT_TRUE(OpenSerialDevice("NUL", &device));
  EXPECT_FALSE(SetSerialBaudRate(device, 9600));
  CloseSerialDevice(device);
}

}  // namespace
