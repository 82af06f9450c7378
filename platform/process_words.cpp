#include "platform/process_words.h"

std::vector<std::string> SplitCommandLineWords(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  size_t i = 0;
  const size_t n = commandLine.size();
  while (i < n) {
    char c = commandLine[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
      ++i;
      continue;
    }
    inWord = true;
    if (c == '\\') {
      if (i + 1 < n) word += commandLine[i + 1];
      i += 2;
    } else if (c == '\'') {
      size_t end = commandLine.find('\'', i + 1);
      if (end == std::string::npos) end = n;
      word.append(commandLine, i + 1, end - i - 1);
      i = end + 1;
    } else if (c == '"') {
      ++i;
      while (i < n && commandLine[i] != '"') {
        if (commandLine[i] == '\\' && i + 1 < n) {
          char next = commandLine[i + 1];
          if (next == '"' || next == '\\' || next == '$' || next == '`') {
            word += next;
            i += 2;
            continue;
          }
        }
        word += commandLine[i++];
      }
      ++i;  // the closing quote
    } else {
      word += c;
      ++i;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}
