#include "keys/send_command.h"

#include <algorithm>
#include <cstdint>

#include "common/status_log.h"
#include "common/text_rules.h"
#include "keys/window_typing.h"
#include "platform/desktop.h"

namespace {

constexpr size_t kMinimumWindowNameLength = 3;
constexpr uint32_t kSendGapMilliseconds = 20;
constexpr size_t kSearchTextLimit = 259;  // a 260-byte field with its terminator

// What one lookup carries through the enumeration.
struct WindowSearch {
  std::string foldedSearchText;
  WindowId found;
  bool haveFound;
};

bool VisitCandidateWindow(WindowId window, void* context) {
  WindowSearch* search = static_cast<WindowSearch*>(context);
  if (!WindowIsVisible(window)) return true;
  if (WindowHasParent(window)) return true;
  if (!WindowIsEnabled(window)) return true;
  std::string title = ReadWindowTitle(window);
  size_t length = search->foldedSearchText.size();
  if (title.size() < length) return true;
  if (FoldUpper(std::string_view(title).substr(0, length)) != search->foldedSearchText) {
    return true;
  }
  search->found = window;
  search->haveFound = true;
  return false;
}

// The field after the `index`-th delimiter (1: the window name, 2: the key
// text); empty when the argument has fewer fields.
std::string FieldOfArgument(const std::string& argument, int index) {
  if (argument.empty()) return std::string();
  char delimiter = argument[0];
  size_t start = 0;
  for (int i = 0; i < index; ++i) {
    start = argument.find(delimiter, start);
    if (start == std::string::npos) return std::string();
    ++start;
  }
  size_t end = argument.find(delimiter, start);
  return argument.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// FindAndActivateWindow, which also gives the window it found.
int FindAndActivate(const std::string& name, WindowId* window) {
  // The search text is a zero-terminated field of its own: it ends at the
  // name's first zero byte, and at its 259th character.
  std::string_view searchText(name.data(), std::min(name.find('\0'), name.size()));
  WindowSearch search{FoldUpper(searchText.substr(0, kSearchTextLimit)), 0, false};
  EnumerateTopLevelWindows(VisitCandidateWindow, &search);
  if (!search.haveFound) return kNoWindow;
  *window = search.found;
  return ActivateWindow(search.found) ? kWindowActivated : kWindowNotActivated;
}

}  // namespace

int FindAndActivateWindow(const std::string& name) {
  WindowId window = 0;
  return FindAndActivate(name, &window);
}

void HandleSendCommand(const std::string& argument) {
  std::string windowName = FieldOfArgument(argument, 1);
  std::string keyText = FieldOfArgument(argument, 2);
  if (windowName.size() < kMinimumWindowNameLength) {
    AddLogLine("ERR: Windowname\"" + windowName + "\" too short");
    return;
  }
  if (keyText.empty()) {
    AddLogLine("ERR: No keys to send!");
    return;
  }
  WindowId window = 0;
  int outcome = FindAndActivate(windowName, &window);
  if (outcome == kNoWindow) {
    AddLogLine("ERR No Window\"" + windowName + "\"");
    return;
  }
  if (outcome == kWindowNotActivated) {
    AddLogLine("ERR: Window not activated\"" + windowName + "\"");
    return;
  }
  if (!TypeKeyTextInto(window, keyText, kSendGapMilliseconds)) {
    AddLogLine("ERR: Window lost focus\"" + windowName + "\"");
  }
}
