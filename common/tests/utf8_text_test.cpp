// The cut of UTF-8 text between characters.
#include "common/utf8_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8PrefixLength, CutsBeforeTheCharacterThatWouldBeSplit) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xA4z";  // a é € 🎤 z
  const size_t expected[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 11, 11};
  for (size_t bytes = 0; bytes < sizeof expected / sizeof expected[0]; ++bytes) {
    EXPECT_EQ(Utf8PrefixLength(text, bytes), expected[bytes]) << bytes;
  }
}

}  // namespace
