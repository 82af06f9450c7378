// Profile files elsewhere: the program's own reader over the file's bytes.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/profile.h"
#include "platform/profile_reader.h"

namespace {

// The whole file; empty when it cannot be read (a missing file reads as an
// empty one, which gives the defaults).
std::string FileBytes(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::string();
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::string();
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    if (errno != ERANGE || buffer.size() >= (1u << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

const char* PathSeparator() { return "/"; }

bool OrdinaryFileExists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string ProfileReadString(const std::string& section, const std::string& key,
                              const std::string& defaultText, const std::string& path) {
  return ProfileValueFromText(FileBytes(path), section, key, defaultText);
}

std::vector<std::string> ProfileReadSection(const std::string& section, const std::string& path) {
  return ProfileSectionFromText(FileBytes(path), section);
}
