// UTF-8 and the program's code page, on both platforms (under Wine the
// system's ANSI code page is Windows-1252, as on a western Windows).
#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"

namespace {

TEST(CodePage, TheCodePagesCharactersGoBothWaysAndOthersBecomeQuestionMarks) {
  const std::string codePage("caf\xE9 \x80 \x93x\x94", 10);
  const std::string utf8 = "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D";
  EXPECT_EQ(Utf8FromCodePage(codePage), utf8);
  EXPECT_EQ(CodePageFromUtf8(utf8), codePage);
  // A zero byte stays; a letter the code page lacks (omega, an emoji) is a '?'.
  EXPECT_EQ(CodePageFromUtf8(std::string("a\0b \xCE\xA9", 6)), std::string("a\0b ?", 5));
  EXPECT_EQ(CodePageFromUtf8("\xF0\x9F\x8E\xA4!"), "?!");
  // Bytes that are no UTF-8 never pass through as they are.
  for (const char* bad : {"\xFF", "\xC3", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80"}) {
    std::string text = CodePageFromUtf8(bad);
    EXPECT_FALSE(text.empty()) << bad;
    EXPECT_EQ(text.find_first_not_of('?'), std::string::npos) << bad;
  }
}

}  // namespace
