// Serial ports that record every call and refuse the one the test names.
#include "platform/serial.h"
#include "projector/tests/fake_events.h"

namespace {

constexpr SerialDevice kFakeDevice = 7;

bool Record(const std::string& call, const std::string& value) {
  TakeNewNotices();
  FakeEvents.push_back(value.empty() ? call : call + " " + value);
  return call != FakeRefusedSerialCall;
}

}  // namespace

bool OpenSerialDevice(const std::string& name, SerialDevice* device) {
  bool accepted = Record("open", name);
  *device = accepted ? kFakeDevice : kNoSerialDevice;
  return accepted;
}

bool SetSerialBaudRate(SerialDevice, int32_t bitsPerSecond) {
  return Record("baud", std::to_string(bitsPerSecond));
}
bool SetSerialDataBits(SerialDevice, int32_t dataBits) {
  return Record("databits", std::to_string(dataBits));
}
bool SetSerialParity(SerialDevice, int32_t scheme) {
  return Record("parity", std::to_string(scheme));
}
bool SetSerialStopBits(SerialDevice, int32_t code) {
  return Record("stopbits", std::to_string(code));
}
bool SetSerialTransmitQueue(SerialDevice, uint32_t bytes) {
  return Record("txqueue", std::to_string(bytes));
}
bool SetSerialReceiveQueue(SerialDevice, uint32_t bytes) {
  return Record("rxqueue", std::to_string(bytes));
}
bool SwitchSerialCtsFlowOff(SerialDevice) { return Record("ctsoff", ""); }
bool DisableSerialRts(SerialDevice) { return Record("rtsoff", ""); }
bool SwitchSerialXonXoffInputOff(SerialDevice) { return Record("xoninoff", ""); }
bool SwitchSerialXonXoffOutputOff(SerialDevice) { return Record("xonoutoff", ""); }

bool WriteSerialDevice(SerialDevice device, const std::string& bytes) {
  TakeNewNotices();
  FakeEvents.push_back("write " + std::to_string(device) + " [" + bytes + "]");
  return FakeRefusedSerialCall != "write";
}

void CloseSerialDevice(SerialDevice device) {
  TakeNewNotices();
  FakeEvents.push_back("close " + std::to_string(device));
}
