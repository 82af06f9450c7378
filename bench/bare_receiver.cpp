// The floor the command server is compared with: a UDP socket bound like the
// server's (wildcard address, default buffer sizes), and a loop that receives
// each datagram, discards it and counts it. Nothing else.
//
//   bare-receiver PORT [--line-per-datagram]
//
// It prints "Listening at 0.0.0.0:PORT" once bound; with --line-per-datagram
// it also writes "R <count>" to standard output for every datagram (one write
// each, as the server's console does). SIGTERM ends it with its count.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

volatile sig_atomic_t stopSignalled = 0;

void OnStopSignal(int) { stopSignalled = 1; }

void WriteLine(const std::string& line) {
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = write(STDOUT_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PORT [--line-per-datagram]\n", argv[0]);
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const bool linePerDatagram = argc > 2 && std::strcmp(argv[2], "--line-per-datagram") == 0;

  // No SA_RESTART: SIGTERM interrupts the blocking receive.
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::perror("bind");
    return 1;
  }
  WriteLine("Listening at 0.0.0.0:" + std::to_string(port) + "\n");

  static char buffer[65536];
  unsigned long long count = 0;
  while (stopSignalled == 0) {
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    ssize_t n =
        recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (n < 0) continue;  // EINTR (the stop signal) or a transient error
    ++count;
    if (linePerDatagram) WriteLine("R " + std::to_string(count) + "\n");
  }
  close(fd);
  WriteLine("Received " + std::to_string(count) + "\n");
  return 0;
}
