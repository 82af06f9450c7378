// podiant-send: sends one command to a Podiant Server, or listens for its
// feedback.
//   podiant-send [--port N] HOST COMMAND...
//   podiant-send --listen PORT
//   podiant-send --help
// The words of COMMAND are joined by single blanks and sent as one datagram
// with no terminator. Nothing comes back; only a failure to send is reported.
// --listen prints every datagram that arrives on PORT as "address:port text",
// one line each, until it is interrupted (Ctrl+C).
#include <cstdio>
#include <string>
#include <vector>

#include "common/text_rules.h"
#include "config/access_lists.h"
#include "platform/console_text.h"
#include "platform/sockets.h"

namespace {

constexpr const char* kUsage =
    "usage: podiant-send [--port N] HOST COMMAND...\n"
    "       podiant-send --listen PORT\n"
    "       podiant-send --help\n"
    "Sends COMMAND (its words joined by blanks) as one UDP datagram to a Podiant\n"
    "Server on HOST (port 16001 unless --port says otherwise). --listen prints\n"
    "every datagram that arrives on PORT, such as the server's feedback, as\n"
    "\"address:port text\", one a line, until Ctrl+C.\n";

int Listen(const std::string& portText) {
  int port = Int32FromNumber(NumberFromText(portText));
  if (port < 1 || port > 65535) {
    std::fprintf(stderr, "podiant-send: no port to listen on: %s\n", portText.c_str());
    return 2;
  }
  SocketHandle socket = OpenDatagramSocket(port);
  if (socket == kNoSocket) {
    std::fprintf(stderr, "podiant-send: cannot listen on port %d\n", port);
    return 1;
  }
  std::vector<char> buffer(65536);
  for (;;) {
    size_t length = 0;
    uint32_t address = 0;
    uint16_t senderPort = 0;
    if (ReceiveDatagram(socket, 1000, buffer.data(), buffer.size(), &length, &address,
                        &senderPort) != ReceiveOutcome::kDatagram) {
      continue;
    }
    std::string line = FormatIpAddress(address) + ":" + std::to_string(senderPort) + " " +
                       ConsoleSafeText(std::string(buffer.data(), length)) + "\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 3 && std::string(argv[1]) == "--listen") return Listen(argv[2]);
  int port = 16001;
  int first = 1;
  if (argc > 2 && std::string(argv[1]) == "--port") {
    port = Int32FromNumber(NumberFromText(argv[2]));
    first = 3;
  }
  if (argc - first < 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string host = argv[first];
  std::string command;
  for (int i = first + 1; i < argc; ++i) {
    if (i > first + 1) command += ' ';
    command += argv[i];
  }
  std::string error;
  if (!SendDatagramTo(host, port, command, &error)) {
    std::fprintf(stderr, "podiant-send: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
