// The file URLs the office is given for the OPEN argument: the program's
// Windows-1252 text as percent-encoded UTF-8, relative names from the working
// directory.
#include <gtest/gtest.h>

#include "presentation/file_url.h"

namespace {

TEST(FileUrl, BlanksAndReservedCharactersArePercentEncoded) {
  EXPECT_EQ(FileUrlFromPath("/home/show/My Talk.odp", "/tmp"), "file:///home/show/My%20Talk.odp");
  EXPECT_EQ(FileUrlFromPath("/a%b#c?d;e+f&g=h.pptx", "/tmp"),
            "file:///a%25b%23c%3Fd%3Be%2Bf%26g%3Dh.pptx");
  EXPECT_EQ(FileUrlFromPath("/keep-these_.~/A9z", "/tmp"), "file:///keep-these_.~/A9z");
  // Quotes are part of the name, which is then a relative one.
  EXPECT_EQ(FileUrlFromPath("\"/a b.odp\"", "/w"), "file:///w/%22/a%20b.odp%22");
}

TEST(FileUrl, HighBytesAreWindows1252InUtf8) {
  // é, the euro sign, ß; 0x81 is undefined in the code page and stands for U+0081.
  EXPECT_EQ(FileUrlFromPath("/Caf\xE9 \x80\xDF\x81.odp", "/"),
            "file:///Caf%C3%A9%20%E2%82%AC%C3%9F%C2%81.odp");
  // The working directory comes from the system, already UTF-8.
  EXPECT_EQ(FileUrlFromPath("\xE9.odp", "/home/jos\xC3\xA9"), "file:///home/jos%C3%A9/%C3%A9.odp");
  EXPECT_EQ(FileUrlFromSystemPath("/home/jos\xC3\xA9/p", "/"), "file:///home/jos%C3%A9/p");
}

TEST(FileUrl, RelativeNamesAndStepsAreResolved) {
  EXPECT_EQ(FileUrlFromPath("talk.odp", "/home/show"), "file:///home/show/talk.odp");
  EXPECT_EQ(FileUrlFromPath("../x/./a.odp", "/home/show"), "file:///home/x/a.odp");
  EXPECT_EQ(FileUrlFromPath("//double//slash/", "/w"), "file:///double/slash/");
  EXPECT_EQ(FileUrlFromPath("/../../up.odp", "/w"), "file:///up.odp");
  EXPECT_EQ(FileUrlFromPath("", "/w"), "file:///w/");
  EXPECT_EQ(FileUrlFromPath("/", "/w"), "file:///");
}

}  // namespace
