#include "tests/support/serial_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace e2e {

namespace {
constexpr int kStartTimeoutMs = 20000;
}

bool StartSerialPair(const std::string& directory, SerialPair* pair) {
  std::string linkA = directory + "/A";
  std::string linkB = directory + "/B";
  pair->socat = StartProcess(
      {"socat", "-d", "-d", "pty,raw,echo=0,link=" + linkA, "pty,raw,echo=0,link=" + linkB},
      directory);
  if (!WaitForOutput(pair->socat, "starting data transfer loop", kStartTimeoutMs)) return false;
  char target[256] = {};
  ssize_t n = readlink(linkA.c_str(), target, sizeof target - 1);
  if (n <= 0) return false;
  pair->endA = std::string(target, static_cast<size_t>(n));
  pair->endB = linkB;
  pair->readFd = open(linkB.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  return pair->readFd >= 0;
}

void StopSerialPair(SerialPair* pair) {
  if (pair->readFd >= 0) close(pair->readFd);
  pair->readFd = -1;
  if (pair->socat.pid > 0 && !pair->socat.exited) {
    SendSignal(pair->socat, SIGTERM);
    if (!WaitForExit(pair->socat, 5000)) StopProcess(pair->socat);
  }
  StopProcess(pair->socat);
}

std::string ReadSerialBytes(int fd, size_t count, int timeoutMs) {
  std::string bytes;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (bytes.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) break;
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[512];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      bytes.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;
    }
  }
  return bytes;
}

}  // namespace e2e
