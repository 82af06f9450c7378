#include "venue/venue_link.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "common/status_log.h"
#include "config/settings.h"
#include "platform/code_page.h"
#include "platform/timing.h"
#include "presentation/slide_images.h"
#include "server/server_mailbox.h"
#include "server/server_thread.h"
#include "server/state_channels.h"
#include "server/venue_rooms.h"
#include "server/wake_socket.h"
#include "venue/venue_commands.h"
#include "venue/venue_discovery.h"
#include "venue/venue_follow.h"
#include "venue/venue_state.h"

namespace {

constexpr uint64_t kFirstRetryMilliseconds = 500;
constexpr uint64_t kLastRetryMilliseconds = 5000;
constexpr uint64_t kGoodbyeMilliseconds = 1000;
constexpr uint32_t kIdleWaitMilliseconds = 5000;  // well within the shortest keepalive
constexpr size_t kLinesWaitingAtMost = 1000;
constexpr size_t kResultsWaitingAtMost = 256;
constexpr int kQos = 1;

// What the server thread (the channel, the results) and the main thread (the
// stop) hand the link's thread, under `linkLock`.
struct LinkMailbox {
  SharedShowStatus status;  // the newest, not yet taken
  std::deque<std::string> lines;
  std::deque<std::string> results;
  // The picture of the slide it was asked for (picture=), when it came.
  std::shared_ptr<const std::string> picture;
  int32_t pictureSlide = 0;
  bool stop = false;
};
std::mutex linkLock;
LinkMailbox lockedLinkMailbox;
WakeRecord linkThreadWake;

// What the client's callbacks noted during its turn, carried out after it. The
// client calls them holding its callback lock, and a call into the client from
// there (a publish, a subscribe) takes the client's other locks under that one:
// the reverse of their order in its own writes, where a DISCONNECT that goes
// out calls back under them. The callbacks therefore never call the client.
struct ClientNote {
  bool connected = false;  // the broker accepted the connection; else a message
  std::string topic;
  std::string payload;
  bool retain = false;
  TimeOfDay time{};  // when the message arrived
  uint64_t arrivedAt = 0;
  uint64_t arrivedAtMilliseconds = 0;
};

// The link's thread alone.
struct LinkRecord {
  mosquitto* client = nullptr;
  std::string where;  // host:port, for the lines
  bool connected = false;
  bool connecting = false;
  bool attempted = false;
  bool lostSaid = false;     // "MQTT lost" written for this outage
  bool refusedSaid = false;  // "MQTT refused" written since the last connection
  uint64_t retryAt = 0;
  uint64_t retryMilliseconds = kFirstRetryMilliseconds;
  SharedShowStatus latest;  // the newest status
  SharedShowStatus told;    // what the broker was told on this connection
  uint64_t seq = 0;
  std::deque<std::string> lines;           // status lines that wait for a connection
  std::map<int, std::string> subscribing;  // message id, topic
  VenueIds ids;
  std::deque<ClientNote> notes;  // from the callbacks, in their order
  Follower follower;             // follow=
  std::string pictureAskedFor;   // the show and slide whose picture was asked for (picture=)
};
LinkRecord linkThreadLink;

std::thread mainThreadLinkHandle;

template <typename Change>
void PostToLink(Change change) {
  {
    std::lock_guard<std::mutex> guard(linkLock);
    change(lockedLinkMailbox);
  }
  Wake(linkThreadWake);
}

// The link's channel: whole states only, handed to the link's thread.
void SendStatus(const StateChannel&, const std::vector<StatusItem>&,
                const SharedShowStatus& status) {
  PostToLink([&status](LinkMailbox& mailbox) { mailbox.status = status; });
}

void SendLine(const StateChannel&, const std::string& line) {
  PostToLink([&line](LinkMailbox& mailbox) {
    if (mailbox.lines.size() < kLinesWaitingAtMost) mailbox.lines.push_back(line);
  });
}

void PostPicture(int32_t slide, const SlideImageAnswer& answer) {
  if (answer.outcome != SlideImageOutcome::kImage) return;
  PostToLink([&](LinkMailbox& mailbox) {
    mailbox.picture = answer.png;
    mailbox.pictureSlide = slide;
  });
}

void PostResult(std::string result) {
  PostToLink([&result](LinkMailbox& mailbox) {
    if (mailbox.results.size() < kResultsWaitingAtMost)
      mailbox.results.push_back(std::move(result));
  });
}

// --- The link's thread ----------------------------------------------------

void Publish(const std::string& topic, const std::string& payload, bool retained) {
  mosquitto_publish(linkThreadLink.client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                    payload.data(), kQos, retained);
}

void PublishState() {
  LinkRecord& link = linkThreadLink;
  if (!link.connected || !link.latest || link.latest == link.told) return;
  for (const VenuePublish& publish :
       VenueStatePublishes(link.told.get(), *link.latest, ++link.seq)) {
    Publish(publish.topic, publish.payload, publish.retained);
  }
  link.told = link.latest;
}

void Subscribe(const std::string& topic, int options) {
  LinkRecord& link = linkThreadLink;
  int id = 0;
  if (mosquitto_subscribe_v5(link.client, &id, topic.c_str(), kQos, options, nullptr) ==
      MOSQ_ERR_SUCCESS) {
    link.subscribing[id] = topic;
  }
}

// The room of `<prefix>/<room>/<leaf>`; empty for any other topic.
std::string RoomOf(const std::string& topic, std::string_view leaf) {
  const std::string& prefix = Settings.mqtt->prefix;
  const size_t first = prefix.size() + 1;
  if (topic.size() <= first + leaf.size() + 1 || topic.compare(0, prefix.size(), prefix) != 0 ||
      topic[prefix.size()] != '/') {
    return {};
  }
  const size_t end = topic.size() - leaf.size();
  if (topic[end - 1] != '/' || topic.compare(end, leaf.size(), leaf) != 0) return {};
  std::string room = topic.substr(first, end - 1 - first);
  return room.find('/') == std::string::npos ? room : std::string();
}

// The configuration topics of this room's entities for Home Assistant.
std::string DiscoveryTopics() {
  return "homeassistant/+/" + DiscoveryNodeId(Settings.mqtt->prefix, Settings.mqtt->room) +
         "/+/config";
}

bool TopicMatches(const std::string& filter, const char* topic) {
  bool matches = false;
  return mosquitto_topic_matches_sub(filter.c_str(), topic, &matches) == MOSQ_ERR_SUCCESS &&
         matches;
}

// follow=: the next step towards the main's show, carried out as any command
// that arrives (within [settings] commands=).
void Follow() {
  LinkRecord& link = linkThreadLink;
  const MqttSettings& mqtt = *Settings.mqtt;
  if (mqtt.follow.empty() || !link.latest) return;
  std::string line;
  const std::string step =
      NextFollowStep(link.follower, link.latest, MonotonicMilliseconds(), &line);
  if (!line.empty()) AddLogLine(line);
  if (step.empty()) return;
  Arrival arrival;
  arrival.time = LocalTimeOfDay();
  arrival.arrivedAt = ArrivalClockNow();
  arrival.origin = CommandOrigin{Door::kFollow, 0, 0, "follow " + mqtt.follow};
  arrival.shown = "\"" + step + "\"";
  arrival.command = ReadCommandText(step);
  PostArrival(std::move(arrival));
}

// picture=: the current slide's picture, from the kept pictures when it is
// there (the web remote's too), else exported once between commands.
void AskForPicture() {
  LinkRecord& link = linkThreadLink;
  const int32_t width = Settings.mqtt->pictureWidth;
  if (width == 0 || !link.latest || link.latest->slide <= 0) return;
  if (link.latest->state == ShowState::kNone || link.latest->state == ShowState::kEnded) return;
  const int32_t slide = link.latest->slide;
  const std::string asked = link.latest->fileName + "\n" + std::to_string(slide);
  if (asked == link.pictureAskedFor) return;
  link.pictureAskedFor = asked;
  if (RequestSlideImage(slide, width,
                        [slide](const SlideImageAnswer& answer) { PostPicture(slide, answer); })) {
    WakeServerThread();
  }
}

void RetryLater() {
  LinkRecord& link = linkThreadLink;
  link.connected = false;
  link.connecting = false;
  link.retryAt = MonotonicMilliseconds() + link.retryMilliseconds;
  link.retryMilliseconds = std::min(link.retryMilliseconds * 2, kLastRetryMilliseconds);
}

// The link is down: said once per outage.
void Lost() {
  LinkRecord& link = linkThreadLink;
  if (!link.lostSaid && !link.refusedSaid) AddLogLine("MQTT lost " + link.where);
  link.lostSaid = true;
  RetryLater();
}

// The reason codes of MQTT 5's CONNACK (and 3.1.1's, which some brokers still
// answer with).
const char* RefusalReason(int code) {
  switch (code) {
    case 4:
    case 0x86:
      return "bad user name or password";
    case 5:
    case 0x87:
      return "not authorised";
    case 3:
    case 0x88:
      return "broker unavailable";
    case 2:
    case 0x85:
      return "client identifier not valid";
    case 0x8A:
      return "banned";
    case 1:
    case 0x84:
      return "protocol version not supported";
    default:
      return "refused";
  }
}

void Connected(mosquitto*, void*, int code) {
  LinkRecord& link = linkThreadLink;
  if (code != 0) {
    if (!link.refusedSaid) {
      AddLogLine("MQTT refused by " + link.where + ": " + RefusalReason(code));
    }
    link.refusedSaid = true;
    RetryLater();
    return;
  }
  link.connected = true;
  link.connecting = false;
  link.lostSaid = false;
  link.refusedSaid = false;
  link.retryMilliseconds = kFirstRetryMilliseconds;
  AddLogLine("MQTT connected to " + link.where);
  ClientNote note;
  note.connected = true;
  link.notes.push_back(std::move(note));
}

// A new connection: the subscriptions, "online", the entities for Home
// Assistant, the whole state and the lines that waited for it.
void Greet() {
  LinkRecord& link = linkThreadLink;
  // Retained as published: a command that the broker keeps is seen as one,
  // also when it arrives live. Not the link's own publishes.
  Subscribe(VenueTopic("command"), MQTT_SUB_OPT_RETAIN_AS_PUBLISHED | MQTT_SUB_OPT_NO_LOCAL);
  const MqttSettings& mqtt = *Settings.mqtt;
  if (!mqtt.follow.empty()) {
    for (const char* leaf : {"status", "state"}) {
      Subscribe(mqtt.prefix + "/" + mqtt.follow + "/" + leaf, 0);
    }
  }
  if (mqtt.venue) {
    for (const char* leaf : {"status", "state", "picture"})
      Subscribe(mqtt.prefix + "/+/" + leaf, 0);
  }
  Publish(VenueTopic("status"), "online", true);
  if (mqtt.discovery) {
    for (const VenuePublish& config : DiscoveryPublishes(mqtt, CommandsAllowedAt(Door::kMqtt))) {
      Publish(config.topic, config.payload, config.retained);
    }
  } else {
    // Without discovery=, what an earlier run announced is removed: the
    // broker hands over what it keeps of this room, answered below.
    Subscribe(DiscoveryTopics(), 0);
  }
  link.told = nullptr;  // everything again: the broker may have lost it
  PublishState();
  for (const std::string& line : link.lines)
    Publish(VenueTopic("log"), Utf8FromCodePage(line), false);
  link.lines.clear();
}

void Disconnected(mosquitto*, void*, int code) {
  // 0: asked for by this side (the stop).
  if (code != 0 && (linkThreadLink.connected || linkThreadLink.connecting)) Lost();
}

void Subscribed(mosquitto*, void*, int id, int count, const int* granted,
                const mosquitto_property*) {
  LinkRecord& link = linkThreadLink;
  auto found = link.subscribing.find(id);
  if (found == link.subscribing.end()) return;
  for (int i = 0; i < count; ++i) {
    if (granted[i] >= 0x80) AddLogLine("ERROR: MQTT subscription refused: " + found->second);
  }
  link.subscribing.erase(found);
}

// A message of the followed room or of the venue's rooms.
void ReceivedRoom(const std::string& topic, std::string_view payload) {
  LinkRecord& link = linkThreadLink;
  const MqttSettings& mqtt = *Settings.mqtt;
  const std::string statusOf = RoomOf(topic, "status"), stateOf = RoomOf(topic, "state");
  if (!mqtt.follow.empty() && statusOf == mqtt.follow) {
    const bool online = payload == "online";
    if (!online && (link.follower.main.online || !link.follower.main.known)) {
      AddLogLine("Following \"" + mqtt.follow + "\": it is offline");
    }
    link.follower.main.online = online;
    if (online) link.follower.openedFor.clear();  // back: followed from its state again
    link.follower.catchingUp = true;
    Follow();
  } else if (!mqtt.follow.empty() && stateOf == mqtt.follow) {
    if (ReadFollowedState(payload, &link.follower.main)) {
      link.follower.catchingUp = true;
      Follow();
    }
  }
  if (!mqtt.venue) return;
  if (!statusOf.empty()) {
    SetVenueRoomStatus(statusOf, payload == "online", LocalTimeOfDay());
  } else if (!stateOf.empty()) {
    SetVenueRoomState(stateOf, std::string(payload));
  } else if (const std::string pictureOf = RoomOf(topic, "picture"); !pictureOf.empty()) {
    SetVenueRoomPicture(pictureOf,
                        payload.empty() ? nullptr : std::make_shared<const std::string>(payload));
  }
}

void Received(mosquitto*, void*, const mosquitto_message* message) {
  if (message->topic == nullptr) return;
  ClientNote note;
  note.topic = message->topic;
  note.time = LocalTimeOfDay();
  note.arrivedAt = ArrivalClockNow();
  note.arrivedAtMilliseconds = MonotonicMilliseconds();
  note.payload.assign(static_cast<const char*>(message->payload),
                      static_cast<size_t>(std::max(message->payloadlen, 0)));
  note.retain = message->retain;
  linkThreadLink.notes.push_back(std::move(note));
}

// A message on one of the link's subscriptions.
void CarryOutMessage(const ClientNote& message) {
  LinkRecord& link = linkThreadLink;
  if (message.retain && !message.payload.empty() && !Settings.mqtt->discovery &&
      TopicMatches(DiscoveryTopics(), message.topic.c_str())) {
    return Publish(message.topic, std::string(), true);  // an earlier run's entity
  }
  if (VenueTopic("command") != message.topic) return ReceivedRoom(message.topic, message.payload);
  // An empty retained message removes the one the broker kept: no command.
  if (message.retain && message.payload.empty()) return;
  VenueReading reading =
      ReadVenueCommand(message.payload, message.retain, message.time, message.arrivedAt,
                       message.arrivedAtMilliseconds, link.ids, PostResult);
  if (!reading.line.empty()) AddLogLine(reading.line);
  if (!reading.result.empty()) Publish(VenueTopic("result"), reading.result, false);
  // A retained command would come again at every start of every subscriber:
  // it is removed from the broker (where its ACL lets this room write there).
  if (message.retain) Publish(VenueTopic("command"), std::string(), true);
  if (reading.arrival) PostArrival(std::move(*reading.arrival));
}

// What the callbacks noted, once the client's turn has ended. A connection
// lost meanwhile is greeted at its next acceptance.
void CarryOutNotes() {
  LinkRecord& link = linkThreadLink;
  std::deque<ClientNote> notes;
  notes.swap(link.notes);
  for (const ClientNote& note : notes) {
    if (!note.connected) {
      CarryOutMessage(note);
    } else if (link.connected) {
      Greet();
    }
  }
}

void Attempt() {
  LinkRecord& link = linkThreadLink;
  const MqttSettings& mqtt = *Settings.mqtt;
  const int code = link.attempted ? mosquitto_reconnect_async(link.client)
                                  : mosquitto_connect_async(link.client, mqtt.host.c_str(),
                                                            mqtt.port, mqtt.keepaliveSeconds);
  link.attempted = true;
  if (code == MOSQ_ERR_SUCCESS) {
    link.connecting = true;
  } else {
    Lost();
  }
}

// What the other threads handed over; false once the stop is asked for.
bool TakeMailbox() {
  LinkMailbox taken;
  {
    std::lock_guard<std::mutex> guard(linkLock);
    std::swap(taken, lockedLinkMailbox);
    lockedLinkMailbox.stop = taken.stop;
  }
  LinkRecord& link = linkThreadLink;
  if (taken.status) link.latest = taken.status;
  PublishState();
  if (taken.status) {
    if (link.follower.catchingUp) Follow();
    AskForPicture();
  }
  if (taken.picture && link.connected && link.latest && taken.pictureSlide == link.latest->slide) {
    Publish(VenueTopic("picture"), *taken.picture, true);
  }
  if (link.connected) {
    for (const std::string& line : taken.lines)
      Publish(VenueTopic("log"), Utf8FromCodePage(line), false);
    for (const std::string& result : taken.results) Publish(VenueTopic("result"), result, false);
  }
  return !taken.stop;
}

// One wait on the broker's socket and the wake, then the client's turn.
void Serve(SocketHandle wake) {
  LinkRecord& link = linkThreadLink;
  const uint64_t now = MonotonicMilliseconds();
  // Idle, the client's turn is only its keepalive: a wait of a few seconds
  // (the wake ends it at once when there is work).
  uint32_t wait = link.connected && !link.follower.waiting ? kIdleWaitMilliseconds : 1000;
  if (!link.connected && !link.connecting) {
    wait = static_cast<uint32_t>(
        std::min<uint64_t>(link.retryAt > now ? link.retryAt - now : 0, wait));
  }
  if (mosquitto_want_write(link.client)) wait = std::min<uint32_t>(wait, 10);
  const int client = mosquitto_socket(link.client);
  SocketHandle sockets[2];
  size_t count = 0;
  if (wake != kNoSocket) sockets[count++] = wake;
  if (client >= 0) sockets[count++] = client;
  bool ready[2] = {};
  if (count == 0) {
    SleepMilliseconds(wait);
  } else {
    WaitForSockets(sockets, count, 0, wait, ready);
  }
  if (wake != kNoSocket && ready[0]) TakeWakes(linkThreadWake);
  if (client >= 0) {
    int code = MOSQ_ERR_SUCCESS;
    if (ready[count - 1]) code = mosquitto_loop_read(link.client, 1);
    if (code == MOSQ_ERR_SUCCESS && mosquitto_want_write(link.client)) {
      code = mosquitto_loop_write(link.client, 1);
    }
    if (code == MOSQ_ERR_SUCCESS) code = mosquitto_loop_misc(link.client);
    if (code != MOSQ_ERR_SUCCESS && code != MOSQ_ERR_NO_CONN) Lost();
    CarryOutNotes();
  }
  if (!link.connected && !link.connecting && MonotonicMilliseconds() >= link.retryAt) Attempt();
  if (link.follower.waiting) Follow();  // a step that went unanswered for long
}

// Publishes "offline" and disconnects, waiting a moment for both to go out.
void SayGoodbye() {
  LinkRecord& link = linkThreadLink;
  if (!link.connected) return;
  Publish(VenueTopic("status"), "offline", true);
  mosquitto_disconnect(link.client);
  const uint64_t until = MonotonicMilliseconds() + kGoodbyeMilliseconds;
  while (mosquitto_want_write(link.client) && MonotonicMilliseconds() < until) {
    if (mosquitto_loop_write(link.client, 1) != MOSQ_ERR_SUCCESS) break;
    SleepMilliseconds(5);
  }
}

// Sets the client up; false, after its line, when the settings ask for what
// this program cannot do.
bool MakeClient() {
  const MqttSettings& mqtt = *Settings.mqtt;
  LinkRecord& link = linkThreadLink;
  mosquitto_lib_init();
  const std::string id = mqtt.prefix + "/" + mqtt.room;
  link.client = mosquitto_new(id.c_str(), true, nullptr);
  if (link.client == nullptr) {
    AddLogLine("ERROR: MQTT: no client could be made");
    return false;
  }
  mosquitto_int_option(link.client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  mosquitto_int_option(link.client, MOSQ_OPT_TCP_NODELAY, 1);
  const std::string status = VenueTopic("status");
  mosquitto_will_set(link.client, status.c_str(), 7, "offline", kQos, true);
  if (!mqtt.user.empty()) {
    mosquitto_username_pw_set(link.client, mqtt.user.c_str(),
                              mqtt.password.empty() ? nullptr : mqtt.password.c_str());
  }
  if (mqtt.tls) {
    const int code = mosquitto_tls_set(
        link.client, mqtt.caFile.empty() ? nullptr : mqtt.caFile.c_str(),
        mqtt.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
    if (code == MOSQ_ERR_NOT_SUPPORTED) {
      AddLogLine("ERROR: mqtt tls=on: this program has no TLS, so no link");
      return false;
    }
    if (code != MOSQ_ERR_SUCCESS) {
      AddLogLine("ERROR: mqtt cafile \"" + mqtt.caFile + "\" cannot be used, so no link");
      return false;
    }
  }
  mosquitto_connect_callback_set(link.client, Connected);
  mosquitto_disconnect_callback_set(link.client, Disconnected);
  mosquitto_subscribe_v5_callback_set(link.client, Subscribed);
  mosquitto_message_callback_set(link.client, Received);
  return true;
}

void LinkThread() {
  if (!WaitForStartUpLines()) return;
  const MqttSettings& mqtt = *Settings.mqtt;
  LinkRecord& link = linkThreadLink;
  link.where = mqtt.host + ":" + std::to_string(mqtt.port);
  AddLogLine("MQTT room \"" + mqtt.room + "\" via " + link.where);
  const SocketHandle wake = OpenWake(linkThreadWake);
  if (MakeClient()) {
    Attempt();
    while (TakeMailbox()) Serve(wake);
    SayGoodbye();
  }
  if (link.client != nullptr) mosquitto_destroy(link.client);
  link.client = nullptr;
  CloseWake(linkThreadWake);
  mosquitto_lib_cleanup();
}

}  // namespace

void StartVenueLink() {
  if (!Settings.mqtt || mainThreadLinkHandle.joinable()) return;
  ExpectPostedArrivals();
  StateChannel channel;
  channel.name = "MQTT";
  channel.choice = StatusItemChoice{true, true};
  channel.wholeStatesOnly = true;
  channel.sendsLines = Settings.mqtt->log;
  channel.send = SendStatus;
  channel.sendLine = SendLine;
  AddStateChannel(std::move(channel), MonotonicMilliseconds());
  mainThreadLinkHandle = std::thread(LinkThread);
}

void StopVenueLink() {
  if (!mainThreadLinkHandle.joinable()) return;
  PostToLink([](LinkMailbox& mailbox) { mailbox.stop = true; });
  mainThreadLinkHandle.join();
}
