// The Windows existence test: files that the file system marks hidden or
// system do not count as the settings file.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/profile.h"
#include "tests/support/temp_directory.h"

namespace {

TEST(ProfileBackEndWindows, HiddenAndSystemFilesDoNotCount) {
  TemporaryDirectory directory;
  const std::pair<const char*, DWORD> marks[] = {
      {"hidden.ini", FILE_ATTRIBUTE_HIDDEN},
      {"system.ini", FILE_ATTRIBUTE_SYSTEM},
      {"readonly.ini", FILE_ATTRIBUTE_READONLY},
  };
  for (const auto& [name, attribute] : marks) {
    SCOPED_TRACE(name);
    std::string path = directory.WriteFile(name, "[settings]\nport=1\n");
    ASSERT_TRUE(OrdinaryFileExists(path));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attribute));
    DWORD now = GetFileAttributesA(path.c_str());
    if ((now & attribute) == 0) GTEST_SKIP() << "the file system keeps no such attribute";
    EXPECT_EQ(OrdinaryFileExists(path), attribute == FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
