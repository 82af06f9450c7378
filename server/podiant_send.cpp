// podiant-send: sends one command to a Podiant Server.
//   podiant-send [--port N] HOST COMMAND...
// The words of COMMAND are joined by single blanks and sent as one datagram
// with no terminator. Nothing comes back; only a failure to send is reported.
#include <cstdio>
#include <string>

#include "common/text_rules.h"
#include "platform/sockets.h"

int main(int argc, char** argv) {
  int port = 16001;
  int first = 1;
  if (argc > 2 && std::string(argv[1]) == "--port") {
    port = Int32FromNumber(NumberFromText(argv[2]));
    first = 3;
  }
  if (argc - first < 1) {
    std::fprintf(stderr, "usage: podiant-send [--port N] HOST COMMAND...\n");
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
