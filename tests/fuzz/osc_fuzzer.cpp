// Fuzz target: ReadOscPacket, the reader of every OSC datagram, then what the
// server does with each message it gives (CommandFromOscMessage and the O
// line's FormatOscMessage). Properties checked: a packet is read only when
// its size is a positive multiple of 4; a rejected packet gives no message;
// every message's address begins with '/'; a message alone is written again
// by WriteOscMessage in as many bytes (4 more when it came without type
// tags), and what is written reads back as one message that is written the
// same; a command only for a command.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "osc/osc_commands.h"
#include "osc/osc_packet.h"
#include "tests/fuzz/fuzz_fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view packet(reinterpret_cast<const char*>(data), size);
  std::vector<OscMessage> messages;
  const bool read = ReadOscPacket(packet, &messages);
  if (!read) {
    FUZZ_CHECK(messages.empty());
    return 0;
  }
  FUZZ_CHECK(size > 0 && size % 4 == 0);
  FUZZ_CHECK(!messages.empty() || packet.substr(0, 8) == std::string_view("#bundle\0", 8));
  for (const OscMessage& message : messages) {
    FUZZ_CHECK(!message.address.empty() && message.address[0] == '/');
    const std::string written = WriteOscMessage(message);
    if (packet[0] == '/') FUZZ_CHECK(written.size() == size || written.size() == size + 4);
    std::vector<OscMessage> again;
    FUZZ_CHECK_MSG(ReadOscPacket(written, &again) && again.size() == 1,
                   "a message written again does not read back");
    FUZZ_CHECK_MSG(WriteOscMessage(again[0]) == written, "a message read back is not the same");

    const OscCommand command = CommandFromOscMessage(message);
    FUZZ_CHECK(command.request == OscRequest::kCommand ||
               (command.command.wordAsSent.empty() && command.command.argument.empty()));
    FUZZ_CHECK(!command.feedback || command.request == OscRequest::kFeedback ||
               command.request == OscRequest::kCommand);
    const std::string shown = FormatOscMessage(message);
    FUZZ_CHECK(shown.rfind(ShownOscAddress(message), 0) == 0);
  }
  return 0;
}
