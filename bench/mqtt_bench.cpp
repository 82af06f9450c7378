// The venue link of the real podiant-server against Debian's Mosquitto on
// loopback: a command published to the room's command topic to its line in
// the server's output (carried out), beside the same command as a datagram,
// with the broker's defaults and with its set_tcp_nodelay; the idle cost of a
// connected link; and many servers on one broker, each changing slide once a
// second (with a stand-in for the office, so that no LibreOffice runs): every
// state arrives, each server's memory, the broker's CPU.
//
//   mqtt-bench [--quick]
#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_stats.h"
#include "tests/support/e2e_support.h"
#include "tests/support/mqtt_broker.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  bool quick = false;
  std::string server = PODIANT_SERVER_PATH;
  std::string module = PODIANT_STAND_IN_OFFICE;
  std::string moduleDir = PODIANT_OFFICE_MODULE_FROM_PROGRAM;
  int samples = 300;
  int rooms = 50;
  int seconds = 60;
  int idleSeconds = 10;
} options;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "mqtt-bench: %s\n", why.c_str());
  std::exit(1);
}

// The bench's own client: connects, and counts the messages of one
// subscription per topic.
struct Client {
  mosquitto* client = nullptr;
  std::mutex lock;
  std::map<std::string, int> received;
  std::atomic<bool> connected{false};
};

void OnConnect(mosquitto*, void* self, int code) {
  static_cast<Client*>(self)->connected = code == 0;
}

void OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  Client& client = *static_cast<Client*>(self);
  std::lock_guard<std::mutex> guard(client.lock);
  ++client.received[message->topic];
}

void Connect(Client& client, int port) {
  client.client = mosquitto_new(nullptr, true, &client);
  mosquitto_connect_callback_set(client.client, OnConnect);
  mosquitto_message_callback_set(client.client, OnMessage);
  mosquitto_int_option(client.client, MOSQ_OPT_TCP_NODELAY, 1);
  if (mosquitto_connect(client.client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) {
    Fail("the bench's client did not connect");
  }
  mosquitto_loop_start(client.client);
  for (int i = 0; i < 500 && !client.connected; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!client.connected) Fail("the bench's client was not let in");
}

void Disconnect(Client& client) {
  mosquitto_disconnect(client.client);
  mosquitto_loop_stop(client.client, false);
  mosquitto_destroy(client.client);
}

// A server in its own folder: `program` with [mqtt] to the broker as `room`;
// it waits for `until` in its output.
e2e::Process StartServer(const std::string& program, const std::string& folder, int brokerPort,
                         const std::string& room, int* port,
                         const std::string& until = "MQTT connected to",
                         const std::string& more = "") {
  std::filesystem::create_directories(folder);
  *port = e2e::FreeUdpPort();
  e2e::WriteTextFile(folder + "/podiant.ini",
                     "[settings]\nport=" + std::to_string(*port) + "\n[impress]\npipe=bench-" +
                         room + "\n[mqtt]\nbroker=127.0.0.1:" + std::to_string(brokerPort) +
                         "\nroom=" + room + "\n" + more);
  e2e::Process server = e2e::StartProcess({program}, folder, {"DISPLAY"});
  if (!e2e::WaitForOutput(server, until, 20000)) Fail("a server did not start: " + server.output);
  return server;
}

// A datagram to its line in the output, one at a time, 10 ms apart.
std::vector<double> MeasureDatagrams(e2e::Process& server, int port) {
  std::vector<double> samples;
  for (int i = 0; i < options.samples + 20; ++i) {
    const std::string datagram = "UDP" + std::to_string(i);
    const size_t mark = server.output.size();
    const Clock::time_point start = Clock::now();
    e2e::SendDatagram(datagram, port);
    if (!e2e::WaitForOutput(server, "received \"" + datagram + "\"\n", 10000, mark)) {
      Fail("a datagram was not carried out");
    }
    if (i >= 20) samples.push_back(MillisecondsBetween(start, Clock::now()));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return samples;
}

// Datagrams while the link's broker is not there (a port where nobody
// listens: every attempt refused) or accepts the connection and never answers.
std::vector<double> MeasureDatagramsWithoutBroker(const std::string& directory, bool listening) {
  int brokerPort = 0;
  int holder = -1;
  if (listening) {
    holder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(holder, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(holder, 1) != 0 ||
        getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      Fail("no listening socket");
    }
    brokerPort = ntohs(address.sin_port);
  } else {
    brokerPort = FreeUdpPort();  // nobody listens there
  }
  int port = 0;
  e2e::Process server = StartServer(options.server, directory, brokerPort, "away", &port,
                                    listening ? "MQTT room" : "MQTT lost");
  std::vector<double> samples = MeasureDatagrams(server, port);
  e2e::StopProcess(server);
  if (holder >= 0) close(holder);
  return samples;
}

std::string Milliseconds(double value) { return Format("%.2f", value); }

std::string P50P90(const std::vector<double>& samples) {
  return Milliseconds(Percentile(samples, 0.5)) + " / " + Milliseconds(Percentile(samples, 0.9)) +
         " ms";
}

std::string P50P99(const std::vector<double>& samples) {
  return Milliseconds(Percentile(samples, 0.5)) + " / " + Milliseconds(Percentile(samples, 0.99)) +
         " ms";
}

// A command to its line in the server's output, by MQTT and by UDP, one at a
// time, 10 ms apart. Returns the MQTT samples and fills `udp`.
std::vector<double> MeasureCommands(const std::string& directory, const std::string& brokerSettings,
                                    std::vector<double>* udp) {
  e2e::Broker broker;
  std::filesystem::create_directories(directory + "/broker");
  if (!e2e::StartBroker(&broker, directory + "/broker", brokerSettings)) Fail("no broker");
  int port = 0;
  e2e::Process server =
      StartServer(options.server, directory + "/server", broker.port, "bench", &port);
  Client client;
  Connect(client, broker.port);
  std::vector<double> mqtt;
  const std::string topic = "podiant/bench/command";
  // The server subscribes after its "connected" line: until its subscription
  // stands, a command finds nobody.
  for (int i = 0;; ++i) {
    const std::string word = "READY" + std::to_string(i);
    mosquitto_publish(client.client, nullptr, topic.c_str(), static_cast<int>(word.size()),
                      word.data(), 1, false);
    if (e2e::WaitForOutput(server, "\"" + word + "\"\n", 500)) break;
    if (i == 40) Fail("the server did not take commands");
  }
  for (int i = 0; i < options.samples + 20; ++i) {
    const std::string word = "WORD" + std::to_string(i);
    const std::string line = "ERR: Unknown command received \"" + word + "\"\n";
    const size_t mark = server.output.size();
    const Clock::time_point start = Clock::now();
    mosquitto_publish(client.client, nullptr, topic.c_str(), static_cast<int>(word.size()),
                      word.data(), 1, false);
    if (!e2e::WaitForOutput(server, line, 10000, mark)) Fail("an MQTT command was not carried out");
    if (i >= 20) mqtt.push_back(MillisecondsBetween(start, Clock::now()));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (udp != nullptr) *udp = MeasureDatagrams(server, port);
  Disconnect(client);
  e2e::StopProcess(server);
  e2e::StopBroker(&broker);
  return mqtt;
}

// A connected link with nothing to do: its run time and wake-ups.
std::string MeasureIdle(const std::string& directory) {
  e2e::Broker broker;
  std::filesystem::create_directories(directory + "/broker");
  if (!e2e::StartBroker(&broker, directory + "/broker")) Fail("no broker");
  int port = 0;
  e2e::Process server =
      StartServer(options.server, directory + "/server", broker.port, "idle", &port);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const SchedTotals before = ProcessSchedTotals(server.pid);
  std::this_thread::sleep_for(std::chrono::seconds(options.idleSeconds));
  const SchedTotals after = ProcessSchedTotals(server.pid);
  e2e::StopProcess(server);
  e2e::StopBroker(&broker);
  return Format("%.0f", (after.runNs - before.runNs) / 1000.0) + " µs, " +
         Format("%.0f", static_cast<double>(after.timesScheduled - before.timesScheduled)) +
         " wake-ups in " + std::to_string(options.idleSeconds) + " s";
}

long RssKilobytes(pid_t pid) {
  const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
  const size_t at = status.find("VmRSS:");
  return at == std::string::npos ? 0 : std::atol(status.c_str() + at + 6);
}

struct Rooms {
  int expected = 0;
  int fewest = 0;  // states of the room that got the fewest
  long rssGrowthKb = 0;
  double serverCpuMs = 0;
  double brokerCpuMs = 0;
};

// A copy of the program beside the stand-in module, as an installation has
// them; its path.
std::string StandInProgram(const std::string& directory) {
  const std::string program = directory + "/bin/podiant-server";
  std::filesystem::create_directories(directory + "/bin/" + options.moduleDir);
  std::filesystem::copy_file(options.server, program);
  std::filesystem::copy_file(options.module,
                             directory + "/bin/" + options.moduleDir + "/podiant-impress.so");
  return program;
}

// Many servers (with the stand-in office), each GOTO a new slide once a second.
Rooms MeasureRooms(const std::string& directory) {
  const std::string program = StandInProgram(directory);
  e2e::Broker broker;
  std::filesystem::create_directories(directory + "/broker");
  if (!e2e::StartBroker(&broker, directory + "/broker", "set_tcp_nodelay true\n"))
    Fail("no broker");
  Client client;
  Connect(client, broker.port);
  mosquitto_subscribe(client.client, nullptr, "podiant/+/state", 1);
  std::vector<e2e::Process> servers;
  std::vector<int> ports;
  for (int i = 0; i < options.rooms; ++i) {
    int port = 0;
    char room[16];
    std::snprintf(room, sizeof room, "room-%02d", i + 1);
    servers.push_back(StartServer(program, directory + "/" + room, broker.port, room, &port));
    ports.push_back(port);
    e2e::SendDatagram("OPEN deck.odp", port);
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  {
    std::lock_guard<std::mutex> guard(client.lock);
    client.received.clear();
  }
  std::vector<long> rssBefore;
  for (const e2e::Process& server : servers) rssBefore.push_back(RssKilobytes(server.pid));
  double serversBefore = 0;
  for (const e2e::Process& server : servers) serversBefore += ProcessCpuSeconds(server.pid);
  const double brokerBefore = ProcessCpuSeconds(broker.process.pid);
  const Clock::time_point start = Clock::now();
  for (int second = 0; second < options.seconds; ++second) {
    for (int port : ports) e2e::SendDatagram("GOTO " + std::to_string(2 + second % 18), port);
    std::this_thread::sleep_until(start + std::chrono::seconds(second + 1));
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  Rooms rooms;
  rooms.expected = options.seconds;
  double serversAfter = 0;
  for (size_t i = 0; i < servers.size(); ++i) {
    serversAfter += ProcessCpuSeconds(servers[i].pid);
    rooms.rssGrowthKb = std::max(rooms.rssGrowthKb, RssKilobytes(servers[i].pid) - rssBefore[i]);
  }
  rooms.serverCpuMs = (serversAfter - serversBefore) * 1000 / servers.size();
  rooms.brokerCpuMs = (ProcessCpuSeconds(broker.process.pid) - brokerBefore) * 1000;
  {
    std::lock_guard<std::mutex> guard(client.lock);
    rooms.fewest = options.seconds * 100;
    for (int i = 0; i < options.rooms; ++i) {
      char topic[32];
      std::snprintf(topic, sizeof topic, "podiant/room-%02d/state", i + 1);
      rooms.fewest = std::min(rooms.fewest, client.received[topic]);
    }
  }
  Disconnect(client);
  for (e2e::Process& server : servers) e2e::StopProcess(server);
  e2e::StopBroker(&broker);
  return rooms;
}

// A backup following its main (both with the stand-in office, so that the
// office's own time is not in it): a GOTO at the main to the step's line at
// the backup, one change at a time.
std::vector<double> MeasureFollow(const std::string& directory, const std::string& brokerSettings) {
  const std::string program = StandInProgram(directory);
  e2e::Broker broker;
  std::filesystem::create_directories(directory + "/broker");
  if (!e2e::StartBroker(&broker, directory + "/broker", brokerSettings)) Fail("no broker");
  int mainPort = 0, backupPort = 0;
  e2e::Process main = StartServer(program, directory + "/main", broker.port, "main", &mainPort);
  e2e::SendDatagram("OPEN deck.odp", mainPort);
  std::filesystem::create_directories(directory + "/backup");
  e2e::WriteTextFile(directory + "/backup/deck.odp", "");
  e2e::Process backup = StartServer(program, directory + "/backup", broker.port, "backup",
                                    &backupPort, "\"OPEN deck.odp\"\n", "follow=main\n");
  std::vector<double> samples;
  const int changes = options.quick ? 10 : 40;
  for (int i = 0; i < changes + 5; ++i) {
    const std::string word = "GOTO " + std::to_string(2 + i % 18);
    const size_t mark = backup.output.size();
    const Clock::time_point start = Clock::now();
    e2e::SendDatagram(word, mainPort);
    if (!e2e::WaitForOutput(backup, " -> \"" + word + "\"\n", 10000, mark)) {
      Fail("the backup did not follow: " + backup.output);
    }
    if (i >= 5) samples.push_back(MillisecondsBetween(start, Clock::now()));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  e2e::StopProcess(backup);
  e2e::StopProcess(main);
  e2e::StopBroker(&broker);
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--quick") {
      options.quick = true;
      options.samples = 40;
      options.rooms = 5;
      options.seconds = 5;
      options.idleSeconds = 3;
    } else {
      Fail("usage: mqtt-bench [--quick]");
    }
  }
  signal(SIGPIPE, SIG_IGN);
  mosquitto_lib_init();
  const std::string directory = e2e::MakeTemporaryDirectory();
  std::fprintf(stderr, "mqtt: commands, the broker's defaults...\n");
  std::vector<double> udp;
  const std::vector<double> defaults = MeasureCommands(directory + "/defaults", "", &udp);
  std::fprintf(stderr, "mqtt: commands, set_tcp_nodelay...\n");
  const std::vector<double> nodelay =
      MeasureCommands(directory + "/nodelay", "set_tcp_nodelay true\n", nullptr);
  std::fprintf(stderr, "mqtt: datagrams while the broker is away...\n");
  const std::vector<double> refused = MeasureDatagramsWithoutBroker(directory + "/refused", false);
  const std::vector<double> silent = MeasureDatagramsWithoutBroker(directory + "/silent", true);
  std::fprintf(stderr, "mqtt: idle...\n");
  const std::string idle = MeasureIdle(directory + "/idle");
  std::fprintf(stderr, "mqtt: %d rooms for %d s...\n", options.rooms, options.seconds);
  const Rooms rooms = MeasureRooms(directory + "/rooms");
  std::fprintf(stderr, "mqtt: a backup following its main...\n");
  const std::vector<double> follow = MeasureFollow(directory + "/follow", "");
  const std::vector<double> followNodelay =
      MeasureFollow(directory + "/follow-nodelay", "set_tcp_nodelay true\n");
  e2e::RemoveTree(directory);
  mosquitto_lib_cleanup();

  const int n = options.samples;
  std::printf("| Measure | Figure |\n|---|---|\n");
  std::printf(
      "| a command to its line in the output (carried out), by UDP, p50 / p99 of %d | %s |\n", n,
      P50P99(udp).c_str());
  std::printf("| the same by MQTT through Mosquitto's defaults, p50 / p99 of %d | %s |\n", n,
              P50P99(defaults).c_str());
  std::printf("| the same by MQTT, the broker with set_tcp_nodelay true, p50 / p99 of %d | %s |\n",
              n, P50P99(nodelay).c_str());
  std::printf(
      "| a datagram to its line, the broker's port refusing every attempt, p50 / p99 of %d "
      "| %s |\n",
      n, P50P99(refused).c_str());
  std::printf(
      "| a datagram to its line, the broker's port taking the connection and never "
      "answering, p50 / p99 of %d | %s |\n",
      n, P50P99(silent).c_str());
  std::printf("| idle, the link connected (keepalive 30 s): run time, wake-ups | %s |\n",
              idle.c_str());
  std::printf(
      "| %d rooms on one broker, a slide a second for %d s: states of the room that got "
      "the fewest / changes | %d / %d |\n",
      options.rooms, options.seconds, rooms.fewest, rooms.expected);
  std::printf(
      "| the same: VmRSS growth of the server that grew most; CPU per server; the broker's "
      "CPU | %ld kB; %.0f ms; %.0f ms |\n",
      rooms.rssGrowthKb, rooms.serverCpuMs, rooms.brokerCpuMs);
  std::printf(
      "| a GOTO at a main to its step at the backup that follows it (stand-in office), p50 / "
      "p90 of %zu: the broker's defaults; set_tcp_nodelay true | %s; %s |\n",
      follow.size(), P50P90(follow).c_str(), P50P90(followNodelay).c_str());
  return 0;
}
