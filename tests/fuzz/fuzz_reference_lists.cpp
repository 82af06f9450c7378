// The reference models of the settings' address and command lists and of the
// projector escapes (apart from the others: the settings and [functions]
// targets link no key handling).
#include <arpa/inet.h>

#include <cctype>
#include <cstdlib>

#include "platform/profile_reader.h"
#include "tests/fuzz/fuzz_reference.h"

std::vector<std::string> ReferenceListEntries(const std::string& value) {
  std::vector<std::string> entries(1);
  for (char c : value) {
    if (c == ',' || c == ' ' || c == '\t') {
      if (!entries.back().empty()) entries.emplace_back();
    } else {
      entries.back() += c;
    }
  }
  if (entries.back().empty()) entries.pop_back();
  return entries;
}

bool ReferenceAllowEntry(const std::string& entry, uint32_t* address, int* prefixLength) {
  std::string addressText = entry;
  *prefixLength = 32;
  size_t slash = entry.find('/');
  if (slash != std::string::npos) {
    std::string length = entry.substr(slash + 1);
    if (length.empty() || length.size() > 2 || (length.size() == 2 && length[0] == '0')) {
      return false;
    }
    for (char c : length) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    *prefixLength = std::atoi(length.c_str());
    if (*prefixLength > 32) return false;
    addressText = entry.substr(0, slash);
  }
  // inet_pton wants a zero-terminated text: a zero byte inside is no address.
  if (addressText.find('\0') != std::string::npos) return false;
  in_addr parsed{};
  if (inet_pton(AF_INET, addressText.c_str(), &parsed) != 1) return false;
  uint32_t host = ntohl(parsed.s_addr);
  uint32_t mask = *prefixLength == 0 ? 0 : 0xFFFFFFFFu << (32 - *prefixLength);
  *address = htonl(host & mask);
  return true;
}

namespace {

std::string FoldAsciiLetters(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

bool ReferenceSettingPresent(const std::string& fileText, const std::string& section,
                             const std::string& key) {
  for (const ProfileSection& s : ParseProfileText(fileText)) {
    if (FoldAsciiLetters(s.name) != FoldAsciiLetters(section)) continue;
    for (const ProfileEntry& entry : s.entries) {
      if (FoldAsciiLetters(entry.name) == FoldAsciiLetters(key)) return entry.value.has_value();
    }
    return false;
  }
  return false;
}

std::string ReferenceDecodeEscapes(const std::string& text, std::vector<std::string>* notEscapes) {
  std::string decoded;
  size_t at = 0;
  for (size_t backslash = text.find('\\'); backslash != std::string::npos;
       backslash = text.find('\\', at)) {
    decoded += text.substr(at, backslash - at);
    std::string rest = text.substr(backslash + 1, 3);
    std::string written;
    if (!rest.empty() && std::string("rnt\\").find(rest[0]) != std::string::npos) {
      const char* bytes = rest[0] == 'r'   ? "\r"
                          : rest[0] == 'n' ? "\n"
                          : rest[0] == 't' ? "\t"
                                           : "\\";
      decoded += bytes;
      at = backslash + 2;
      continue;
    }
    if (!rest.empty() && rest[0] == 'x' && rest.size() >= 3 &&
        std::isxdigit(static_cast<unsigned char>(rest[1])) &&
        std::isxdigit(static_cast<unsigned char>(rest[2]))) {
      decoded += static_cast<char>(std::strtol(rest.substr(1, 2).c_str(), nullptr, 16));
      at = backslash + 4;
      continue;
    }
    written = "\\";
    if (!rest.empty()) written += rest[0];
    if (!rest.empty() && rest[0] == 'x' && rest.size() >= 2 &&
        std::isxdigit(static_cast<unsigned char>(rest[1]))) {
      written += rest[1];
    }
    decoded += written;
    notEscapes->push_back(written);
    at = backslash + written.size();
  }
  return decoded + text.substr(at);
}
