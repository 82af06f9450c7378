// Notices on the console: shown on standard error; when standard input is the
// terminal this program runs in the foreground of, the user dismisses them with
// Enter; otherwise (a service, a test, a program started in the background)
// no one can answer and the notice counts as dismissed at once.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "platform/console_text.h"
#include "platform/notice.h"

namespace {

std::mutex noticeLock;

// A read from the terminal by a background process would stop the whole
// program (SIGTTIN) until someone brings it to the foreground. With the signal
// ignored such a read fails at once instead, also when the program is sent to
// the background while a notice waits.
void NeverStopForTerminalInput() {
  static std::once_flag once;
  std::call_once(once, [] { signal(SIGTTIN, SIG_IGN); });
}

// A message box shows a CR, a LF or a CR LF in its text as a line break:
// so does the console, and every line is made safe for the terminal.
std::string NoticeLines(const std::string& text) {
  std::string lines;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    if (begin > 0) lines += '\n';
    lines += ConsoleSafeText(text.substr(begin, end - begin));
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    begin = end + 1;
  }
  return lines;
}

bool SomeoneCanAnswer() {
  return isatty(STDIN_FILENO) == 1 && tcgetpgrp(STDIN_FILENO) == getpgrp();
}

}  // namespace

void ShowNotice(const std::string& caption, const std::string& text, unsigned) {
  std::lock_guard<std::mutex> guard(noticeLock);
  NeverStopForTerminalInput();
  bool canAnswer = SomeoneCanAnswer();
  std::string shown = "[";
  shown += ConsoleSafeText(caption);
  shown += "] ";
  shown += NoticeLines(text);
  shown += "\n";
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
