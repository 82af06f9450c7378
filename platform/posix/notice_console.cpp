// Notices on the console: shown on standard error; when standard input is a
// terminal the user dismisses them with Enter, otherwise (a service, a test)
// no one can answer and the notice counts as dismissed at once.
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "platform/console_text.h"
#include "platform/notice.h"

namespace {
std::mutex noticeLock;
}

void ShowNotice(const std::string& caption, const std::string& text, unsigned) {
  std::lock_guard<std::mutex> guard(noticeLock);
  bool canAnswer = isatty(STDIN_FILENO) == 1;
  std::string shown = "[" + ConsoleSafeText(caption) + "] " + ConsoleSafeText(text) + "\n";
  if (canAnswer) shown += "(press Enter to continue)\n";
  ssize_t ignored = write(STDERR_FILENO, shown.data(), shown.size());
  (void)ignored;
  if (!canAnswer) return;
  char c = 0;
  for (;;) {
    ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') return;
  }
}
