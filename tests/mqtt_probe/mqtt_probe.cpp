// podiant-mqtt-probe: proves that a program of either target links libmosquitto
// (the podiant_mosquitto target) and talks MQTT with a real broker.
//
//   podiant-mqtt-probe HOST PORT PREFIX [SECONDS]
//
// Connects (MQTT 3.1.1, clean session), publishes "ready" retained with QoS 1
// on PREFIX/state, subscribes with QoS 1 to PREFIX/state and PREFIX/command,
// prints "subscribed" once the broker granted both, then waits (SECONDS, 10
// by default) for the retained message to come back on PREFIX/state and for
// one message on PREFIX/command (another client sends it, for instance
// mosquitto_pub). Prints "received TOPIC PAYLOAD" for each message and exits
// 0 once it has both; 1 on a failure or when the time is up. One thread owns
// the client and calls mosquitto_loop: the Windows library has no threads.
#include <mosquitto.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Probe {
  std::string prefix;
  bool connected = false;
  int connect_result = -1;
  int publish_mid = -1;
  bool published = false;
  int subscribe_mid = -1;
  bool subscribed = false;
  bool got_state = false;
  bool got_command = false;
};

void OnConnect(mosquitto*, void* data, int result) {
  auto* probe = static_cast<Probe*>(data);
  probe->connect_result = result;
  probe->connected = result == 0;
}

void OnPublish(mosquitto*, void* data, int mid) {
  auto* probe = static_cast<Probe*>(data);
  if (mid == probe->publish_mid) probe->published = true;
}

void OnSubscribe(mosquitto*, void* data, int mid, int count, const int* granted) {
  auto* probe = static_cast<Probe*>(data);
  if (mid != probe->subscribe_mid) return;
  for (int i = 0; i < count; ++i) {
    if (granted[i] > 2) {
      std::printf("subscription %d refused (%d)\n", i, granted[i]);
      std::fflush(stdout);
      return;
    }
  }
  probe->subscribed = true;
  std::printf("subscribed\n");
  std::fflush(stdout);
}

void OnMessage(mosquitto*, void* data, const mosquitto_message* message) {
  auto* probe = static_cast<Probe*>(data);
  std::string payload(static_cast<const char*>(message->payload),
                      static_cast<std::size_t>(message->payloadlen));
  std::string topic = message->topic;
  std::printf("received %s %s%s\n", topic.c_str(), payload.c_str(),
              message->retain ? " (retained)" : "");
  std::fflush(stdout);
  if (topic == probe->prefix + "/state" && payload == "ready") probe->got_state = true;
  if (topic == probe->prefix + "/command") probe->got_command = true;
}

// Runs the client's loop until `done` or the deadline; false when the deadline
// passed or the loop failed.
template <typename Done>
bool LoopUntil(mosquitto* client, std::chrono::steady_clock::time_point deadline, const char* what,
               Done done) {
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      std::printf("timed out waiting for %s\n", what);
      return false;
    }
    int result = mosquitto_loop(client, 100, 1);
    if (result != MOSQ_ERR_SUCCESS) {
      std::printf("loop failed waiting for %s: %s\n", what, mosquitto_strerror(result));
      return false;
    }
  }
  return true;
}

// Connect, publish, subscribe, receive; false at the first failure.
bool Run(mosquitto* client, Probe& probe, const std::string& host, int port,
         std::chrono::steady_clock::time_point deadline) {
  int result = mosquitto_connect(client, host.c_str(), port, 30);
  if (result != MOSQ_ERR_SUCCESS) {
    std::printf("connect to %s:%d failed: %s\n", host.c_str(), port, mosquitto_strerror(result));
    return false;
  }
  if (!LoopUntil(client, deadline, "CONNACK", [&] { return probe.connect_result >= 0; })) {
    return false;
  }
  if (!probe.connected) {
    std::printf("connection refused: %s\n", mosquitto_connack_string(probe.connect_result));
    return false;
  }
  std::printf("connected\n");

  const std::string state = probe.prefix + "/state";
  const std::string command = probe.prefix + "/command";
  result = mosquitto_publish(client, &probe.publish_mid, state.c_str(), 5, "ready", 1, true);
  if (result != MOSQ_ERR_SUCCESS) {
    std::printf("publish failed: %s\n", mosquitto_strerror(result));
    return false;
  }
  if (!LoopUntil(client, deadline, "PUBACK", [&] { return probe.published; })) return false;
  std::printf("published retained\n");

  char* topics[] = {const_cast<char*>(state.c_str()), const_cast<char*>(command.c_str())};
  result = mosquitto_subscribe_multiple(client, &probe.subscribe_mid, 2, topics, 1, 0, nullptr);
  if (result != MOSQ_ERR_SUCCESS) {
    std::printf("subscribe failed: %s\n", mosquitto_strerror(result));
    return false;
  }
  if (!LoopUntil(client, deadline, "SUBACK", [&] { return probe.subscribed; })) return false;
  return LoopUntil(client, deadline, "the retained state and a command",
                   [&] { return probe.got_state && probe.got_command; });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: %s HOST PORT PREFIX [SECONDS]\n", argv[0]);
    return 2;
  }
  Probe probe;
  probe.prefix = argv[3];
  const int seconds = argc == 5 ? std::atoi(argv[4]) : 10;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);

  int major = 0, minor = 0, revision = 0;
  mosquitto_lib_version(&major, &minor, &revision);
  std::printf("libmosquitto %d.%d.%d\n", major, minor, revision);
  mosquitto_lib_init();
  mosquitto* client = mosquitto_new(nullptr, true, &probe);
  if (client == nullptr) {
    std::printf("mosquitto_new failed\n");
    return 1;
  }
  mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
  mosquitto_connect_callback_set(client, OnConnect);
  mosquitto_publish_callback_set(client, OnPublish);
  mosquitto_subscribe_callback_set(client, OnSubscribe);
  mosquitto_message_callback_set(client, OnMessage);

  const bool ok = Run(client, probe, argv[1], std::atoi(argv[2]), deadline);
  if (probe.connected) {
    mosquitto_disconnect(client);
    mosquitto_loop(client, 100, 1);
  }
  mosquitto_destroy(client);
  mosquitto_lib_cleanup();
  std::printf("%s\n", ok ? "done" : "failed");
  std::fflush(stdout);
  return ok ? 0 : 1;
}
