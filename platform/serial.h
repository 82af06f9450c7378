// Serial ports: the projector's one-way RS-232 line.
//
// A device is opened by name and then configured one setting at a time; every
// setting takes effect on the device at once, and each call reports whether
// the device accepted it, so that the caller can stop at the first refusal.
// A value the device or the platform cannot do is refused, never approximated.
#pragma once

#include <cstdint>
#include <string>

using SerialDevice = std::intptr_t;
constexpr SerialDevice kNoSerialDevice = -1;

// Parity schemes and stop-bit codes as the settings record holds them.
constexpr int32_t kSerialParityNone = 0;
constexpr int32_t kSerialParityOdd = 1;
constexpr int32_t kSerialParityEven = 2;
constexpr int32_t kSerialParityMark = 3;
constexpr int32_t kSerialParitySpace = 4;
constexpr int32_t kSerialStopBitsOne = 0;
constexpr int32_t kSerialStopBitsOnePointFive = 1;
constexpr int32_t kSerialStopBitsTwo = 2;

// Opens the device `name` for exclusive reading and writing, synchronous, its
// handle not inherited by started programs. Fails for an ordinary file.
//   Windows: CreateFileA with the name as given (an empty name or one with "*"
//   or "?" fails at once, a longer one is cut to 255 characters), then
//   GetFileType refusing a disk file.
//   Linux: open without becoming the controlling terminal, exclusive use
//   (TIOCEXCL and an exclusive flock), a terminal device only, put in raw mode
//   (no output processing, receiver on, modem control lines ignored).
// On success `*device` is the open device; on failure nothing stays open.
bool OpenSerialDevice(const std::string& name, SerialDevice* device);

// Line settings, one each.
bool SetSerialBaudRate(SerialDevice device, int32_t bitsPerSecond);
bool SetSerialDataBits(SerialDevice device, int32_t dataBits);
// The scheme (kSerialParity...), with parity checking of received characters on
// exactly when the scheme is not None.
bool SetSerialParity(SerialDevice device, int32_t scheme);
bool SetSerialStopBits(SerialDevice device, int32_t code);  // kSerialStopBits...

// Driver queue sizes in bytes; the other queue keeps its current size.
//   Linux: termios has no queue sizes; accepted without effect.
bool SetSerialTransmitQueue(SerialDevice device, uint32_t bytes);
bool SetSerialReceiveQueue(SerialDevice device, uint32_t bytes);

// Flow control and the RTS line.
bool SwitchSerialCtsFlowOff(SerialDevice device);
// Holds RTS off. Linux: a device without modem lines (a pseudo-terminal)
// accepts this without effect.
bool DisableSerialRts(SerialDevice device);
// XON/XOFF sent when the input fills (also clears "continue on XOFF").
bool SwitchSerialXonXoffInputOff(SerialDevice device);
// XON/XOFF obeyed on output (also clears "continue on XOFF").
bool SwitchSerialXonXoffOutputOff(SerialDevice device);

// Writes every byte of `bytes` synchronously; true when all were accepted.
//   Windows: one WriteFile. Linux: write until all are written or an error.
bool WriteSerialDevice(SerialDevice device, const std::string& bytes);

void CloseSerialDevice(SerialDevice device);
