#include "platform/profile_reader.h"

namespace {

bool IsProfileBlank(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 0x09 && u <= 0x0D) || u == 0x1A || u == 0x20;
}

std::string_view TrimBlanks(std::string_view text) {
  size_t start = 0;
  size_t end = text.size();
  while (start < end && IsProfileBlank(text[start])) ++start;
  while (end > start && IsProfileBlank(text[end - 1])) --end;
  return text.substr(start, end - start);
}

// The text up to its first zero byte: names and values end there, as they do
// in the platform's reader, which works on zero-terminated strings.
std::string_view UpToZero(std::string_view text) {
  size_t zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

char FoldAsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiLower(a[i]) != FoldAsciiLower(b[i])) return false;
  }
  return true;
}

// A value or default as a key read delivers it: a matching pair of enclosing
// quotes removed, cut to fit the buffer. The closing quote is removed by
// shortening the copy, so a quoted value that only just does not fit loses
// its last character instead (the platform's reader does the same).
std::string CopyKeyValue(std::string_view value, size_t bufferSize) {
  if (bufferSize == 0) return std::string();
  bool quoted = false;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    quoted = true;
    value.remove_prefix(1);
  }
  std::string copy(value.substr(0, bufferSize - 1));
  if (quoted && bufferSize >= value.size() && !copy.empty()) copy.pop_back();
  return copy;
}

// Trailing spaces (only the space character) are dropped from a default
// text, down to its first character.
std::string_view DefaultWithoutTrailingSpaces(std::string_view text) {
  size_t end = text.size();
  while (end > 1 && text[end - 1] == ' ') --end;
  return text.substr(0, end);
}

const ProfileSection* FirstSectionNamed(const std::vector<ProfileSection>& sections,
                                        std::string_view name) {
  for (const ProfileSection& section : sections) {
    if (SameNameIgnoringCase(section.name, name)) return &section;
  }
  return nullptr;
}

}  // namespace

std::vector<ProfileSection> ParseProfileText(std::string_view fileBytes) {
  std::vector<ProfileSection> sections;
  if (fileBytes.empty()) return sections;
  if (fileBytes.substr(0, 3) == "\xEF\xBB\xBF") fileBytes.remove_prefix(3);
  sections.push_back(ProfileSection{});
  bool havePrevious = false;  // an entry before this one in the same section
  bool previousNameEmpty = false;

  size_t next = 0;
  while (next < fileBytes.size()) {
    size_t lineStart = next;
    while (next < fileBytes.size() && fileBytes[next] != '\n' && fileBytes[next] != '\r') ++next;
    std::string_view line = TrimBlanks(fileBytes.substr(lineStart, next - lineStart));
    while (next < fileBytes.size() && (fileBytes[next] == '\n' || fileBytes[next] == '\r')) ++next;
    if (line.empty()) continue;

    if (line[0] == '[') {
      size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        ProfileSection section;
        section.name = std::string(UpToZero(TrimBlanks(line.substr(1, close - 1))));
        sections.push_back(std::move(section));
        havePrevious = false;
        continue;
      }
      // Without "]" the line is an ordinary entry.
    }

    std::string_view name = line;
    std::optional<std::string_view> value;
    size_t equals = line.find('=');
    if (equals != std::string_view::npos) {
      name = line.substr(0, equals);
      while (!name.empty() && IsProfileBlank(name.back())) name.remove_suffix(1);
      std::string_view rest = line.substr(equals + 1);
      while (!rest.empty() && IsProfileBlank(rest.front())) rest.remove_prefix(1);
      value = rest;
    }
    // Consecutive entries with empty names collapse into the first one.
    if (name.empty() && havePrevious && previousNameEmpty) continue;

    ProfileEntry entry;
    entry.name = std::string(UpToZero(name));
    if (value) entry.value = std::string(UpToZero(*value));
    havePrevious = true;
    previousNameEmpty = entry.name.empty();
    sections.back().entries.push_back(std::move(entry));
  }
  return sections;
}

std::string ProfileValueFromText(std::string_view fileBytes, std::string_view section,
                                 std::string_view key, std::string_view defaultText,
                                 size_t bufferSize) {
  section = TrimBlanks(UpToZero(section));
  key = TrimBlanks(UpToZero(key));
  defaultText = DefaultWithoutTrailingSpaces(UpToZero(defaultText));

  std::vector<ProfileSection> sections = ParseProfileText(fileBytes);
  const ProfileSection* found = FirstSectionNamed(sections, section);
  if (found != nullptr) {
    for (const ProfileEntry& entry : found->entries) {
      if (!SameNameIgnoringCase(entry.name, key)) continue;
      // The first line of the key counts, even when it has no value.
      if (entry.value) return CopyKeyValue(*entry.value, bufferSize);
      break;
    }
  }
  return CopyKeyValue(defaultText, bufferSize);
}

std::vector<std::string> ProfileSectionFromText(std::string_view fileBytes,
                                                std::string_view section) {
  std::vector<std::string> lines;
  std::vector<ProfileSection> sections = ParseProfileText(fileBytes);
  const ProfileSection* found = FirstSectionNamed(sections, UpToZero(section));
  if (found == nullptr) return lines;
  for (const ProfileEntry& entry : found->entries) {
    if (!entry.name.empty() && entry.name[0] == ';') continue;
    std::string line = entry.name;
    if (entry.value) line += "=" + *entry.value;
    lines.push_back(std::move(line));
  }
  return lines;
}
