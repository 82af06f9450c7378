// The OSC reader against packets written byte by byte, the writer against the
// reader, and the mapping of messages to command texts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "osc/osc_commands.h"
#include "osc/osc_packet.h"

namespace {

using std::string_literals::operator""s;

std::string Int32Bytes(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

const std::string kGotoFive = "/podiant/goto\0\0\0,i\0\0"s + Int32Bytes(5);
const std::string kBundleHead = "#bundle\0"s + std::string(7, '\0') + "\1";

std::string Element(const std::string& content) {
  return Int32Bytes(static_cast<uint32_t>(content.size())) + content;
}

OscArgument Tagged(char type) {
  OscArgument argument;
  argument.type = type;
  return argument;
}

TEST(ReadOscPacket, ReadsMessagesAndNestedBundlesInOrderAndWhatTheWriterWrites) {
  std::vector<OscMessage> messages;
  ASSERT_TRUE(ReadOscPacket(kGotoFive, &messages));
  EXPECT_EQ(messages, (std::vector<OscMessage>{{"/podiant/goto", {OscInt(5)}}}));

  // A bundle: a message, a nested bundle of two, an empty bundle, a message.
  const std::string inner = kBundleHead + Element(WriteOscMessage({"/b", {}})) +
                            Element(WriteOscMessage({"/c", {OscString("x")}}));
  const std::string outer = kBundleHead + Element(WriteOscMessage({"/a", {}})) + Element(inner) +
                            Element(kBundleHead) + Element(WriteOscMessage({"/d", {}}));
  ASSERT_TRUE(ReadOscPacket(outer, &messages));
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].address + messages[1].address + messages[2].address + messages[3].address,
            "/a/b/c/d");
  EXPECT_EQ(messages[2].arguments, std::vector<OscArgument>{OscString("x")});

  // Every type the program knows, written and read back; strings of each
  // length against the padding.
  OscMessage every{"/every",
                   {OscInt(-7), OscFloat(2.5f), OscString(""), OscString("abc"), OscString("abcd"),
                    Tagged('T'), Tagged('F'), Tagged('N'), Tagged('I')}};
  for (char type : {'h', 't', 'c', 'r', 'm'}) {
    OscArgument argument = Tagged(type);
    argument.integer = type == 'h' ? -5000000000 : type == 't' ? 0x0102030405060708 : 0x7F000001;
    every.arguments.push_back(argument);
  }
  OscArgument number = Tagged('d'), symbol = Tagged('S'), blob = Tagged('b');
  number.number = 1e300;
  symbol.bytes = "sym";
  blob.bytes = "\0\1\2\3\4"s;
  every.arguments.insert(every.arguments.end(), {number, symbol, blob, Tagged('b')});
  ASSERT_TRUE(ReadOscPacket(WriteOscMessage(every), &messages));
  EXPECT_EQ(messages, std::vector<OscMessage>{every});
  EXPECT_EQ(WriteOscMessage({"/podiant/goto", {OscInt(5)}}), kGotoFive);
  // Notes that hold a zero byte go out up to it, and the packet stays whole.
  ASSERT_TRUE(ReadOscPacket(WriteOscMessage({"/podiant/notes", {OscString("ab\0cd"s), OscInt(1)}}),
                            &messages));
  EXPECT_EQ(messages[0].arguments, (std::vector<OscArgument>{OscString("ab"), OscInt(1)}));

  // An old sender's message without type tags has no arguments.
  ASSERT_TRUE(ReadOscPacket("/podiant/next\0\0\0"s, &messages));
  EXPECT_EQ(messages, (std::vector<OscMessage>{{"/podiant/next", {}}}));
}

TEST(ReadOscPacket, RejectsEveryMalformedPacketWithoutReadingPastIt) {
  const std::string tags = ",s\0\0"s;
  const std::string bad[] = {
      "",                                                          // nothing
      kGotoFive.substr(0, 22),                                     // size not a multiple of 4
      kGotoFive.substr(0, 20),                                     // the int32 cut off
      "/podiant/open\0\0\0"s + tags + "abcd",                      // a string without its end
      "/podiant/open\0\0\0"s + tags + "ab\0x",                     // its padding not zero
      "/podiant/open\0\0\0"s + tags,                               // the string missing
      "/podiant/nex"s,                                             // the address without its end
      "podiant/next\0\0\0\0"s,                                     // an address without '/'
      "/podiant/next\0\0\0x\0\0\0"s,                               // type tags without ','
      "/podiant/goto\0\0\0,[i]\0\0\0\0"s + Int32Bytes(5),          // an array: not known
      "/podiant/goto\0\0\0,q\0\0"s + Int32Bytes(5),                // an unknown type tag
      "/podiant/goto\0\0\0,i\0\0"s + Int32Bytes(5) + "\0\0\0\0"s,  // bytes left over
      "/a\0\0,b\0\0"s + Int32Bytes(5) + "abcd",                    // a blob running past the end
      "/a\0\0,b\0\0"s + Int32Bytes(0xFFFFFFFC) + "abcd",           // a blob of negative size
      "#bundle\0"s,                                                // no time tag
      kBundleHead + Int32Bytes(20) + kGotoFive,          // an element larger than what is left
      kBundleHead + Int32Bytes(0xFFFFFFF0) + kGotoFive,  // ... by a negative size
      kBundleHead + Int32Bytes(0),                       // an empty element
      kBundleHead + Int32Bytes(18) + kGotoFive.substr(0, 18) + "\0\0"s,  // not a multiple of 4
      kBundleHead + Element(kGotoFive.substr(0, 20)),                    // a bad message inside
      kBundleHead + Element(kGotoFive) + Element("#bundle\0"s),          // a bad bundle inside
  };
  for (const std::string& packet : bad) {
    std::vector<OscMessage> messages{{"/left", {}}};
    // A copy of exactly its size: AddressSanitizer sees any read beyond it.
    std::vector<char> exact(packet.begin(), packet.end());
    EXPECT_FALSE(ReadOscPacket(std::string_view(exact.data(), exact.size()), &messages))
        << testing::PrintToString(packet);
    EXPECT_TRUE(messages.empty());
  }
  // Bundles nest so deep and no deeper.
  std::string nested = kGotoFive;
  for (int depth = 1; depth <= kOscBundleDepthAtMost; ++depth)
    nested = kBundleHead + Element(nested);
  std::vector<OscMessage> messages;
  EXPECT_TRUE(ReadOscPacket(nested, &messages));
  EXPECT_FALSE(ReadOscPacket(kBundleHead + Element(nested), &messages));
}

struct MappingCase {
  OscMessage message;
  OscRequest request;
  std::string commandText;
};

TEST(CommandFromOscMessage, EveryWordWithItsArgumentsAndTheFeedbackOfOthers) {
  OscArgument half = OscFloat(2.5f), symbol = Tagged('S'), text5 = OscString(" 3.5 "),
              longer = Tagged('h'), nan = Tagged('d');
  symbol.bytes = "C:\\talk.pptx";
  longer.integer = 1LL << 40;
  nan.number = std::nan("");
  const MappingCase cases[] = {
      {{"/podiant/goto", {OscInt(5)}}, OscRequest::kCommand, "goto 5"},
      {{"/podiant/GoTo", {half}}, OscRequest::kCommand, "GoTo 2"},  // half to even
      {{"/podiant/goto", {OscFloat(3.5f)}}, OscRequest::kCommand, "goto 4"},
      {{"/podiant/goto", {text5}}, OscRequest::kCommand, "goto 3.5"},
      {{"/podiant/goto", {longer}}, OscRequest::kCommand, "goto -2147483648"},
      {{"/podiant/goto", {}}, OscRequest::kBadArguments, ""},
      {{"/podiant/goto", {Tagged('T')}}, OscRequest::kBadArguments, ""},
      {{"/podiant/open", {OscString("C:\\Shows\\caf\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80.pptx")}},
       OscRequest::kCommand,
       "open C:\\Shows\\caf\xE9\x80?.pptx"},
      {{"/podiant/OPEN", {symbol}}, OscRequest::kCommand, "OPEN C:\\talk.pptx"},
      {{"/podiant/send", {OscString("|Untitled|Hi"), OscInt(1)}},
       OscRequest::kCommand,
       "send |Untitled|Hi"},
      {{"/podiant/run", {OscInt(1)}}, OscRequest::kBadArguments, ""},
      {{"/podiant/projector", {}}, OscRequest::kBadArguments, ""},
      {{"/podiant/next", {}}, OscRequest::kCommand, "next"},
      {{"/podiant/Next", {OscInt(1)}}, OscRequest::kCommand, "Next"},
      {{"/podiant/next", {OscInt(0)}}, OscRequest::kReleased, ""},
      {{"/podiant/prev", {OscFloat(1.0f)}}, OscRequest::kCommand, "prev"},
      {{"/podiant/prev", {OscFloat(0.0f)}}, OscRequest::kReleased, ""},
      {{"/podiant/black", {Tagged('T')}}, OscRequest::kCommand, "black"},
      {{"/podiant/white", {Tagged('F')}}, OscRequest::kReleased, ""},
      {{"/podiant/end", {Tagged('I')}}, OscRequest::kCommand, "end"},
      {{"/podiant/first", {nan}}, OscRequest::kCommand, "first"},
      {{"/podiant/last", {OscString("1")}}, OscRequest::kBadArguments, ""},
      {{"/podiant/state", {}}, OscRequest::kCommand, "state"},
      {{"/podiant/state", {OscInt(1)}}, OscRequest::kCommand, "state"},
      {{"/podiant/state", {OscString("RUNNING")}}, OscRequest::kFeedback, ""},
      {{"/podiant/command", {OscString("GOTO 3")}}, OscRequest::kCommand, "GOTO 3"},
      {{"/podiant/Command", {OscString("  GoTo  4 ")}}, OscRequest::kCommand, "GoTo 4"},
      {{"/podiant/command", {OscInt(3)}}, OscRequest::kBadArguments, ""},
      {{"/podiant/slide", {OscInt(3)}}, OscRequest::kFeedback, ""},
      {{"/podiant/NOTES", {OscString("x")}}, OscRequest::kFeedback, ""},
      {{"/podiant/log", {OscString("R ...")}}, OscRequest::kFeedback, ""},
      {{"/podiant/", {}}, OscRequest::kUnknownAddress, ""},
      {{"/podiant/nextx", {}}, OscRequest::kUnknownAddress, ""},
      {{"/podiant/next/1", {}}, OscRequest::kUnknownAddress, ""},
      {{"/Podiant/next", {}}, OscRequest::kUnknownAddress, ""},
      {{"/other/next", {}}, OscRequest::kUnknownAddress, ""},
  };
  for (const MappingCase& c : cases) {
    OscCommand read = CommandFromOscMessage(c.message);
    EXPECT_EQ(read.request, c.request) << FormatOscMessage(c.message);
    // The command as its word came and its argument, or nothing.
    std::string command;
    if (read.request == OscRequest::kCommand) {
      EXPECT_TRUE(read.command.word.has_value()) << FormatOscMessage(c.message);
      command = read.command.wordAsSent;
      if (!read.command.argument.empty()) command += " " + read.command.argument;
    }
    EXPECT_EQ(command, c.commandText) << FormatOscMessage(c.message);
    EXPECT_EQ(read.feedback, c.request == OscRequest::kFeedback) << FormatOscMessage(c.message);
  }
}

TEST(FormatOscMessage, EveryArgumentReadably) {
  OscArgument blob = Tagged('b'), midi = Tagged('m'), integer = Tagged('h');
  blob.bytes = "abc";
  midi.integer = 0x00904060;
  integer.integer = -5000000000;
  EXPECT_EQ(
      FormatOscMessage({"/podiant/x",
                        {OscInt(-3), OscFloat(5.0f), OscFloat(0.1f), OscString("caf\xC3\xA9"),
                         Tagged('T'), Tagged('F'), Tagged('N'), Tagged('I'), blob, midi, integer}}),
      "/podiant/x -3 5.0 0.1 \"caf\xE9\" true false nil impulse blob(3) m:0x00904060 "
      "-5000000000");
}

}  // namespace
