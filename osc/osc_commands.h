// What an OSC message that arrives asks of the server: the command, read
// once here, and the message as the status list shows it.
#pragma once

#include <string>

#include "common/command_words.h"
#include "osc/osc_packet.h"

// The beginning of every address the program reads and sends.
constexpr const char* kOscAddressPrefix = "/podiant/";

enum class OscRequest {
  kCommand,         // carry out `commandText`
  kReleased,        // a word without an argument whose first argument is false
                    // or zero (a button let go): nothing is done
  kFeedback,        // a state or log message of another server (/podiant/slide,
                    // /podiant/state with a string, ...): nothing is done
  kUnknownAddress,  // outside /podiant/, or no command word after it
  kBadArguments,    // the word does not take these arguments
};

struct OscCommand {
  OscRequest request = OscRequest::kUnknownAddress;
  Command command;  // kCommand only; its texts in the program's code page
  // Another server's feedback: kFeedback, or /podiant/command with a text
  // whose word is one of the plain feedback's.
  bool feedback = false;
};

// The addresses: "/podiant/" (as written) and a command word in any letter
// case; "/podiant/command" with the whole command text as one string (read as
// a datagram's text is). GOTO
// takes an int32 or int64, a float32 or float64 (rounded half to even) or a
// string (read as the number rule reads it); OPEN, RUN, SEND, STOP, ACTIVATE
// and PROJECTOR one string (or symbol); the other words nothing, or a first
// argument true, nil, impulse or a number that is not zero (false or zero:
// kReleased). Arguments beyond the first are not looked at. Strings are
// UTF-8 and become the program's code page, a character it lacks '?', without
// blanks at either end. The command word keeps the letter case of the
// address. The values of the show's state (/podiant/slide, /podiant/state
// with a string, /podiant/log, ...) are kFeedback.
OscCommand CommandFromOscMessage(const OscMessage& message);

// The address and the first kOscArgumentsShownAtMost arguments, each after a
// blank: numbers in decimal (a float with a point or an exponent), strings in
// double quotes, T true, F false, N nil, I impulse, b blob(<bytes>), c
// c:<number>, r, m and t r:, m:, t:<hexadecimal>; then, when there are more,
// how many: " (+64984 more)". Text in the program's code page.
constexpr size_t kOscArgumentsShownAtMost = 16;
std::string FormatOscMessage(const OscMessage& message);

// Whether `packet` is an OSC packet all of whose messages are another
// server's feedback (the state or status lines OSC out sends), as the loop
// guard of any door must recognise them.
bool IsOscFeedbackPacket(std::string_view packet);

// The address as the status list shows it: in the program's code page.
std::string ShownOscAddress(const OscMessage& message);
