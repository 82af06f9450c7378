// Files beyond the settings file: the presentation's modification time, the
// temporary files that an application's export needs (removed at once: the
// program leaves nothing on disk), and the folder of shows of the web remote.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The modification time of the file at `path` (relative: from the working
// directory), in the platform's own units; 0 when it cannot be read.
int64_t FileModificationTime(const std::string& path);

// A new, empty file of this program's own in the system's folder of
// temporary files, whose name ends in `suffix` (".png"); its path, or empty
// when none could be made. The caller removes it.
std::string MakeTemporaryFile(const std::string& suffix);

// The whole file, when it is an ordinary file of at most `bytesAtMost` bytes.
bool ReadWholeFile(const std::string& path, size_t bytesAtMost, std::string* bytes);

// Removes the file; failures are silent.
void RemoveFile(const std::string& path);

// Whether `path` names a folder.
bool FolderExists(const std::string& path);

// The names of the ordinary files directly in the folder `path` (not hidden
// ones, not in subfolders), in UTF-8 (as the system holds them on Linux;
// from the system's Unicode names on Windows), sorted by their bytes; empty
// when the folder cannot be read.
std::vector<std::string> FilesInFolder(const std::string& path);
