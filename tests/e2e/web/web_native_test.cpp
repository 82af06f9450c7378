// The web remote of the real podiant-server on Linux, with plain HTTP clients
// and a WebSocket client on loopback. The program runs as a copy without the
// office module beside it, so that an OPEN fails at once.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/e2e_support.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/web_client.h"

namespace {

using nlohmann::json;

constexpr int kStartMs = 20000;
constexpr int kLineMs = 10000;
constexpr const char* kCode = "123456";

// The most memory process `pid` has held (VmHWM), in KiB; -1 when unknown.
long PeakMemoryKb(pid_t pid) {
  const std::string status = e2e::ReadTextFile("/proc/" + std::to_string(pid) + "/status");
  const size_t at = status.find("VmHWM:");
  return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

class WebRemote : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = e2e::MakeTemporaryDirectory();
    port = e2e::FreeUdpPort();
    webPort = e2e::FreeTcpPort();
    program = directory + "/bin/podiant-server";
    int copied = -1;
    e2e::RunProgram({"install", "-D", e2e::BinaryDir() + "/shell/podiant-server", program},
                    directory, &copied);
    ASSERT_EQ(copied, 0);
  }
  void TearDown() override {
    e2e::StopProcess(server);
    e2e::StopBroker(&broker);
    e2e::RemoveTree(directory);
  }

  void Start(const std::string& webLines) {
    e2e::WriteTextFile(directory + "/podiant.ini", "[settings]\nport=" + std::to_string(port) +
                                                       "\n[web]\nport=" + std::to_string(webPort) +
                                                       "\n" + webLines);
    server = e2e::StartProcess({program}, directory, {"DISPLAY"});
    ASSERT_TRUE(e2e::WaitForOutput(server, "Web remote at ", kStartMs)) << server.output;
    ASSERT_TRUE(e2e::WaitForOutput(server, "\n", kLineMs, server.output.find("Web remote at ")));
  }

  e2e::HttpAnswer Get(const std::string& target, const std::vector<std::string>& headers = {}) {
    return e2e::HttpExchange(webPort, e2e::HttpRequest("GET", target, webPort, "", headers));
  }
  e2e::HttpAnswer Post(const std::string& target, const std::string& body,
                       const std::vector<std::string>& headers = {}, const std::string& from = "") {
    return e2e::HttpExchange(webPort, e2e::HttpRequest("POST", target, webPort, body, headers),
                             10000, from);
  }

  // Pairs as `name`; the token.
  std::string Pair(const std::string& name) {
    e2e::HttpAnswer answer = Post("/api/pair", json{{"code", kCode}, {"name", name}}.dump());
    EXPECT_EQ(answer.status, 200) << answer.head << answer.body;
    return json::parse(answer.body, nullptr, false).value("token", "");
  }

  // Waits for a line that matches `pattern` after `mark`.
  bool WaitForLine(const std::string& pattern, size_t mark) {
    const std::regex line(pattern);
    for (int waited = 0; waited < kLineMs; waited += 50) {
      std::smatch match;
      const std::string after = server.output.substr(mark);
      if (std::regex_search(after, match, line)) return true;
      e2e::WaitForOutput(server, "\n", 50, server.output.size());
    }
    return false;
  }

  std::string directory;
  std::string program;
  int port = 0;
  int webPort = 0;
  e2e::Process server;
  e2e::Broker broker;  // for the Venue view
};

TEST_F(WebRemote, PairedClientsSendCommandsThroughTheApiAndTheLiveChannel) {
  Start("code=123456\n");
  EXPECT_TRUE(std::regex_search(
      server.output,
      std::regex(R"(Listening at (\d+\.\d+\.\d+\.\d+):\d+\.\.\.\nWeb remote at http://\1:)" +
                 std::to_string(webPort) + "/ code 123456\n")))
      << server.output;

  // The page's files without a token; the API not.
  e2e::HttpAnswer page = Get("/");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(e2e::HeaderValue(page, "Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(e2e::HeaderValue(page, "Content-Security-Policy").rfind("default-src 'self'", 0), 0u);
  EXPECT_EQ(Get("/", {"If-None-Match: " + e2e::HeaderValue(page, "ETag")}).status, 304);
  EXPECT_NE(Get("/qrcode.js").body.find("qrcode"), std::string::npos);
  EXPECT_EQ(Get("/api/state").status, 401);
  EXPECT_EQ(Post("/api/pair", R"({"code":"654321","name":"x"})").status, 403);

  // A name beyond 32 characters, with a control character.
  const std::string name = "Stage\x01left, a name well beyond thirty-two characters";
  e2e::HttpAnswer paired = Post("/api/pair", json{{"code", kCode}, {"name", name}}.dump());
  ASSERT_EQ(paired.status, 200) << paired.body;
  const std::string token = json::parse(paired.body).value("token", "");
  EXPECT_GE(token.size(), 32u);
  // The cookie is named for this server's port: another server on this
  // computer keeps its own.
  const std::string cookieName = "podiant_token_" + std::to_string(webPort);
  const std::string cookie = e2e::HeaderValue(paired, "Set-Cookie");
  EXPECT_EQ(cookie.find(cookieName + "=" + token + ";"), 0u) << cookie;
  EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
  EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
  const std::string bearer = "Authorization: Bearer " + token;

  EXPECT_EQ(Get("/api/state", {"Cookie: podiant_token=" + token}).status, 401);
  e2e::HttpAnswer state = Get("/api/state", {"Cookie: " + cookieName + "=" + token});
  ASSERT_EQ(state.status, 200);
  json stateJson = json::parse(state.body);
  EXPECT_EQ(stateJson["type"], "state");
  EXPECT_EQ(stateJson["state"], "NONE");
  EXPECT_TRUE(stateJson["next"].is_null() && stateJson["elapsed"].is_null()) << state.body;

  // A command is logged with the device's name as one word of at most 32
  // characters (so that it cannot pose as another device with another
  // address) and carried out through the dispatcher.
  const std::string shown = "Stage_left,_a_name_well_beyond_t";
  size_t mark = server.output.size();
  EXPECT_EQ(Post("/api/command", R"({"command":"GOTO 5"})", {bearer}).status, 202);
  EXPECT_TRUE(WaitForLine("W " + shown + R"( 127\.0\.0\.1 \d\d:\d\d:\d\d -> "GOTO 5"\n)", mark))
      << server.output.substr(mark);
  EXPECT_EQ(Post("/api/command", R"({"command":"RUN true"})", {bearer}).status, 403);
  EXPECT_EQ(Post("/api/command", R"({"command":"HELLO"})", {bearer}).status, 400);
  EXPECT_EQ(Post("/api/command", "{", {bearer}).status, 400);
  // No show: a step sent from slide 4 finds the show elsewhere.
  e2e::HttpAnswer movedOn =
      Post("/api/command", R"({"command":"NEXT","from":{"slide":4,"build":0}})", {bearer});
  EXPECT_EQ(movedOn.status, 409);
  EXPECT_EQ(json::parse(movedOn.body).value("outcome", ""), "moved-on");
  EXPECT_EQ(Get("/api/slides/1.png?width=100", {bearer}).status, 400);
  EXPECT_EQ(Get("/api/slides/1.png?width=640", {bearer}).status, 404);
  EXPECT_EQ(Get("/api/shows", {bearer}).status, 404);

  // The live channel: refused without a token; with one, hello and state.
  int status = 0;
  EXPECT_EQ(e2e::OpenLive(webPort, {}, &status), nullptr);
  EXPECT_EQ(status, 401);
  e2e::LiveHandle live = e2e::OpenLive(webPort, {bearer});
  ASSERT_NE(live, nullptr);
  std::string message;
  ASSERT_TRUE(e2e::ReceiveLive(*live, kLineMs, &message));
  EXPECT_EQ(json::parse(message)["commands"],
            json::parse(
                R"(["NEXT","GOTO","PREV","FIRST","LAST","BLACK","WHITE","RESUME","END","STATE"])"));
  ASSERT_TRUE(e2e::ReceiveLive(*live, kLineMs, &message));
  EXPECT_EQ(json::parse(message)["type"], "state");

  mark = server.output.size();
  ASSERT_TRUE(e2e::SendLive(*live, R"({"command":"NEXT","from":{"slide":0,"build":0},"id":1})"));
  ASSERT_TRUE(e2e::ReceiveLiveWith(*live, "\"result\"", kLineMs, &message));
  EXPECT_EQ(message, R"({"type":"result","id":1,"command":"NEXT","status":202,"outcome":"done"})");
  EXPECT_TRUE(WaitForLine("W " + shown + R"( 127\.0\.0\.1 \d\d:\d\d:\d\d -> "NEXT"\n)", mark));
  ASSERT_TRUE(e2e::SendLive(*live, R"({"command":"PREV","from":{"slide":2,"build":0},"id":2})"));
  ASSERT_TRUE(e2e::ReceiveLiveWith(*live, "\"result\"", kLineMs, &message));
  EXPECT_EQ(json::parse(message)["outcome"], "moved-on") << message;
  ASSERT_TRUE(e2e::SendLive(*live, R"({"command":"OPEN /etc/passwd","id":"x"})"));
  ASSERT_TRUE(e2e::ReceiveLiveWith(*live, "\"result\"", kLineMs, &message));
  EXPECT_EQ(json::parse(message)["status"], 403) << message;
  // Only the carried-out NEXT was logged.
  EXPECT_EQ(e2e::CountOccurrences(server.output.substr(mark), "W Stage"), 1)
      << server.output.substr(mark);

  // The close sequence ends the remote with its client still connected.
  e2e::SendSignal(server, SIGTERM);
  ASSERT_TRUE(e2e::WaitForExit(server, kStartMs)) << server.output;
  EXPECT_EQ(e2e::ExitCode(server), 0);
  EXPECT_TRUE(server.output.ends_with("THREAD STOPPED!\n")) << server.output;
  EXPECT_FALSE(e2e::ReceiveLive(*live, 2000, &message));
}

TEST_F(WebRemote, ForeignHostsAndSitesGuessersAndGreedyOrSlowClientsAreRefused) {
  std::filesystem::create_directories(directory + "/shows");
  // Names as the system holds them, in UTF-8: an accented letter that the
  // program's code page holds, and a letter that it does not (which OPEN
  // could not name, so it is not offered).
  for (const char* file :
       {"a.pptx", "b.odp", "notes.txt", "second \xC3\xA9 deck.odp", "\xCE\xA9 deck.odp"}) {
    e2e::WriteTextFile(directory + "/shows/" + file, "");
  }
  Start("code=123456\nshows=shows\n");
  const std::string token = Pair("Phone");
  const std::string bearer = "Authorization: Bearer " + token;

  // A client that never finishes its request, and a live client that never
  // answers a ping: both dropped later (checked at the end).
  const int slow = e2e::ConnectTcp(webPort);
  ASSERT_GE(slow, 0);
  const std::string partial = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  ASSERT_EQ(send(slow, partial.data(), partial.size(), 0), static_cast<ssize_t>(partial.size()));
  const int silent = e2e::ConnectTcp(webPort);
  const std::string upgrade =
      "GET /api/live HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
      bearer + "\r\n\r\n";
  ASSERT_EQ(send(silent, upgrade.data(), upgrade.size(), 0), static_cast<ssize_t>(upgrade.size()));

  // DNS rebinding: another name for this address; cross-site requests.
  EXPECT_EQ(Get("/", {"Host: attacker.example"}).status, 403);
  EXPECT_EQ(Post("/api/pair", R"({"code":"123456"})", {"Host: attacker.example:80"}).status, 403);
  EXPECT_EQ(Get("/", {"Host: localhost:" + std::to_string(webPort)}).status, 200);
  EXPECT_EQ(Post("/api/pair", R"({"code":"123456"})", {"Origin: http://attacker.example"}).status,
            403);
  // The page's own request (a browser sends Origin) gets the token as a
  // cookie only, never in what the page reads.
  e2e::HttpAnswer fromPage = Post("/api/pair", R"({"code":"123456"})",
                                  {"Origin: http://127.0.0.1:" + std::to_string(webPort)});
  EXPECT_EQ(fromPage.status, 200);
  EXPECT_EQ(json::parse(fromPage.body, nullptr, false), json::parse(R"({"name":"web"})"))
      << fromPage.body;
  EXPECT_NE(e2e::HeaderValue(fromPage, "Set-Cookie").find("; HttpOnly"), std::string::npos);
  int status = 0;
  EXPECT_EQ(e2e::OpenLive(webPort, {bearer, "Origin: http://attacker.example"}, &status), nullptr);
  EXPECT_EQ(status, 403);

  // Five codes compared a minute for one address: after five wrong ones the
  // right one too gets 429; another address is not held up.
  size_t mark = server.output.size();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Post("/api/pair", R"({"code":"000000"})").status, 403);
  EXPECT_EQ(Post("/api/pair", R"({"code":"123456"})").status, 429);
  EXPECT_EQ(Post("/api/pair", R"({"code":"000000"})").status, 429);
  EXPECT_EQ(Post("/api/pair", R"({"code":"123456"})", {}, "127.0.0.2").status, 200);
  EXPECT_TRUE(e2e::WaitForOutput(server, "Web pairing refused from 127.0.0.1\n", kLineMs, mark));
  EXPECT_EQ(e2e::CountOccurrences(server.output.substr(mark), "Web pairing refused"), 1);

  // Requests beyond their bounds, and requests that another reader could
  // read otherwise: a port that is none, two hosts or origins, a body that is
  // not said to be chunked last (the remote takes no chunked body).
  EXPECT_EQ(Post("/api/pair", std::string(20000, ' ')).status, 413);
  EXPECT_EQ(Get("/", {"X-Filler: " + std::string(10000, 'x')}).status, 431);
  const std::string origin = "Origin: http://127.0.0.1:" + std::to_string(webPort);
  for (const std::vector<std::string>& headers :
       std::vector<std::vector<std::string>>{{"Host: 127.0.0.1:0"},
                                             {"Host: 127.0.0.1:99999"},
                                             {"Host: 127.0.0.1", "Host: attacker.example"},
                                             {origin, "Origin: http://attacker.example"},
                                             {"Transfer-Encoding: chunked, identity"}}) {
    EXPECT_EQ(Get("/", headers).status, 400) << headers.back();
  }

  // The pairing page and its code, from this computer.
  EXPECT_EQ(Get("/pair").status, 200);
  EXPECT_NE(Get("/api/pairing").body.find("/#code=123456\""), std::string::npos);

  // The shows of the folder, by name only.
  EXPECT_EQ(json::parse(Get("/api/shows", {bearer}).body),
            json::parse("{\"shows\":[\"a.pptx\",\"b.odp\",\"second \xC3\xA9 deck.odp\"]}"));
  EXPECT_EQ(Post("/api/open", "{\"name\":\"\xCE\xA9 deck.odp\"}", {bearer}).status, 404);
  EXPECT_EQ(Post("/api/open", R"({"name":"../a.pptx"})", {bearer}).status, 400);
  EXPECT_EQ(Post("/api/open", R"({"name":"shows/a.pptx"})", {bearer}).status, 400);
  EXPECT_EQ(Post("/api/open", R"({"name":"notes.txt"})", {bearer}).status, 404);
  mark = server.output.size();
  EXPECT_EQ(Post("/api/open", R"({"name":"a.pptx"})", {bearer}).status, 202);
  EXPECT_TRUE(WaitForLine(
      R"(W Phone 127\.0\.0\.1 \d\d:\d\d:\d\d -> "OPEN )" + directory + R"(/shows/a\.pptx"\n)",
      mark))
      << server.output.substr(mark);
  EXPECT_TRUE(e2e::WaitForOutput(server, "Couldn't open presentation\n", kLineMs, mark));
  mark = server.output.size();
  EXPECT_EQ(Post("/api/open", "{\"name\":\"second \xC3\xA9 deck.odp\"}", {bearer}).status, 202);
  EXPECT_TRUE(WaitForLine(R"(W Phone 127\.0\.0\.1 \d\d:\d\d:\d\d -> "OPEN )" + directory +
                              "/shows/second \xC3\xA9 deck\\.odp\"\n",
                          mark))
      << server.output.substr(mark);

  // Dropped: the slow one after 10 s, the silent one after 15 s without a pong.
  EXPECT_TRUE(e2e::ClosedWithin(slow, 20000));
  EXPECT_TRUE(e2e::ClosedWithin(silent, 25000));
  close(slow);
  close(silent);

  // 64 connections at once, every one with the token (kept alive after its
  // answer): none of them is closed for a newcomer, which gets 503.
  std::vector<int> many;
  const std::string get = "GET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\n" + bearer + "\r\n\r\n";
  int ok = 0, busy = 0;
  for (int i = 0; i < 66; ++i) {
    many.push_back(e2e::ConnectTcp(webPort));
    send(many.back(), get.data(), get.size(), MSG_NOSIGNAL);
    char answer[16] = {};
    recv(many.back(), answer, sizeof answer - 1, MSG_WAITALL);
    ok += std::string(answer).rfind("HTTP/1.1 200", 0) == 0;
    busy += std::string(answer).rfind("HTTP/1.1 503", 0) == 0;
  }
  for (int fd : many) close(fd);
  EXPECT_EQ(ok, 64);
  EXPECT_EQ(busy, 2);
  // Once they have gone (the server sees them close), a newcomer is served.
  int served = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLineMs);
  while (served != 200 && std::chrono::steady_clock::now() < deadline) {
    served = Get("/").status;
    if (served != 200) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(served, 200);
}

// What one connection may hold: an idle one the place of a client, a refused
// one its time, a chunked one memory. None of them keeps a paired client out.
TEST_F(WebRemote, EachConnectionStaysWithinItsBoundsAndPairedClientsAreServed) {
  Start("code=123456\n");
  const std::string bearer = "Authorization: Bearer " + Pair("Phone");

  // 80 idle connections from one address: the oldest of them is closed for
  // each beyond eight at once, long before their first byte's 3 s are over.
  std::vector<int> oneAddress;
  for (int i = 0; i < 80; ++i) {
    oneAddress.push_back(e2e::ConnectTcp(webPort, "127.0.0.1", "127.0.0.2"));
    ASSERT_GE(oneAddress.back(), 0);
  }
  EXPECT_EQ(e2e::CountClosedWithin({oneAddress.begin(), oneAddress.begin() + 72}, 2000), 72);
  EXPECT_EQ(e2e::CountClosedWithin({oneAddress.begin() + 72, oneAddress.end()}, 0), 0);

  // Idle connections from 64 addresses, each opened again as soon as the
  // server closes it: for each of the paired client's connections the oldest
  // connection without a token is closed, and every request of it is served.
  std::atomic<bool> attacking = true;
  std::atomic<int> opened = 0;
  std::thread attacker([&] {
    std::vector<int> idle;
    for (int i = 0; i < 64; ++i) {
      idle.push_back(e2e::ConnectTcp(webPort, "127.0.0.1", "127.0.3." + std::to_string(i + 1)));
      ++opened;
    }
    while (attacking) {
      for (int i = 0; i < 64; ++i) {
        if (idle[i] >= 0 && e2e::CountClosedWithin({idle[i]}, 0) == 0) continue;
        close(idle[i]);
        idle[i] = e2e::ConnectTcp(webPort, "127.0.0.1", "127.0.3." + std::to_string(i + 1));
      }
      e2e::CountClosedWithin(idle, 20);
    }
    for (int fd : idle) close(fd);
  });
  while (opened < 64) std::this_thread::yield();
  int served = 0;
  for (int i = 0; i < 50; ++i) served += Get("/api/state", {bearer}).status == 200;
  attacking = false;
  attacker.join();
  EXPECT_EQ(served, 50);
  for (int fd : oneAddress) close(fd);
  // Without a first byte within 3 s, an idle connection is closed anyway.
  const int idle = e2e::ConnectTcp(webPort, "127.0.0.1", "127.0.0.6");
  EXPECT_EQ(e2e::CountClosedWithin({idle}, 6000), 1);
  close(idle);

  // A refused request (431): what the client sends after it is read for 2 s
  // at most, even one byte every 100 ms.
  const int trickle = e2e::ConnectTcp(webPort, "127.0.0.1", "127.0.0.4");
  const std::string header =
      "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filler: " + std::string(9000, 'x') + "\r\n\r\n";
  ASSERT_EQ(send(trickle, header.data(), header.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(header.size()));
  std::string answer;
  EXPECT_TRUE(e2e::TrickleUntilClosed(trickle, 100, 6000, &answer));
  EXPECT_EQ(answer.rfind("HTTP/1.1 431 ", 0), 0u) << answer;
  close(trickle);

  // Chunked requests whose chunk size's line never ends, up to 64 MiB each
  // from four connections: refused at their header, and what they send is
  // not kept.
  const long peakBefore = PeakMemoryKb(server.pid);
  std::vector<int> chunked;
  const std::string start =
      "POST /api/pair HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n1;";
  for (int i = 0; i < 4; ++i) {
    chunked.push_back(e2e::ConnectTcp(webPort, "127.0.0.1", "127.0.0.5"));
    send(chunked.back(), start.data(), start.size(), MSG_NOSIGNAL);
  }
  for (int fd : chunked) e2e::Flood(fd, 64 << 20, 5000);
  EXPECT_LT(PeakMemoryKb(server.pid) - peakBefore, 8 * 1024) << "KiB";
  for (int fd : chunked) close(fd);
  // The answer, which a client that sends no more has the time to read.
  EXPECT_EQ(e2e::HttpExchange(webPort, start, kLineMs, "127.0.0.5").status, 400);
  EXPECT_EQ(Get("/api/state", {bearer}).status, 200);
}

// Nothing is written to disk, and a paired device stays paired when the
// program starts again with the same code and port: its token is signed with
// a key made from them. A drawn code, or another code, pairs anew.
TEST_F(WebRemote, APairedDeviceStaysPairedWhenTheProgramStartsAgainWithItsCode) {
  Start("code=123456\n");
  const std::string bearer = "Authorization: Bearer " + Pair("Stage left");
  auto restart = [this](const std::string& webLines) {
    e2e::SendSignal(server, SIGTERM);
    ASSERT_TRUE(e2e::WaitForExit(server, kStartMs)) << server.output;
    Start(webLines);
  };
  restart("code=123456\n");
  EXPECT_EQ(Get("/api/state", {bearer}).status, 200);
  const size_t mark = server.output.size();
  EXPECT_EQ(Post("/api/command", R"({"command":"STATE"})", {bearer}).status, 202);
  EXPECT_TRUE(WaitForLine(R"(W Stage_left 127\.0\.0\.1 \d\d:\d\d:\d\d -> "STATE"\n)", mark))
      << server.output.substr(mark);
  // In the working directory: podiant.ini and bin/, nothing else.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory),
                          std::filesystem::directory_iterator()),
            2);

  restart("code=654321\n");
  EXPECT_EQ(Get("/api/state", {bearer}).status, 401);

  restart("");
  std::smatch shown;
  ASSERT_TRUE(std::regex_search(server.output, shown, std::regex(R"(/ code (\d{6})\n)")));
  e2e::HttpAnswer paired = Post("/api/pair", json{{"code", shown[1].str()}}.dump());
  const std::string drawn = json::parse(paired.body, nullptr, false).value("token", "");
  EXPECT_EQ(Get("/api/state", {"Authorization: Bearer " + drawn}).status, 200);
  restart("");
  EXPECT_EQ(Get("/api/state", {"Authorization: Bearer " + drawn}).status, 401);
}

// Wrong codes sprayed from more addresses than the table of wrong codes
// holds: twenty are compared in the minute from all of them together, the
// drawn code is drawn anew and shown as at the start, and pairing is closed
// for the minute.
TEST_F(WebRemote, AWrongCodeSprayFromManyAddressesStaysLimited) {
  Start("");
  std::smatch shown;
  ASSERT_TRUE(std::regex_search(server.output, shown,
                                std::regex(R"(\nWeb remote at (http://\S+/) code (\d{6})\n)")));
  const std::string line = "Web remote at " + shown[1].str() + " code ";
  const std::string wrong = shown[2] == "000000" ? "000001" : "000000";
  const size_t mark = server.output.size();
  int compared = 0;
  int refused = 0;
  for (int i = 0; i < 1100; ++i) {
    const std::string from =
        "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
    const int status = Post("/api/pair", json{{"code", wrong}}.dump(), {}, from).status;
    compared += status == 403;
    refused += status == 429;
  }
  EXPECT_EQ(compared, 20);
  EXPECT_EQ(refused, 1080);
  ASSERT_TRUE(e2e::WaitForOutput(server, "Web pairing closed for a minute: 20 wrong codes\n",
                                 kLineMs, mark))
      << server.output.substr(mark);
  ASSERT_TRUE(WaitForLine(line + R"(\d{6}\n)", mark)) << server.output.substr(mark);
  EXPECT_EQ(e2e::CountOccurrences(server.output.substr(mark), "Web pairing"), 1);
  const std::string code = server.output.substr(server.output.find(line, mark) + line.size(), 6);
  EXPECT_EQ(json::parse(Get("/api/pairing").body).value("code", ""), code);
  EXPECT_EQ(Post("/api/pair", json{{"code", code}}.dump(), {}, "127.0.9.9").status, 429);
}

TEST_F(WebRemote, APortThatCannotBeOpenedLeavesTheServerWithoutTheRemote) {
  // Another program holds the port.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(webPort));
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  e2e::WriteTextFile(directory + "/podiant.ini", "[settings]\nport=" + std::to_string(port) +
                                                     "\n[web]\nport=" + std::to_string(webPort) +
                                                     "\n");
  server = e2e::StartProcess({program}, directory, {"DISPLAY"});
  EXPECT_TRUE(e2e::WaitForOutput(
      server,
      "ERROR: cannot listen for the web remote at 0.0.0.0:" + std::to_string(webPort) + "\n",
      kStartMs))
      << server.output;
  size_t mark = server.output.size();
  e2e::SendDatagram("NEXT", port);
  EXPECT_TRUE(e2e::WaitForOutput(server, "-> \"NEXT\"\n", kLineMs, mark));
  close(listener);
}

}  // namespace

// The Venue view only with [mqtt] venue=on: without it /api/venue is no route
// and the hello says so; with it, the rooms that the broker carries, a room's
// picture by the room's name, no answer for a name that is no room's, and a
// room's change on the live channel.
TEST_F(WebRemote, TheVenueViewListsTheBrokersRoomsOnlyWithVenueOn) {
  Start("code=123456\n");
  std::string bearer = "Authorization: Bearer " + Pair("Desk");
  EXPECT_EQ(Get("/api/venue", {bearer}).status, 404);
  EXPECT_EQ(Get("/api/venue/hall-2/picture", {bearer}).status, 404);
  std::string message;
  {
    e2e::LiveHandle live = e2e::OpenLive(webPort, {bearer});
    ASSERT_NE(live, nullptr);
    ASSERT_TRUE(e2e::ReceiveLive(*live, kLineMs, &message));
    EXPECT_EQ(json::parse(message)["venue"], false) << message;
  }
  e2e::SendSignal(server, SIGTERM);
  ASSERT_TRUE(e2e::WaitForExit(server, kStartMs)) << server.output;
  e2e::StopProcess(server);

  std::filesystem::create_directories(directory + "/broker");
  ASSERT_TRUE(e2e::StartBroker(&broker, directory + "/broker")) << broker.process.output;
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-2/status", "online", true));
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-2/state",
                           R"({"file":"talk.odp","state":"RUNNING","slide":3,"count":9})", true));
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-2/picture", "PNG of hall-2", true));
  Start("code=123456\n[mqtt]\nbroker=127.0.0.1:" + std::to_string(broker.port) +
        "\nroom=hall-1\nvenue=on\n");
  bearer = "Authorization: Bearer " + Pair("Desk");
  json rooms;
  for (int waited = 0; waited < kLineMs; waited += 50) {
    e2e::HttpAnswer venue = Get("/api/venue", {bearer});
    ASSERT_EQ(venue.status, 200) << venue.body;
    rooms = json::parse(venue.body)["rooms"];
    if (rooms.size() == 2 && rooms[1].value("slide", 0) == 3 && rooms[1]["picture"].is_string())
      break;
    e2e::WaitForOutput(server, "\n", 50, server.output.size());
  }
  ASSERT_EQ(rooms.size(), 2u) << rooms;
  EXPECT_EQ(rooms[0]["room"], "hall-1");
  EXPECT_EQ(rooms[0]["online"], true);
  EXPECT_EQ(rooms[1]["room"], "hall-2");
  EXPECT_EQ(rooms[1]["state"], "RUNNING");
  const std::string pictureUrl = rooms[1]["picture"];
  EXPECT_EQ(pictureUrl.rfind("/api/venue/hall-2/picture?tag=", 0), 0u) << pictureUrl;

  e2e::HttpAnswer picture = Get(pictureUrl, {bearer});
  EXPECT_EQ(picture.status, 200);
  EXPECT_EQ(e2e::HeaderValue(picture, "Content-Type"), "image/png");
  EXPECT_EQ(picture.body, "PNG of hall-2");
  EXPECT_EQ(Get(pictureUrl, {bearer, "If-None-Match: " + e2e::HeaderValue(picture, "ETag")}).status,
            304);
  EXPECT_EQ(Get(pictureUrl).status, 401);
  for (const std::string& target :
       {std::string("/api/venue/hall-1/picture"), std::string("/api/venue/hall%2D2/picture"),
        std::string("/api/venue/hall-2%2F..%2Fx/picture"), std::string("/api/venue/hall-2/state"),
        "/api/venue/" + std::string(65, 'h') + "/picture"}) {
    EXPECT_EQ(Get(target, {bearer}).status, 404) << target;
  }

  // The hello says that the view is there; a room's change follows it.
  e2e::LiveHandle live = e2e::OpenLive(webPort, {bearer});
  ASSERT_NE(live, nullptr);
  ASSERT_TRUE(e2e::ReceiveLive(*live, kLineMs, &message));
  EXPECT_EQ(json::parse(message)["venue"], true) << message;
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-2/state",
                           R"({"file":"talk.odp","state":"BLACK","slide":4,"count":9})", true));
  ASSERT_TRUE(e2e::ReceiveLiveWith(*live, R"("state":"BLACK")", kLineMs, &message));
  json room = json::parse(message);
  EXPECT_EQ(room["type"], "room");
  EXPECT_EQ(room["room"], "hall-2");
  EXPECT_EQ(room["slide"], 4);
}
