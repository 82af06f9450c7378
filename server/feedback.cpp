#include "server/feedback.h"

#include <algorithm>
#include <array>
#include <limits>

#include "common/status_log.h"
#include "common/text_rules.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "platform/code_page.h"
#include "server/log_relay.h"
#include "server/sender_check.h"
#include "server/show_changes.h"

namespace {

// The largest payload of a UDP datagram over IPv4: a longer line is cut.
constexpr size_t kDatagramBytesAtMost = 65507;

struct FeedbackRecord {
  SocketHandle socket = kNoSocket;
  ShowStatus sent;  // what the destinations were told last
  uint64_t heartbeatAt = 0;
  DestinationRefusals refusals;
};

// Used on the server thread only.
FeedbackRecord Feedback;

void SendToAll(const std::string& text) {
  const std::string payload = text.substr(0, kDatagramBytesAtMost);
  for (const FeedbackDestination& destination : Settings.feedback->destinations) {
    SendDatagramFrom(Feedback.socket, destination.address, destination.port, payload);
  }
}

void SendAll(const std::vector<std::string>& texts) {
  for (const std::string& text : texts) SendToAll(text);
}

void SendWaitingLines() {
  for (const std::string& line : TakeRelayedLines(LogChannel::kFeedback)) SendToAll("LOG " + line);
}

bool HeartbeatDue(uint64_t now) {
  return Settings.feedback->intervalSeconds > 0 && now >= Feedback.heartbeatAt;
}

StatusItemChoice FeedbackChoice() {
  const bool notes = Settings.feedback->notes;
  return StatusItemChoice{notes, notes};
}

// A text of the slide in the program's code page, its line breaks as CR.
std::string LineText(const std::string& utf8) {
  std::string text = CodePageFromUtf8(utf8);
  std::replace(text.begin(), text.end(), '\n', '\r');
  return text;
}

std::string Datagram(StatusItem item, const ShowStatus& status) {
  const SlideDetails& details = status.details;
  switch (item) {
    case StatusItem::kFile:
      return "FILE " + status.fileName;
    case StatusItem::kState:
      return std::string("SHOW ") + ShowStateWord(status.state);
    case StatusItem::kSlide:
      return "SLIDE " + std::to_string(status.slide) + " " + std::to_string(status.slideCount);
    case StatusItem::kTitle:
      return "TITLE " + LineText(details.title);
    case StatusItem::kBuild:
      return "BUILD " + std::to_string(details.buildPosition) + " " +
             std::to_string(details.buildCount);
    case StatusItem::kNextSlide:
      return "NEXTSLIDE " + std::to_string(details.nextSlide) + " " + LineText(details.nextTitle);
    case StatusItem::kNotes:
      return "NOTES " + LineText(details.notes);
  }
  return std::string();
}

std::vector<std::string> Datagrams(const std::vector<StatusItem>& items, const ShowStatus& status) {
  std::vector<std::string> texts;
  for (StatusItem item : items) texts.push_back(Datagram(item, status));
  return texts;
}

void SendSnapshot(const ShowStatus& status) {
  SendAll(StatusSnapshotDatagrams(status));
  Feedback.sent = status;
}

}  // namespace

bool FeedbackConfigured() {
  return Settings.feedback.has_value() && !Settings.feedback->destinations.empty();
}

void StartFeedback(SocketHandle socket, uint64_t nowMilliseconds) {
  Feedback = FeedbackRecord{};
  Feedback.socket = socket;
  Feedback.heartbeatAt = nowMilliseconds;
  ReportRefusals(socket);
  if (Settings.feedback->log) RelayLogLines(LogChannel::kFeedback, true);
}

bool FeedbackWantsDetails() { return FeedbackConfigured() && Settings.feedback->notes; }

std::string FeedbackStartLine() {
  return "Sending feedback to " + FormatFeedbackList(Settings.feedback->destinations);
}

uint64_t FeedbackDueAt() {
  return Settings.feedback->intervalSeconds > 0 ? Feedback.heartbeatAt
                                                : std::numeric_limits<uint64_t>::max();
}

bool FeedbackHeartbeatDue(uint64_t nowMilliseconds) { return HeartbeatDue(nowMilliseconds); }

void ServeFeedback(uint64_t nowMilliseconds, const ShowStatus& status) {
  SendWaitingLines();
  if (HeartbeatDue(nowMilliseconds)) {
    SendSnapshot(status);
    Feedback.heartbeatAt =
        nowMilliseconds + static_cast<uint64_t>(Settings.feedback->intervalSeconds) * 1000;
    return;
  }
  SendAll(StatusChangeDatagrams(Feedback.sent, status));
  Feedback.sent = status;
}

void SendFeedbackSnapshotOf(const ShowStatus& status) {
  if (FeedbackConfigured()) SendSnapshot(status);
}

const FeedbackDestination* RefusalToReport(DestinationRefusals& refusals,
                                           const std::vector<FeedbackDestination>& destinations,
                                           uint32_t address, uint16_t port,
                                           uint64_t nowMilliseconds) {
  auto match =
      std::find(destinations.begin(), destinations.end(), FeedbackDestination{address, port});
  size_t which = static_cast<size_t>(match - destinations.begin());
  if (match == destinations.end()) {
    if (destinations.size() != 1 || address != 0) return nullptr;
    which = 0;
  }
  if (refusals.reported[which] &&
      nowMilliseconds - refusals.reportedAt[which] < kRefusalReportMilliseconds) {
    return nullptr;
  }
  refusals.reported[which] = true;
  refusals.reportedAt[which] = nowMilliseconds;
  return &destinations[which];
}

void FeedbackRefused(uint32_t address, uint16_t port, uint64_t nowMilliseconds) {
  if (const FeedbackDestination* refused = RefusalToReport(
          Feedback.refusals, Settings.feedback->destinations, address, port, nowMilliseconds)) {
    AddLogLine("Feedback to " + FormatFeedbackDestination(*refused) + " refused");
  }
}

bool IsFeedbackDatagram(const std::string& payload) {
  size_t first = payload.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  std::string word = FoldUpper(payload.substr(first, payload.find(' ', first) - first));
  return word == "FILE" || word == "SHOW" || word == "SLIDE" || word == "LOG" || word == "TITLE" ||
         word == "BUILD" || word == "NEXTSLIDE" || word == "NOTES";
}

void StopFeedback() {
  RelayLogLines(LogChannel::kFeedback, false);
  SendWaitingLines();
}

std::vector<std::string> StatusChangeDatagrams(const ShowStatus& sent, const ShowStatus& now) {
  return Datagrams(StatusChangeItems(sent, now, FeedbackChoice()), now);
}

std::vector<std::string> StatusSnapshotDatagrams(const ShowStatus& now) {
  return Datagrams(StatusSnapshotItems(now, FeedbackChoice()), now);
}
