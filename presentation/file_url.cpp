#include "presentation/file_url.h"

#include <cstdint>
#include <vector>

namespace {

// Windows-1252 0x80-0x9F; the five bytes it leaves undefined keep their number.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string Utf8FromSingleByte(const std::string& text) {
  std::string utf8;
  for (char ch : text) {
    auto byte = static_cast<unsigned char>(ch);
    uint32_t codePoint = byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
    if (codePoint < 0x80) {
      utf8 += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
      utf8 += static_cast<char>(0xC0 | (codePoint >> 6));
      utf8 += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | (codePoint >> 12));
      utf8 += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
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
