// The venue link of the real podiant-server on Linux, against Debian's
// Mosquitto started by the test on a free loopback port, with mosquitto_pub
// and mosquitto_sub as the other side.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/e2e_support.h"
#include "tests/support/mqtt_broker.h"

namespace {

using nlohmann::json;

constexpr int kStartMs = 20000;
constexpr int kLineMs = 10000;

class VenueLink : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = e2e::MakeTemporaryDirectory();
    brokerDirectory = directory + "/broker";
    std::filesystem::create_directories(brokerDirectory);
  }
  void TearDown() override {
    for (e2e::Process* process : {&server, &other, &results}) e2e::StopProcess(*process);
    e2e::StopBroker(&broker);
    e2e::RemoveTree(directory);
  }

  // A server in its own folder under the test's, with [mqtt] `lines`; it
  // waits for `until` in its output. Its command port in `port`.
  e2e::Process StartServer(const std::string& name, const std::string& lines,
                           const std::string& until, int* commandPort = nullptr) {
    const std::string folder = directory + "/" + name;
    std::filesystem::create_directories(folder);
    const int port = e2e::FreeUdpPort();
    if (commandPort != nullptr) *commandPort = port;
    e2e::WriteTextFile(folder + "/podiant.ini", "[settings]\nport=" + std::to_string(port) +
                                                    "\n[mqtt]\nbroker=127.0.0.1:" +
                                                    std::to_string(broker.port) + "\n" + lines);
    e2e::Process started =
        e2e::StartProcess({e2e::BinaryDir() + "/shell/podiant-server"}, folder, {"DISPLAY"});
    EXPECT_TRUE(e2e::WaitForOutput(started, until, kStartMs)) << started.output;
    return started;
  }

  // The next result on the result topic whose command is `command`.
  json NextResult(const std::string& command, size_t* mark) {
    const std::string head = "podiant/hall-1/result {\"id\":";
    for (;;) {
      if (!e2e::WaitForOutput(results, head, kLineMs, *mark)) return json();
      const size_t at = results.output.find(head, *mark);
      if (!e2e::WaitForOutput(results, "\n", kLineMs, at)) return json();
      const size_t end = results.output.find('\n', at);
      *mark = end + 1;
      json result = json::parse(
          results.output.substr(at + head.size() - 7, end - at - head.size() + 7), nullptr, false);
      if (result.is_object() && result.value("command", "") == command) return result;
    }
  }

  std::string directory, brokerDirectory;
  e2e::Broker broker;
  e2e::Process server, other, results;
};

// Commands in and results out, a retained and a repeated command not carried
// out, the state retained for whoever subscribes later; the broker stopped
// mid-show: the server goes on over UDP at once, says it lost the link once,
// and when the broker is back connects again and publishes everything again
// (a broker without persistence has forgotten it).
TEST_F(VenueLink, CommandsAndResultsAcrossAnOutageOfTheBroker) {
  ASSERT_TRUE(e2e::StartBroker(&broker, brokerDirectory)) << broker.process.output;
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-1/command", "NEXT", true));  // left from before
  int udpPort = 0;
  server =
      StartServer("hall", "room=hall-1\nlog=on\ncommands=NEXT GOTO STATE\n",
                  "MQTT connected to 127.0.0.1:" + std::to_string(broker.port) + "\n", &udpPort);
  ASSERT_TRUE(e2e::WaitForOutput(
      server, "ERROR: MQTT command retained on the broker, not carried out: \"NEXT\"\n", kLineMs));
  std::string payload;
  EXPECT_FALSE(e2e::Retained(broker, "podiant/hall-1/command", &payload, 1000)) << payload;
  ASSERT_TRUE(e2e::Retained(broker, "podiant/hall-1/status", &payload));
  EXPECT_EQ(payload, "online");
  ASSERT_TRUE(e2e::Retained(broker, "podiant/hall-1/state", &payload));
  EXPECT_EQ(json::parse(payload).value("state", ""), "NONE");
  EXPECT_EQ(json::parse(payload).value("room", ""), "hall-1");

  results = e2e::Subscribe(broker, "podiant/hall-1/result");
  ASSERT_TRUE(e2e::WaitForOutput(results, "", 100));
  size_t mark = 0;
  // Until the subscription stands, the first command may find nobody listening.
  json result;
  for (int i = 0; i < 20 && result.is_null(); ++i) {
    ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-1/command",
                             R"({"command":"STATE","id":)" + std::to_string(i) + "}"));
    size_t probe = mark;
    if (e2e::WaitForOutput(results, "\"command\":\"STATE\"", 500, mark)) {
      result = NextResult("STATE", &probe);
      mark = probe;
    }
  }
  ASSERT_TRUE(result.is_object()) << results.output;
  EXPECT_EQ(result["outcome"], "done");

  size_t lines = server.output.size();
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-1/command",
                           R"({"command":"NEXT","id":"n1","name":"Desk"})"));
  EXPECT_EQ(NextResult("NEXT", &mark),
            json::parse(R"({"id":"n1","command":"NEXT","status":202,"outcome":"done"})"));
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-1/command",
                           R"({"command":"NEXT","id":"n1","name":"Desk"})"));
  EXPECT_EQ(NextResult("NEXT", &mark)["status"], 409);
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-1/command", "RUN calc"));
  EXPECT_EQ(NextResult("RUN calc", &mark)["outcome"], "refused");
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-1/command", "GOTO 2", true));
  EXPECT_EQ(NextResult("GOTO 2", &mark)["error"], "a retained command is never carried out");
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-1/command", "{\"command\":"));
  EXPECT_EQ(NextResult("{\"command\":", &mark)["error"], "the message is no JSON object");
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR: bad MQTT command: the message is no JSON object\n",
                                 kLineMs, lines));
  const std::string after = server.output.substr(lines);
  EXPECT_EQ(e2e::CountOccurrences(after, "M Desk "), 1) << after;
  EXPECT_NE(after.find("M mqtt "), std::string::npos) << after;
  EXPECT_NE(after.find("ERR: Command not allowed \"RUN\"\n"), std::string::npos) << after;
  EXPECT_EQ(after.find("GOTO 2\"\nERR"), std::string::npos) << after;

  // The broker goes away: UDP goes on at once, the loss is told once.
  e2e::StopBroker(&broker);
  e2e::StopProcess(results);
  ASSERT_TRUE(e2e::WaitForOutput(server, "MQTT lost 127.0.0.1:", kLineMs, lines));
  lines = server.output.size();
  e2e::SendDatagram("NEXT", udpPort);
  ASSERT_TRUE(e2e::WaitForOutput(server, "-> \"NEXT\"\n", kLineMs, lines));
  e2e::WaitForOutput(server, "\x01", 3000, lines);  // a few retries go by
  EXPECT_EQ(server.output.find("MQTT lost", lines), std::string::npos) << server.output;
  // It comes back on the same port, empty.
  ASSERT_TRUE(e2e::StartBroker(&broker, brokerDirectory, "", broker.port)) << broker.process.output;
  ASSERT_TRUE(e2e::WaitForOutput(server, "MQTT connected to", kLineMs, lines)) << server.output;
  ASSERT_TRUE(e2e::Retained(broker, "podiant/hall-1/value/state", &payload));
  EXPECT_EQ(payload, "NONE");
  ASSERT_TRUE(e2e::Retained(broker, "podiant/hall-1/status", &payload));
  EXPECT_EQ(payload, "online");

  // A clean stop says offline.
  e2e::SendSignal(server, SIGTERM);
  ASSERT_TRUE(e2e::WaitForExit(server, kStartMs));
  ASSERT_TRUE(e2e::Retained(broker, "podiant/hall-1/status", &payload));
  EXPECT_EQ(payload, "offline");
}

// discovery=homeassistant announces the room's entities, retained, tied to
// its status; a later start without it removes what the earlier announced.
TEST_F(VenueLink, HomeAssistantFindsTheRoomUntilDiscoveryIsTurnedOff) {
  ASSERT_TRUE(e2e::StartBroker(&broker, brokerDirectory)) << broker.process.output;
  const std::string connected = "MQTT connected to 127.0.0.1:" + std::to_string(broker.port);
  server =
      StartServer("hall", "room=hall-1\ndiscovery=homeassistant\ncommands=NEXT PREV\n", connected);
  const std::string slide = "homeassistant/sensor/podiant_hall-1/slide/config";
  std::string payload;
  // Announced after the "connected" line, once the connection is greeted.
  bool kept = false;
  for (int i = 0; i < 60 && !kept; ++i) kept = e2e::Retained(broker, slide, &payload, 500);
  ASSERT_TRUE(kept) << server.output;
  const json config = json::parse(payload);
  EXPECT_EQ(config["state_topic"], "podiant/hall-1/state");
  EXPECT_EQ(config["availability"][0]["topic"], "podiant/hall-1/status");
  ASSERT_TRUE(e2e::Retained(broker, "homeassistant/button/podiant_hall-1/next/config", &payload));
  EXPECT_EQ(json::parse(payload)["command_topic"], "podiant/hall-1/command");
  EXPECT_FALSE(
      e2e::Retained(broker, "homeassistant/button/podiant_hall-1/black/config", &payload, 1000));
  e2e::StopProcess(server);

  server = StartServer("hall", "room=hall-1\n", connected);
  // Gone once the removals went out.
  kept = true;
  for (int i = 0; i < 60 && kept; ++i) kept = e2e::Retained(broker, slide, &payload, 500);
  EXPECT_FALSE(kept) << payload;
  EXPECT_FALSE(
      e2e::Retained(broker, "homeassistant/button/podiant_hall-1/next/config", &payload, 1000));
}

// A broker with passwords and an ACL that lets each room's user write only
// under its own room: room A's credentials cannot get a command carried out
// in room B, and wrong credentials are refused, said once.
TEST_F(VenueLink, TheBrokersAccessRulesHold) {
  e2e::WriteTextFile(brokerDirectory + "/acl",
                     "pattern readwrite podiant/%u/#\n"
                     "topic read podiant/+/status\n"
                     "topic read podiant/+/state\n");
  e2e::Broker scratch;
  scratch.directory = brokerDirectory;
  const std::string passwords =
      e2e::MakePasswordFile(scratch, {"hall-1:secret-1", "hall-2:secret-2"});
  ASSERT_TRUE(
      e2e::StartBroker(&broker, brokerDirectory,
                       "password_file " + passwords + "\nacl_file " + brokerDirectory + "/acl\n"))
      << broker.process.output;
  e2e::WriteTextFile(directory + "/hall-2.password", "secret-2\n");
  server = StartServer("b", "room=hall-2\nuser=hall-2\npasswordfile=../hall-2.password\n",
                       "MQTT connected to ");
  // Room A's user writes to room B's command topic: the broker drops it.
  const size_t mark = server.output.size();
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-2/command", "NEXT", false,
                           e2e::Credentials("hall-1", "secret-1")));
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-2/command", "STATE", false,
                           e2e::Credentials("hall-2", "secret-2")));
  ASSERT_TRUE(e2e::WaitForOutput(server, "M mqtt ", kLineMs, mark)) << server.output;
  e2e::WaitForOutput(server, "\x01", 500, mark);
  EXPECT_EQ(e2e::CountOccurrences(server.output.substr(mark), "M mqtt "), 1) << server.output;
  EXPECT_NE(server.output.find("-> \"STATE\"", mark), std::string::npos) << server.output;

  e2e::WriteTextFile(directory + "/wrong.password", "guess\n");
  other = StartServer(
      "c", "room=hall-1\nuser=hall-1\npasswordfile=../wrong.password\n",
      "MQTT refused by 127.0.0.1:" + std::to_string(broker.port) + ": not authorised\n");
  e2e::WaitForOutput(other, "\x01", 3000);  // retries go by, backing off
  EXPECT_EQ(e2e::CountOccurrences(other.output, "MQTT refused by"), 1) << other.output;
  EXPECT_EQ(e2e::CountOccurrences(other.output, "MQTT lost"), 0) << other.output;
}

// Bad values of [mqtt] are each an ERROR line, and there is no link.
TEST_F(VenueLink, BadSettingsGiveTheirLinesAndNoLink) {
  ASSERT_TRUE(e2e::StartBroker(&broker, brokerDirectory)) << broker.process.output;
  server = StartServer("bad",
                       "room=hall/1\nprefix=venue/+\nkeepalive=1\npasswordfile=none.txt\n"
                       "commands=NEXT JUMP\n",
                       "Listening at ");
  e2e::WaitForOutput(server, "\x01", 1500);
  for (const char* line :
       {"ERROR: mqtt room \"hall/1\" is not 1-64 letters, digits, '-', '_' or '.'\n",
        "ERROR: mqtt prefix \"venue/+\" is no topic of names joined by '/'\n",
        "ERROR: mqtt keepalive \"1\" is not 5-3600 seconds\n",
        "ERROR: mqtt passwordfile \"none.txt\" cannot be read\n",
        "ERROR: mqtt commands entry \"JUMP\" is no command\n"}) {
    EXPECT_NE(server.output.find(line), std::string::npos) << line << server.output;
  }
  EXPECT_EQ(server.output.find("MQTT room"), std::string::npos) << server.output;
}

// TLS on Linux: a broker whose certificate a CA of the test's own signed;
// with that CA as cafile= the link connects, with another it does not.
TEST_F(VenueLink, TlsChecksTheBrokerAgainstTheCaFile) {
  auto openssl = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "openssl");
    int exitCode = -1;
    const std::string output = e2e::RunProgram(arguments, brokerDirectory, &exitCode);
    ASSERT_EQ(exitCode, 0) << output;
  };
  for (const char* ca : {"ca", "other"}) {
    openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
             std::string("/CN=") + ca, "-keyout", std::string(ca) + ".key", "-out",
             std::string(ca) + ".crt"});
  }
  openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
           "broker.key", "-out", "broker.csr"});
  e2e::WriteTextFile(brokerDirectory + "/names.ext", "subjectAltName=IP:127.0.0.1\n");
  openssl({"x509", "-req", "-in", "broker.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
           "-CAcreateserial", "-days", "2", "-extfile", "names.ext", "-out", "broker.crt"});
  ASSERT_TRUE(e2e::StartBroker(
      &broker, brokerDirectory,
      "certfile " + brokerDirectory + "/broker.crt\nkeyfile " + brokerDirectory + "/broker.key\n"))
      << broker.process.output;
  server = StartServer("tls", "room=hall-1\ntls=on\ncafile=../broker/ca.crt\n",
                       "MQTT connected to 127.0.0.1:");
  other = StartServer("wrong", "room=hall-2\ntls=on\ncafile=../broker/other.crt\n", "MQTT lost");
  EXPECT_EQ(other.output.find("MQTT connected"), std::string::npos) << other.output;
}

}  // namespace
