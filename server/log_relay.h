// The status lines for the state channels that send them on as they are
// written (log=on): the status log's one observer queues every line for each
// channel that asked for them. Lines are added on every thread; the server
// thread switches the channels and sends what waits.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

// The most channels that can have lines relayed.
constexpr size_t kRelayedChannelsAtMost = 4;

// From now on every line (unless quiet) is queued for channel `channel`
// (below kRelayedChannelsAtMost), or from now on no longer (what waits stays
// until taken). The log is observed while a channel wants its lines.
void RelayLogLines(size_t channel, bool on);

// The lines waiting for `channel`, oldest first; its queue is then empty. A
// channel holds at most 1,000 lines: beyond them lines are dropped (the
// server thread takes them after every command, so only a long command lets
// them pile up).
std::deque<std::string> TakeRelayedLines(size_t channel);

// While one lives (and `quiet`), the lines that the calling thread writes go
// to no channel. The server thread is quiet for the arrival lines of the
// doors whose senders may be other servers, and for every line that another
// server's feedback causes, so that two servers that send each other their
// lines do not keep each other busy (the loop guard). Other threads' lines
// are not affected.
class QuietLines {
 public:
  explicit QuietLines(bool quiet);
  ~QuietLines();
  QuietLines(const QuietLines&) = delete;
  QuietLines& operator=(const QuietLines&) = delete;

 private:
  bool wasQuiet;
};
