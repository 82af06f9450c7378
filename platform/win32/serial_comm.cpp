// Serial ports through the Win32 communications functions: every line setting
// is one GetCommState / SetCommState pair, so the device's own refusal of a
// value ends the configuration at that setting.
#include <windows.h>

#include "platform/serial.h"

namespace {

constexpr size_t kLongestDeviceName = 255;

HANDLE HandleOf(SerialDevice device) { return reinterpret_cast<HANDLE>(device); }

template <typename Change>
bool ChangeCommState(SerialDevice device, Change change) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(HandleOf(device), &dcb)) return false;
  change(dcb);
  return SetCommState(HandleOf(device), &dcb) != 0;
}

}  // namespace

bool OpenSerialDevice(const std::string& name, SerialDevice* device) {
  *device = kNoSerialDevice;
  if (name.empty() || name.find_first_of("*?") != std::string::npos) return false;
  std::string deviceName = name.substr(0, kLongestDeviceName);
  // Started programs (RUN) must not inherit the port and keep it busy.
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.bInheritHandle = FALSE;
  HANDLE handle = CreateFileA(deviceName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(handle) == FILE_TYPE_DISK) {
    CloseHandle(handle);
    return false;
  }
  *device = reinterpret_cast<SerialDevice>(handle);
  return true;
}

bool SetSerialBaudRate(SerialDevice device, int32_t bitsPerSecond) {
  if (bitsPerSecond < 0) return false;
  return ChangeCommState(device,
                         [&](DCB& dcb) { dcb.BaudRate = static_cast<DWORD>(bitsPerSecond); });
}

bool SetSerialDataBits(SerialDevice device, int32_t dataBits) {
  // ByteSize is one byte: a larger value must not wrap into a valid size.
  if (dataBits < 0 || dataBits > 255) return false;
  return ChangeCommState(device, [&](DCB& dcb) { dcb.ByteSize = static_cast<BYTE>(dataBits); });
}

bool SetSerialParity(SerialDevice device, int32_t scheme) {
  if (scheme < kSerialParityNone || scheme > kSerialParitySpace) return false;
  // The codes are NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY.
  return ChangeCommState(device, [&](DCB& dcb) {
    dcb.Parity = static_cast<BYTE>(scheme);
    dcb.fParity = scheme != kSerialParityNone;
  });
}

bool SetSerialStopBits(SerialDevice device, int32_t code) {
  if (code < kSerialStopBitsOne || code > kSerialStopBitsTwo) return false;
  // The codes are ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS.
  return ChangeCommState(device, [&](DCB& dcb) { dcb.StopBits = static_cast<BYTE>(code); });
}

bool SetSerialTransmitQueue(SerialDevice device, uint32_t bytes) {
  COMMPROP properties{};
  if (!GetCommProperties(HandleOf(device), &properties)) return false;
  return SetupComm(HandleOf(device), properties.dwCurrentRxQueue, bytes) != 0;
}

bool SetSerialReceiveQueue(SerialDevice device, uint32_t bytes) {
  COMMPROP properties{};
  if (!GetCommProperties(HandleOf(device), &properties)) return false;
  return SetupComm(HandleOf(device), bytes, properties.dwCurrentTxQueue) != 0;
}

bool SwitchSerialCtsFlowOff(SerialDevice device) {
  return ChangeCommState(device, [](DCB& dcb) { dcb.fOutxCtsFlow = FALSE; });
}

bool DisableSerialRts(SerialDevice device) {
  return ChangeCommState(device, [](DCB& dcb) { dcb.fRtsControl = RTS_CONTROL_DISABLE; });
}

bool SwitchSerialXonXoffInputOff(SerialDevice device) {
  return ChangeCommState(device, [](DCB& dcb) {
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
  });
}

bool SwitchSerialXonXoffOutputOff(SerialDevice device) {
  return ChangeCommState(device, [](DCB& dcb) {
    dcb.fOutX = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
  });
}

bool WriteSerialDevice(SerialDevice device, const std::string& bytes) {
  if (bytes.size() > MAXDWORD) return false;
  DWORD length = static_cast<DWORD>(bytes.size());
  DWORD written = 0;
  BOOL done = WriteFile(HandleOf(device), bytes.data(), length, &written, nullptr);
  return done && written == length;
}

void CloseSerialDevice(SerialDevice device) {
  if (device != kNoSerialDevice) CloseHandle(HandleOf(device));
}
