// The status log as a list of lines, for comparing in tests.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "common/status_log.h"

inline std::vector<std::string> LogLines() {
  std::vector<std::string> lines;
  std::string text = LogTextSnapshot();
  size_t start = 0;
  while (start < text.size()) {
    size_t next = text.find('\r', start + 1);
    if (next == std::string::npos) next = text.size();
    lines.push_back(text.substr(start + 1, next - start - 1));
    start = next;
  }
  return lines;
}

inline std::vector<std::string> Lines(std::initializer_list<const char*> lines) {
  return std::vector<std::string>(lines.begin(), lines.end());
}
