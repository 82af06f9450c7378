#include "server/feedback.h"

#include <algorithm>

#include "config/access_lists.h"
#include "config/settings.h"
#include "platform/code_page.h"

namespace {

// A text of the show in the program's code page, its line breaks as CR.
std::string LineText(const std::string& utf8) {
  std::string text = CodePageFromUtf8(utf8);
  std::replace(text.begin(), text.end(), '\n', '\r');
  return text;
}

std::string Pair(int32_t first, int32_t second) {
  return std::to_string(first) + " " + std::to_string(second);
}

std::string ItemValues(StatusItem item, const ShowStatus& status) {
  const SlideDetails& details = status.details;
  switch (item) {
    case StatusItem::kFile:
      return CodePageFromUtf8(status.fileName);
    case StatusItem::kState:
      return ShowStateWord(status.state);
    case StatusItem::kSlide:
      return Pair(status.slide, status.slideCount);
    case StatusItem::kTitle:
      return LineText(details.title);
    case StatusItem::kBuild:
      return Pair(details.buildPosition, details.buildCount);
    case StatusItem::kNextSlide:
      return std::to_string(details.nextSlide) + " " + LineText(details.nextTitle);
    case StatusItem::kNotes:
      return LineText(details.notes);
  }
  return std::string();
}

void Send(const StateChannel& channel, const std::vector<StatusItem>& items,
          const SharedShowStatus& status) {
  for (const std::string& datagram : FeedbackDatagrams(items, *status)) {
    SendToDestinations(channel, datagram);
  }
}

void SendLine(const StateChannel& channel, const std::string& line) {
  SendToDestinations(channel, FeedbackLogDatagram(line));
}

}  // namespace

bool FeedbackConfigured() {
  return Settings.feedback.has_value() && !Settings.feedback->destinations.empty();
}

std::string FeedbackStartLine() {
  return "Sending feedback to " + FormatFeedbackList(Settings.feedback->destinations);
}

StateChannel FeedbackChannel(SocketHandle socket) {
  StateChannel channel = DatagramChannel("Feedback", *Settings.feedback, socket);
  // notes=on: the slide's title, build and next slide too.
  channel.choice = StatusItemChoice{Settings.feedback->notes, Settings.feedback->notes};
  channel.send = Send;
  channel.sendLine = SendLine;
  return channel;
}

std::vector<std::string> FeedbackDatagrams(const std::vector<StatusItem>& items,
                                           const ShowStatus& status) {
  std::vector<std::string> datagrams;
  for (StatusItem item : items) {
    datagrams.push_back(std::string(NamesOf(item).word) + " " + ItemValues(item, status));
  }
  return datagrams;
}

std::string FeedbackLogDatagram(const std::string& line) {
  return std::string(kLogWord) + " " + line;
}
