#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "keys/key_events.h"
#include "keys/tests/keys_fakes.h"

namespace {

// "41d 41u" style, as the recorded actions show events.
std::string Describe(const std::vector<KeyEvent>& events) {
  std::string text;
  for (const KeyEvent& event : events) {
    char piece[16];
    std::snprintf(piece, sizeof piece, "%s%x%s%s", text.empty() ? "" : " ", event.virtualKey,
                  event.keyUp ? "u" : "d", event.extended ? "x" : "");
    text += piece;
  }
  return text;
}

// A mapping that knows a few characters and counts how often it is asked.
struct TestMapping {
  std::map<unsigned char, CharKey> keys;
  std::vector<unsigned char> asked;
};

std::string EventsOf(const std::string& unit, TestMapping* mapping) {
  return Describe(BuildKeyEvents(unit, [mapping](unsigned char c, CharKey* key) {
    mapping->asked.push_back(c);
    auto found = mapping->keys.find(c);
    if (found == mapping->keys.end()) return false;
    *key = found->second;
    return true;
  }));
}

std::string EventsOf(const std::string& unit) {
  TestMapping mapping;
  mapping.keys = {{'a', {0x41, 0}}, {'A', {0x41, 1}}};
  return EventsOf(unit, &mapping);
}

TEST(BuildKeyEvents, PlainCharactersAreWrappedInTheirModifiersReleasedInPressOrder) {
  TestMapping mapping;
  mapping.keys = {{'a', {0x41, 0}},    {'A', {0x41, 1}},    {'@', {0x51, 6}},    {'#', {0x33, 7}},
                  {'$', {0x34, 0xF9}}, {'%', {0x35, 0xFF}}, {'^', {0x36, 0x08}}, {0xE4, {0xDE, 0}}};
  EXPECT_EQ(EventsOf("a", &mapping), "41d 41u");
  EXPECT_EQ(EventsOf("A", &mapping), "10d 41d 41u 10u");
  // Ctrl and Alt (the right Alt key of many European layouts).
  EXPECT_EQ(EventsOf("@", &mapping), "11d 12d 51d 51u 11u 12u");
  EXPECT_EQ(EventsOf("#", &mapping), "10d 11d 12d 33d 33u 10u 11u 12u");
  // Bits above bit 2 add nothing.
  EXPECT_EQ(EventsOf("$", &mapping), "10d 34d 34u 10u");
  EXPECT_EQ(EventsOf("%", &mapping), "10d 11d 12d 35d 35u 10u 11u 12u");
  EXPECT_EQ(EventsOf("^", &mapping), "36d 36u");
  // The byte value is what the mapping is asked for, also above 127.
  EXPECT_EQ(EventsOf("\xE4", &mapping), "ded deu");
  EXPECT_EQ(mapping.asked.back(), 0xE4);
}

TEST(BuildKeyEvents, CharacterEventsCarryNoScanCodeYetAndNeverTheExtendedFlag) {
  TestMapping mapping;
  mapping.keys = {{'x', {0x26, 7}}};  // even a code that is extended as a named key
  std::vector<KeyEvent> events = BuildKeyEvents("x", [&mapping](unsigned char c, CharKey* key) {
    *key = mapping.keys.at(c);
    return true;
  });
  ASSERT_EQ(events.size(), 8u);
  for (const KeyEvent& event : events) {
    EXPECT_FALSE(event.extended);
    EXPECT_EQ(event.scanCode, 0);
  }
}

TEST(BuildKeyEvents, CharactersWithoutAKeyAndBracesGiveNoEvents) {
  TestMapping mapping;
  EXPECT_EQ(EventsOf("z", &mapping), "");
  EXPECT_EQ(mapping.asked, std::vector<unsigned char>{'z'});
  mapping.asked.clear();
  mapping.keys = {{'{', {0xDB, 1}}, {'}', {0xDD, 1}}};
  EXPECT_EQ(EventsOf("}", &mapping), "");
  EXPECT_EQ(EventsOf("{", &mapping), "");
  EXPECT_EQ(EventsOf("", &mapping), "");
  EXPECT_TRUE(mapping.asked.empty());
}

TEST(BuildKeyEvents, GroupsNameTheKeyAfterTheirLastOpeningBrace) {
  EXPECT_EQ(EventsOf("{A{F4}"), "73d 73u");
  EXPECT_EQ(EventsOf("{{{ENTER}"), "dd du");
  EXPECT_EQ(EventsOf("{}"), "");
  EXPECT_EQ(EventsOf("{a}"), "");  // a group never types a character
  EXPECT_EQ(EventsOf("{NOSUCHKEY}"), "");
  // Nothing is trimmed: blanks are part of the name.
  EXPECT_EQ(EventsOf("{ ENTER}"), "");
  EXPECT_EQ(EventsOf("{ENTER }"), "");
  EXPECT_EQ(EventsOf("{enter}"), "dd du");
  EXPECT_EQ(EventsOf("{Enter}"), "dd du");
  EXPECT_EQ(EventsOf("{ctrl_u}"), "11u");
}

// Every key name, in upper and in lower case, with its events.
TEST(BuildKeyEvents, KeyNameTableHasAll41NamesWithTheirCodesAndExtendedMarks) {
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"CTRL_D", "11d"},
      {"CTRL_U", "11u"},
      {"ALT_D", "12d"},
      {"ALT_U", "12u"},
      {"SHIFT_D", "10d"},
      {"SHIFT_U", "10u"},
      {"WIN_D", "5bd"},
      {"WIN_U", "5bu"},
      {"BACKSPACE", "8d 8u"},
      {"ENTER", "dd du"},
      {"INSERT", "2ddx 2dux"},
      {"DELETE", "2edx 2eux"},
      {"RIGHT", "27dx 27ux"},
      {"LEFT", "25dx 25ux"},
      {"UP", "26dx 26ux"},
      {"DOWN", "28dx 28ux"},
      {"ARROWRIGHT", "27dx 27ux"},
      {"ARROWLEFT", "25dx 25ux"},
      {"ARROWUP", "26dx 26ux"},
      {"ARROWDOWN", "28dx 28ux"},
      {"HOME", "24dx 24ux"},
      {"END", "23dx 23ux"},
      {"TAB", "9d 9u"},
      {"ESCAPE", "1bd 1bu"},
      {"PGUP", "21dx 21ux"},
      {"PGDN", "22dx 22ux"},
      {"F1", "70d 70u"},
      {"F2", "71d 71u"},
      {"F3", "72d 72u"},
      {"F4", "73d 73u"},
      {"F5", "74d 74u"},
      {"F6", "75d 75u"},
      {"F7", "76d 76u"},
      {"F8", "77d 77u"},
      {"F9", "78d 78u"},
      {"F10", "79d 79u"},
      {"F11", "7ad 7au"},
      {"F12", "7bd 7bu"},
      {"APPS", "5dd 5du"},
      {"NUMLOCK", "90d 90u"},
      {"CAPITAL", "14d 14u"},
  };
  ASSERT_EQ(expected.size(), 41u);
  for (const auto& [name, events] : expected) {
    EXPECT_EQ(EventsOf("{" + name + "}"), events) << name;
    std::string lower;
    for (char c : name) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    EXPECT_EQ(EventsOf("{" + lower + "}"), events) << lower;
  }
  EXPECT_EQ(EventsOf("{F13}"), "");
  EXPECT_EQ(EventsOf("{F0}"), "");
}

class KeyEventsOfUnitTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetKeysFakes(); }
};

TEST_F(KeyEventsOfUnitTest, OneLayoutFetchPerUnitAndEveryScanCodeFilled) {
  std::vector<KeyEvent> events = KeyEventsOfUnit("A");
  EXPECT_EQ(LayoutFetchCount(), 1);
  EXPECT_EQ(LayoutsAskedFor(), std::vector<KeyboardLayout>{kFakeLayout});
  EXPECT_EQ(Describe(events), "10d 41d 41u 10u");
  for (const KeyEvent& event : events) EXPECT_EQ(event.scanCode, FakeScanCode(event.virtualKey));

  events = KeyEventsOfUnit("{UP}");
  EXPECT_EQ(LayoutFetchCount(), 2);
  EXPECT_EQ(Describe(events), "26dx 26ux");
  EXPECT_EQ(events[0].scanCode, FakeScanCode(0x26));
  EXPECT_TRUE(KeyEventsOfUnit("\x01").empty());  // no key in the layout
  EXPECT_EQ(LayoutFetchCount(), 3);
  EXPECT_TRUE(InjectionCalls().empty());
}

}  // namespace
