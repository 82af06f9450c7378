#include "presentation/file_url.h"

#include <cstdint>
#include <vector>

#include "platform/single_byte_text.h"

namespace {

// The name as UTF-8. The five bytes that Windows-1252 leaves undefined stand
// for the control characters of the same number, as Windows reads them.
std::string Utf8FromSingleByte(const std::string& text) {
  std::string utf8;
  for (char ch : text) {
    auto byte = static_cast<unsigned char>(ch);
    uint32_t codePoint = UnicodeOfSingleByte(byte);
    AppendUtf8(utf8, codePoint != 0 || byte == 0 ? codePoint : byte);
  }
  return utf8;
}

// The steps of an absolute name, with "." and empty steps dropped and ".."
// taking back the step before it (at the top it stays at the top).
std::vector<std::string> PathSteps(const std::string& path) {
  std::vector<std::string> steps;
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    std::string step = path.substr(begin, end - begin);
    if (step == "..") {
      if (!steps.empty()) steps.pop_back();
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    begin = end + 1;
  }
  return steps;
}

bool Unreserved(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

}  // namespace

std::string FileUrlFromSystemPath(const std::string& path, const std::string& workingDirectory) {
  std::string absolute = !path.empty() && path[0] == '/' ? path : workingDirectory + "/" + path;
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  std::vector<std::string> steps = PathSteps(absolute);
  if (steps.empty()) url += '/';
  for (const std::string& step : steps) {
    url += '/';
    for (char ch : step) {
      auto byte = static_cast<unsigned char>(ch);
      if (Unreserved(byte)) {
        url += ch;
      } else {
        url += '%';
        url += kHex[byte >> 4];
        url += kHex[byte & 0x0F];
      }
    }
  }
  // A name that ends in a slash names a directory: the URL says so too.
  if (!steps.empty() && absolute.back() == '/') url += '/';
  return url;
}

std::string FileUrlFromPath(const std::string& path, const std::string& workingDirectory) {
  return FileUrlFromSystemPath(Utf8FromSingleByte(path), workingDirectory);
}
