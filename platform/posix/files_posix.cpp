#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/files.h"

int64_t FileModificationTime(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return 0;
  return static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

std::string MakeTemporaryFile(const std::string& suffix) {
  const char* folder = std::getenv("TMPDIR");
  std::string pattern = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                        "/podiant-XXXXXX" + suffix;
  int fd = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return std::string();
  close(fd);
  return pattern;
}

bool ReadWholeFile(const std::string& path, size_t bytesAtMost, std::string* bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status {};
  bool read = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
              static_cast<uint64_t>(status.st_size) <= bytesAtMost;
  bytes->clear();
  char buffer[65536];
  while (read) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) read = false;
    if (got <= 0) break;
    bytes->append(buffer, static_cast<size_t>(got));
    if (bytes->size() > bytesAtMost) read = false;
  }
  close(fd);
  return read;
}

void RemoveFile(const std::string& path) { unlink(path.c_str()); }

bool FolderExists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::vector<std::string> FilesInFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) return names;
  while (const dirent* entry = readdir(folder)) {
    std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    struct stat status {};
    if (stat((path + "/" + name).c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
      names.push_back(name);
    }
  }
  closedir(folder);
  std::sort(names.begin(), names.end());
  return names;
}
