// Serial ports through termios. Each line setting reads the terminal's
// attributes, changes the fields concerned and writes them back at once, so a
// refusal ends the configuration at that setting. What termios cannot express
// (one and a half stop bits, a speed without a B constant, mark or space parity
// without CMSPAR) is refused rather than approximated.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/serial.h"

namespace {

int DescriptorOf(SerialDevice device) { return static_cast<int>(device); }

template <typename Change>
bool ChangeAttributes(SerialDevice device, Change change) {
  termios attributes{};
  if (tcgetattr(DescriptorOf(device), &attributes) != 0) return false;
  if (!change(attributes)) return false;
  return tcsetattr(DescriptorOf(device), TCSANOW, &attributes) == 0;
}

struct SpeedCode {
  int32_t bitsPerSecond;
  speed_t code;
};

// The speeds termios can name; B0 is not a speed (it hangs the line up).
constexpr SpeedCode kSpeedCodes[] = {
    {50, B50},           {75, B75},     {110, B110},   {134, B134},     {150, B150},
    {200, B200},         {300, B300},   {600, B600},   {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

// The descriptor is gone whatever close reports, so it is not retried.
void CloseQuietly(int descriptor) { close(descriptor); }

// Exclusive use outlives the descriptor on a terminal whose other side stays
// open (a pseudo-terminal): it is given up before the close.
void ReleaseAndClose(int descriptor) {
  ioctl(descriptor, TIOCNXCL);
  CloseQuietly(descriptor);
}

}  // namespace

bool OpenSerialDevice(const std::string& name, SerialDevice* device) {
  *device = kNoSerialDevice;
  if (name.empty()) return false;
  // Non-blocking for the open only: a port without carrier would otherwise
  // hold the open until one appears.
  int descriptor = open(name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return false;
  struct stat status {};
  termios attributes{};
  bool usable = fstat(descriptor, &status) == 0 && S_ISCHR(status.st_mode) &&
                tcgetattr(descriptor, &attributes) == 0 &&
                flock(descriptor, LOCK_EX | LOCK_NB) == 0;
  if (!usable) {
    CloseQuietly(descriptor);
    return false;
  }
  usable = ioctl(descriptor, TIOCEXCL) == 0;
  if (usable) {
    // Raw bytes both ways; the modem control lines do not stop the writes.
    attributes.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
    attributes.c_oflag &= ~OPOST;
    attributes.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    attributes.c_cflag |= CREAD | CLOCAL;
    attributes.c_cc[VMIN] = 1;
    attributes.c_cc[VTIME] = 0;
    usable = tcsetattr(descriptor, TCSANOW, &attributes) == 0;
  }
  if (usable) {
    int flags = fcntl(descriptor, F_GETFL);
    usable = flags >= 0 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == 0;
  }
  if (!usable) {
    ReleaseAndClose(descriptor);
    return false;
  }
  *device = descriptor;
  return true;
}

bool SetSerialBaudRate(SerialDevice device, int32_t bitsPerSecond) {
  for (const SpeedCode& speed : kSpeedCodes) {
    if (speed.bitsPerSecond != bitsPerSecond) continue;
    return ChangeAttributes(device, [&](termios& attributes) {
      return cfsetospeed(&attributes, speed.code) == 0 && cfsetispeed(&attributes, speed.code) == 0;
    });
  }
  return false;
}

bool SetSerialDataBits(SerialDevice device, int32_t dataBits) {
  tcflag_t size;
  switch (dataBits) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    case 8:
      size = CS8;
      break;
    default:
      return false;
  }
  return ChangeAttributes(device, [&](termios& attributes) {
    attributes.c_cflag = (attributes.c_cflag & ~CSIZE) | size;
    return true;
  });
}

bool SetSerialParity(SerialDevice device, int32_t scheme) {
  tcflag_t bits;
  switch (scheme) {
    case kSerialParityNone:
      bits = 0;
      break;
    case kSerialParityOdd:
      bits = PARENB | PARODD;
      break;
    case kSerialParityEven:
      bits = PARENB;
      break;
#ifdef CMSPAR
    case kSerialParityMark:
      bits = PARENB | CMSPAR | PARODD;
      break;
    case kSerialParitySpace:
      bits = PARENB | CMSPAR;
      break;
#endif
    default:
      return false;
  }
  return ChangeAttributes(device, [&](termios& attributes) {
    tcflag_t schemeBits = PARENB | PARODD;
#ifdef CMSPAR
    schemeBits |= CMSPAR;
#endif
    attributes.c_cflag = (attributes.c_cflag & ~schemeBits) | bits;
    if (bits != 0) {
      attributes.c_iflag |= INPCK;
    } else {
      attributes.c_iflag &= ~INPCK;
    }
    return true;
  });
}

bool SetSerialStopBits(SerialDevice device, int32_t code) {
  if (code != kSerialStopBitsOne && code != kSerialStopBitsTwo) return false;
  return ChangeAttributes(device, [&](termios& attributes) {
    // Asked for two stop bits with five-bit characters, a UART sends one and a
    // half: not what was configured, so refused as a Windows port refuses it.
    if (code == kSerialStopBitsTwo && (attributes.c_cflag & CSIZE) == CS5) return false;
    if (code == kSerialStopBitsTwo) {
      attributes.c_cflag |= CSTOPB;
    } else {
      attributes.c_cflag &= ~CSTOPB;
    }
    return true;
  });
}

bool SetSerialTransmitQueue(SerialDevice, uint32_t) { return true; }

bool SetSerialReceiveQueue(SerialDevice, uint32_t) { return true; }

bool SwitchSerialCtsFlowOff(SerialDevice device) {
  return ChangeAttributes(device, [](termios& attributes) {
#ifdef CRTSCTS
    attributes.c_cflag &= ~CRTSCTS;
#endif
    return true;
  });
}

bool DisableSerialRts(SerialDevice device) {
  int lines = TIOCM_RTS;
  if (ioctl(DescriptorOf(device), TIOCMBIC, &lines) == 0) return true;
  // No modem lines to drive (a pseudo-terminal): nothing to hold off.
  return errno == ENOTTY || errno == EINVAL;
}

bool SwitchSerialXonXoffInputOff(SerialDevice device) {
  return ChangeAttributes(device, [](termios& attributes) {
    attributes.c_iflag &= ~IXOFF;
    return true;
  });
}

bool SwitchSerialXonXoffOutputOff(SerialDevice device) {
  return ChangeAttributes(device, [](termios& attributes) {
    attributes.c_iflag &= ~(IXON | IXANY);
    return true;
  });
}

bool WriteSerialDevice(SerialDevice device, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(DescriptorOf(device), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void CloseSerialDevice(SerialDevice device) {
  if (device != kNoSerialDevice) ReleaseAndClose(DescriptorOf(device));
}
