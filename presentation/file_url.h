// File names as the office takes them: file URLs.
#pragma once

#include <string>

// The file URL of `path`, a name in the program's text (Windows-1252, as the
// command arrived): the name as UTF-8, relative names taken from
// `workingDirectory` (a name as the system gives it, UTF-8), "." and ".."
// steps and repeated slashes resolved, and every byte but letters, digits,
// "-", ".", "_", "~" and "/" percent-encoded ("/My Talk.odp" becomes
// "file:///My%20Talk.odp"). Bytes that Windows-1252 leaves undefined stand for
// the control characters of the same number, as Windows reads them.
std::string FileUrlFromPath(const std::string& path, const std::string& workingDirectory);

// The same for a name that is already UTF-8 (one from the system).
std::string FileUrlFromSystemPath(const std::string& path, const std::string& workingDirectory);
