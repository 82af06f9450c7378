// One table of tricky profile files. Every row runs through the program's own
// reader (over the bytes) and through the platform's profile back end (over
// the file on disk): on Windows that is GetPrivateProfileStringA and
// GetPrivateProfileSectionA, so both readers must agree with the expected
// values and with each other.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/profile_reader.h"
#include "tests/support/temp_directory.h"

namespace {

using namespace std::string_literals;

struct KeyRead {
  std::string section;
  std::string key;
  std::string defaultText;
  std::string expected;
};

struct SectionRead {
  std::string section;
  std::vector<std::string> expected;
};

struct ProfileCase {
  std::string title;
  std::string file;
  std::vector<KeyRead> keys;
  std::vector<SectionRead> sections;
};

std::string Repeat(char c, size_t count) { return std::string(count, c); }

std::vector<std::string> ManyEntries(size_t count) {
  std::vector<std::string> entries;
  for (size_t i = 0; i < count; ++i) {
    entries.push_back("command" + std::to_string(i) + "=TEXT NUMBER " + std::to_string(i) + " END");
  }
  return entries;
}

std::string Lines(const std::vector<std::string>& lines, const std::string& end) {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

std::vector<ProfileCase> ProfileCases() {
  std::vector<ProfileCase> cases;
  cases.push_back({"CRLF line ends",
                   "[settings]\r\nport=16001\r\n\r\n[projector]\r\nport=COM1\r\nbaud=9600\r\n",
                   {{"settings", "port", "1", "16001"},
                    {"projector", "port", "", "COM1"},
                    {"projector", "baud", "1", "9600"}},
                   {{"projector", {"port=COM1", "baud=9600"}}}});
  cases.push_back({"LF line ends and no line end at the close",
                   "[settings]\nport=16001\n[projector]\nport=COM1",
                   {{"settings", "port", "1", "16001"}, {"projector", "port", "", "COM1"}},
                   {{"settings", {"port=16001"}}}});
  cases.push_back({"CR alone ends a line",
                   "[a]\rk=1\rj=2\r\r\n\n\rl=3",
                   {{"a", "k", "", "1"}, {"a", "j", "", "2"}, {"a", "l", "", "3"}},
                   {{"a", {"k=1", "j=2", "l=3"}}}});
  cases.push_back(
      {"names compare without regard to case",
       "[Projector]\nPORT=COM2\nBaud=4800\n",
       {{"projector", "port", "", "COM2"},
        {"PROJECTOR", "baud", "", "4800"},
        {"pRoJeCtOr", "BAUD", "", "4800"}},
       {{"projector", {"PORT=COM2", "Baud=4800"}}, {"PROJECTOR", {"PORT=COM2", "Baud=4800"}}}});
  cases.push_back({"blanks around names, values and inside the brackets",
                   "  [ settings ]  \n  port  =   16001   \n\tbaud\t=\t96 00\t\n",
                   {{"settings", "port", "", "16001"},
                    {"settings", "baud", "", "96 00"},
                    {"  settings  ", "  port ", "", "16001"}},
                   {{"settings", {"port=16001", "baud=96 00"}}}});
  cases.push_back({"other blank characters: ^Z, vertical tab, form feed",
                   "[s]\nport=16001\x1A\n\x0B\x0C"
                   "baud = 1\x0C\n",
                   {{"s", "port", "", "16001"}, {"s", "baud", "", "1"}},
                   {{"s", {"port=16001", "baud=1"}}}});
  cases.push_back({"the first occurrence of a key counts",
                   "[settings]\nport=1\nport=2\nPORT=3\n",
                   {{"settings", "port", "9", "1"}},
                   {{"settings", {"port=1", "port=2", "PORT=3"}}}});
  cases.push_back({"of sections with the same name only the first counts",
                   "[s]\na=1\n[t]\nb=2\n[S]\na=3\nc=4\n",
                   {{"s", "a", "", "1"}, {"s", "c", "none", "none"}, {"t", "b", "", "2"}},
                   {{"s", {"a=1"}}, {"t", {"b=2"}}}});
  cases.push_back({"quotes around a value are removed in key reads only",
                   "[q]\na=\"x y\"\nb='z'\nc=\"x'\nd=\"\ne=\"\"\nf=' q '\ng=\"a\"b\"\nh=''\n"
                   "i=x\"\nj= \"k\" \n",
                   {{"q", "a", "", "x y"},
                    {"q", "b", "", "z"},
                    {"q", "c", "", "\"x'"},
                    {"q", "d", "", "\""},
                    {"q", "e", "def", ""},
                    {"q", "f", "", " q "},
                    {"q", "g", "", "a\"b"},
                    {"q", "h", "def", ""},
                    {"q", "i", "", "x\""},
                    {"q", "j", "", "k"}},
                   {{"q",
                     {"a=\"x y\"", "b='z'", "c=\"x'", "d=\"", "e=\"\"", "f=' q '", "g=\"a\"b\"",
                      "h=''", "i=x\"", "j=\"k\""}}}});
  cases.push_back({"comment lines",
                   "[settings]\n;port=1\n  ; port=2\nport=3\n;\n",
                   {{"settings", "port", "", "3"}, {"settings", ";port", "", "1"}},
                   {{"settings", {"port=3"}}}});
  cases.push_back({"an empty value is the empty text, not the default",
                   "[settings]\nport=\nbaud=    \nparity=\"\"\n",
                   {{"settings", "port", "16001", ""},
                    {"settings", "baud", "9600", ""},
                    {"settings", "parity", "NONE", ""}},
                   {{"settings", {"port=", "baud=", "parity=\"\""}}}});
  cases.push_back({"missing keys and sections give the default",
                   "[settings]\nport=1\n",
                   {{"settings", "baud", "9600", "9600"},
                    {"projector", "port", "", ""},
                    {"projector", "port", "COM1", "COM1"},
                    {"settings", "baud", "abc   ", "abc"},
                    {"settings", "baud", " a b ", " a b"},
                    {"settings", "baud", "\"quoted\"", "quoted"},
                    {"settings", "baud", "\tx\t", "\tx\t"}},
                   {{"projector", {}}, {"setting", {}}}});
  cases.push_back({"a value is cut to 1999 characters",
                   "[v]\nlong=" + Repeat('x', 2500) + "\nexact=" + Repeat('y', 1999) +
                       "\nquoted=\"" + Repeat('q', 1998) + "\"\nquotedlong=\"" + Repeat('r', 1999) +
                       "\"\nquotedlonger=\"" + Repeat('s', 2005) + "\"\n",
                   {{"v", "long", "", Repeat('x', 1999)},
                    {"v", "exact", "", Repeat('y', 1999)},
                    {"v", "quoted", "", Repeat('q', 1998)},
                    // The copy holds 1999 of the 2000 characters after the
                    // opening quote; removing the closing quote then takes a
                    // letter instead.
                    {"v", "quotedlong", "", Repeat('r', 1998)},
                    {"v", "quotedlonger", "", Repeat('s', 1999)}},
                   {}});
  cases.push_back({"text before the first section",
                   "k=0\nstray line\n[s]\nk=1\n",
                   {{"s", "k", "", "1"}, {"", "k", "", "0"}},
                   {{"s", {"k=1"}}, {"", {"k=0", "stray line"}}}});
  cases.push_back(
      {"lines without =",
       "[s]\nport\nport=5\nname only\nbaud=1\n",
       {{"s", "port", "dflt", "dflt"}, {"s", "name only", "dflt", "dflt"}, {"s", "baud", "", "1"}},
       {{"s", {"port", "port=5", "name only", "baud=1"}}}});
  cases.push_back({"blanks around = in section entries; further = belong to the value",
                   "[functions]\n  my name  =  A B  \nlamp=X=1\nsp =  = x\n",
                   {{"functions", "my name", "", "A B"},
                    {"functions", "lamp", "", "X=1"},
                    {"functions", "sp", "", "= x"}},
                   {{"functions", {"my name=A B", "lamp=X=1", "sp== x"}}}});
  cases.push_back({"comment lines and blank lines in section reads",
                   "[functions]\n\n; note\nON=PWR ON\n   \n\t;x=1\r\n\r\nOFF=PWR OFF\n;\n",
                   {{"functions", "on", "", "PWR ON"}},
                   {{"functions", {"ON=PWR ON", "OFF=PWR OFF"}}}});
  cases.push_back({"section lines: without ], text after ], ] inside",
                   "[s]\n[t\nk=1\n[u] trailing words\nm=2\n[a]b]\nn=3\n[]\no=4\n",
                   {{"s", "[t", "dflt", "dflt"},
                    {"s", "k", "", "1"},
                    {"u", "m", "", "2"},
                    {"a]b", "n", "", "3"},
                    {"t", "k", "dflt", "dflt"}},
                   {{"s", {"[t", "k=1"}}, {"u", {"m=2"}}, {"a]b", {"n=3"}}, {"t", {}}}});
  cases.push_back({"entries with an empty name",
                   "[f]\n=A\n=B\n  = C\nx=1\n=D\n",
                   {{"f", "", "dflt", "A"}, {"f", "x", "", "1"}},
                   {{"f", {"=A", "x=1", "=D"}}}});
  cases.push_back({"a section read is not trimmed, a key read is",
                   "[functions]\nON=1\n",
                   {{" functions ", "ON", "", "1"}},
                   {{" functions", {}}, {"functions", {"ON=1"}}}});
  cases.push_back({"UTF-8 byte-order mark",
                   "\xEF\xBB\xBF[settings]\nport=16001\n",
                   {{"settings", "port", "", "16001"}},
                   {{"settings", {"port=16001"}}}});
  cases.push_back({"empty file", "", {{"settings", "port", "16001", "16001"}}, {{"settings", {}}}});
  cases.push_back({"a section without entries",
                   "[functions]\n; nothing yet\n\n[other]\nx=1\n",
                   {{"functions", "x", "d", "d"}},
                   {{"functions", {}}, {"other", {"x=1"}}}});
  cases.push_back(
      {"8-bit characters pass unchanged; a zero byte ends a value",
       "[s]\nk=\xE4\xF6\xFC \x84\x94\xFF\nz=ab\0cd\nafter=1\n"s,
       {{"s", "k", "", "\xE4\xF6\xFC \x84\x94\xFF"}, {"s", "z", "", "ab"}, {"s", "after", "", "1"}},
       {{"s", {"k=\xE4\xF6\xFC \x84\x94\xFF", "z=ab", "after=1"}}}});
  std::vector<std::string> many = ManyEntries(400);
  cases.push_back({"a section far larger than 2000 bytes arrives whole",
                   "[functions]\r\n" + Lines(many, "\r\n") + "[next]\r\nx=1\r\n",
                   {{"functions", "command399", "", "TEXT NUMBER 399 END"}},
                   {{"functions", many}}});
  // The platform's first read has a 4096-byte buffer; blocks (entries with
  // their zero bytes) of just under, exactly at and just over its limit.
  for (size_t blockSize : {4093u, 4094u, 4095u}) {
    std::vector<std::string> entries = ManyEntries(3);
    size_t used = 0;
    for (const std::string& entry : entries) used += entry.size() + 1;
    entries.push_back("long=" + Repeat('L', blockSize - used - 1 - 5));
    cases.push_back({"a section block of " + std::to_string(blockSize) + " bytes",
                     "[functions]\n" + Lines(entries, "\n"),
                     {},
                     {{"functions", entries}}});
  }
  return cases;
}

TEST(ProfileReader, TrickyFilesReadAlikeByOwnReaderAndPlatform) {
  TemporaryDirectory directory;
  std::vector<ProfileCase> cases = ProfileCases();
  for (size_t i = 0; i < cases.size(); ++i) {
    const ProfileCase& row = cases[i];
    SCOPED_TRACE(row.title);
    // One file name per row: the platform may keep files it has read.
    std::string path = directory.WriteFile("case" + std::to_string(i) + ".ini", row.file);
    for (const KeyRead& read : row.keys) {
      SCOPED_TRACE("[" + read.section + "] " + read.key);
      std::string own = ProfileValueFromText(row.file, read.section, read.key, read.defaultText);
      std::string platform = ProfileReadString(read.section, read.key, read.defaultText, path);
      EXPECT_EQ(own, read.expected);
      EXPECT_EQ(platform, read.expected);
    }
    for (const SectionRead& read : row.sections) {
      SCOPED_TRACE("section [" + read.section + "]");
      EXPECT_EQ(ProfileSectionFromText(row.file, read.section), read.expected);
      EXPECT_EQ(ProfileReadSection(read.section, path), read.expected);
    }
  }
}

TEST(ProfileReader, MissingFileGivesDefaultsAndNoEntries) {
  TemporaryDirectory directory;
  std::string path = (directory.Path() / "absent.ini").string();
  EXPECT_EQ(ProfileReadString("settings", "port", "16001", path), "16001");
  EXPECT_EQ(ProfileReadString("projector", "port", "", path), "");
  EXPECT_EQ(ProfileReadString("projector", "parity", "NONE  ", path), "NONE");
  EXPECT_TRUE(ProfileReadSection("functions", path).empty());
}

TEST(ProfileReader, ParsedSectionsKeepFileOrderAndEntriesWithoutValue) {
  std::vector<ProfileSection> sections = ParseProfileText("a=1\n[x]\nb\nc = 2\n[y]\n");
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0].name, "");
  ASSERT_EQ(sections[0].entries.size(), 1u);
  EXPECT_EQ(sections[1].name, "x");
  ASSERT_EQ(sections[1].entries.size(), 2u);
  EXPECT_EQ(sections[1].entries[0].name, "b");
  EXPECT_FALSE(sections[1].entries[0].value.has_value());
  EXPECT_EQ(sections[1].entries[1].name, "c");
  EXPECT_EQ(sections[1].entries[1].value, "2");
  EXPECT_EQ(sections[2].name, "y");
  EXPECT_TRUE(sections[2].entries.empty());
}

TEST(ProfileBackEnd, OrdinaryFileExistsOnlyForFiles) {
  TemporaryDirectory directory;
  std::string file = directory.WriteFile("podiant.ini", "[settings]\n");
  EXPECT_TRUE(OrdinaryFileExists(file));
  std::filesystem::create_directory(directory.Path() / "folder.ini");
  EXPECT_FALSE(OrdinaryFileExists((directory.Path() / "folder.ini").string()));
  EXPECT_FALSE(OrdinaryFileExists((directory.Path() / "absent.ini").string()));
}

TEST(ProfileBackEnd, CurrentDirectoryFollowsTheWorkingDirectory) {
  TemporaryDirectory directory;
  WorkingDirectoryChange change(directory.Path());
  EXPECT_EQ(std::filesystem::path(CurrentDirectory()), std::filesystem::current_path());
  std::string separator = PathSeparator();
#ifdef _WIN32
  EXPECT_EQ(separator, "\\");
#else
  EXPECT_EQ(separator, "/");
#endif
}

}  // namespace
