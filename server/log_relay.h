// The status lines for the channels that send them on as they are written
// (the feedback's LOG with [feedback] log=on, OSC's /podiant/log with [osc]
// log=on): the status log's one observer, which queues every line for each
// channel that asked for them. Lines are added on both threads; the server
// thread switches the channels and sends what waits.
#pragma once

#include <deque>
#include <string>

enum class LogChannel { kFeedback, kOsc };

// From now on every line (unless muted) is queued for `channel`, or from now
// on no longer (what waits stays until taken). The log is observed while a
// channel wants its lines.
void RelayLogLines(LogChannel channel, bool on);

// The lines waiting for `channel`, oldest first; its queue is then empty. A
// channel holds at most 1,000 lines: beyond them lines are dropped (the
// server thread takes them after every command, so only a long command lets
// them pile up).
std::deque<std::string> TakeRelayedLines(LogChannel channel);

// While muted, the lines that the calling thread writes go to no channel:
// the server thread mutes the R and O lines of what it receives, and every
// line of a datagram or OSC message that is another server's feedback, so
// that two servers that send each other their lines do not keep each other
// busy (the loop guard).
void MuteFeedbackLog(bool muted);
