#include <windows.h>

#include <algorithm>

#include "platform/files.h"

int64_t FileModificationTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<int64_t>(static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                              data.ftLastWriteTime.dwLowDateTime);
}

std::string MakeTemporaryFile(const std::string& suffix) {
  char folder[MAX_PATH + 1] = {};
  DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH) return std::string();
  // A name of this process's own, made new until one is free.
  static LONG serial = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = std::string(folder) + "podiant-" + std::to_string(GetCurrentProcessId()) +
                       "-" + std::to_string(InterlockedIncrement(&serial)) + suffix;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return path;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return std::string();
  }
  return std::string();
}

bool ReadWholeFile(const std::string& path, size_t bytesAtMost, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool read = GetFileSizeEx(file, &size) && static_cast<uint64_t>(size.QuadPart) <= bytesAtMost;
  bytes->clear();
  char buffer[65536];
  while (read) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) read = false;
    if (!read || got == 0) break;
    bytes->append(buffer, got);
    if (bytes->size() > bytesAtMost) read = false;
  }
  CloseHandle(file);
  return read;
}

void RemoveFile(const std::string& path) { DeleteFileA(path.c_str()); }

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

std::wstring WideFromAnsi(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  }
  return wide;
}

std::string Utf8FromWide(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.resize(static_cast<size_t>(length - 1));
  return text;
}

}  // namespace

std::vector<std::string> FilesInFolder(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((WideFromAnsi(path) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    constexpr DWORD kLeftOut =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if ((found.dwFileAttributes & kLeftOut) == 0) names.push_back(Utf8FromWide(found.cFileName));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}
