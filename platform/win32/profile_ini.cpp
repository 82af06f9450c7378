// Profile files on Windows: the system's own profile functions.
#include <windows.h>

#include <vector>

#include "platform/profile.h"

std::string CurrentDirectory() {
  std::vector<char> buffer(MAX_PATH);
  DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length >= buffer.size()) {
    // A longer directory: the call gave the size it needs.
    buffer.resize(length + 1);
    length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) length = 0;
  }
  return std::string(buffer.data(), length);
}

const char* PathSeparator() { return "\\"; }

bool OrdinaryFileExists(const std::string& path) {
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  const DWORD notOrdinary =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return (found.dwFileAttributes & notOrdinary) == 0;
}

std::string ProfileReadString(const std::string& section, const std::string& key,
                              const std::string& defaultText, const std::string& path) {
  char value[2000];
  DWORD placed = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultText.c_str(), value,
                                          sizeof value, path.c_str());
  if (placed >= sizeof value) placed = 0;
  return std::string(value, placed);
}

std::vector<std::string> ProfileReadSection(const std::string& section, const std::string& path) {
  // A result that fills the buffer (its size less two) may have been cut:
  // read again with a larger buffer until every entry arrives whole.
  std::vector<char> block(4096);
  DWORD placed = 0;
  for (;;) {
    DWORD size = static_cast<DWORD>(block.size());
    placed = GetPrivateProfileSectionA(section.c_str(), block.data(), size, path.c_str());
    if (placed + 2 < size || size >= (1u << 28)) break;
    block.assign(static_cast<size_t>(size) * 2, '\0');
  }
  std::vector<std::string> entries;
  size_t position = 0;
  while (position < placed && block[position] != '\0') {
    std::string entry(block.data() + position);
    position += entry.size() + 1;
    entries.push_back(std::move(entry));
  }
  return entries;
}
