// Splitting a command line into words, shell-like but without a shell.
#pragma once

#include <string>
#include <vector>

// Blanks (space, tab, newline) separate words; '...' takes everything
// literally; "..." takes everything but \" \\ \$ \` as escapes; a backslash
// outside quotes takes the next character literally. An unclosed quote runs to
// the end of the text.
std::vector<std::string> SplitCommandLineWords(const std::string& commandLine);
