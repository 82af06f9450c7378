// The web remote of the real podiant-server.exe under Wine: the page, pairing,
// the state and commands over HTTP and the live channel, and a show of the
// folder opened on the stand-in PowerPoint (registered in the test's Wine
// prefix as in the slide-show tests), whose changes reach the live client.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/e2e_support.h"
#include "tests/support/web_client.h"

namespace {

using nlohmann::json;

constexpr const char* kTitle = "Podiant Server";
constexpr int kLabel = 101;
constexpr int kWaitMs = 30000;

class WineWebRemote : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = e2e::MakeTemporaryDirectory();
    port = e2e::FreeUdpPort();
    webPort = e2e::FreeTcpPort();
  }
  void TearDown() override {
    if (registered) Register(false);
    e2e::StopProcess(server);
    int ignored = 0;
    e2e::RunProbe({"wait-gone", kTitle, "5000"}, &ignored);
    // Without its directory the stand-in ends by itself.
    e2e::RemoveTree(directory);
  }

  // The stand-in as PowerPoint (as the slide-show tests register it), or with
  // `registering` false every trace of it removed.
  void Register(bool registering) {
    registered = registering;
    std::string output;
    ASSERT_EQ(e2e::RegisterStandIn(directory, registering, &output), 0) << output;
  }

  bool WaitForLabel(const std::string& part) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (e2e::ReadWindowControlText(kTitle, kLabel, &label) &&
          label.find(part) != std::string::npos) {
        return true;
      }
      usleep(50000);
    }
    return false;
  }

  e2e::HttpAnswer Get(const std::string& target, const std::vector<std::string>& headers = {}) {
    return e2e::HttpExchange(webPort, e2e::HttpRequest("GET", target, webPort, "", headers),
                             kWaitMs);
  }
  e2e::HttpAnswer Post(const std::string& target, const std::string& body,
                       const std::vector<std::string>& headers = {}) {
    return e2e::HttpExchange(webPort, e2e::HttpRequest("POST", target, webPort, body, headers),
                             kWaitMs);
  }

  // The next state message on `live` whose text contains `part`.
  json NextState(e2e::LiveConnection& live, const std::string& part) {
    std::string message;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (!e2e::ReceiveLiveWith(live, "\"type\":\"state\"", kWaitMs, &message)) break;
      if (message.find(part) != std::string::npos) return json::parse(message);
    }
    ADD_FAILURE() << "no state with " << part << "; last " << message;
    return json();
  }

  std::string directory;
  int port = 0;
  int webPort = 0;
  std::string label;
  e2e::Process server;
  bool registered = false;
};

TEST_F(WineWebRemote, ServesThePageAndTheApiAndFollowsAShowOpenedFromTheFolder) {
  Register(true);
  std::filesystem::create_directories(directory + "/shows");
  e2e::WriteTextFile(directory + "/shows/talk.pptx", "");
  e2e::WriteTextFile(directory + "/podiant.ini",
                     "[settings]\nport=" + std::to_string(port) +
                         "\n[web]\nport=" + std::to_string(webPort) +
                         "\ncode=654321\nshows=" + e2e::WindowsPath(directory + "/shows") + "\n");
  server = e2e::StartProcess(
      {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/shell/podiant-server.exe"}, directory);
  ASSERT_TRUE(WaitForLabel("/ code 654321")) << label;
  EXPECT_NE(label.find("...\rWeb remote at http://"), std::string::npos) << label;

  e2e::HttpAnswer page = Get("/");
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("<!doctype html>"), std::string::npos);
  EXPECT_EQ(Get("/api/state").status, 401);
  e2e::HttpAnswer paired = Post("/api/pair", R"({"code":"654321","name":"Wine"})");
  ASSERT_EQ(paired.status, 200) << paired.body;
  const std::string bearer = "Authorization: Bearer " + json::parse(paired.body).value("token", "");
  EXPECT_EQ(json::parse(Get("/api/state", {bearer}).body).value("state", ""), "NONE");
  EXPECT_EQ(Post("/api/command", R"({"command":"STATE"})", {bearer}).status, 202);
  ASSERT_TRUE(WaitForLabel("W Wine 127.0.0.1 ")) << label;
  EXPECT_EQ(json::parse(Get("/api/shows", {bearer}).body),
            json::parse(R"({"shows":["talk.pptx"]})"));

  e2e::LiveHandle live = e2e::OpenLive(webPort, {bearer});
  ASSERT_NE(live, nullptr);
  NextState(*live, "\"NONE\"");

  // OPEN through the list: the show's state comes over the live channel.
  EXPECT_EQ(Post("/api/open", R"({"name":"talk.pptx"})", {bearer}).status, 202);
  ASSERT_TRUE(WaitForLabel("-> \"OPEN " + e2e::WindowsPath(directory + "/shows/talk.pptx") + "\""))
      << label;
  json running = NextState(*live, "\"slide\":1,");
  EXPECT_EQ(running["state"], "RUNNING");
  EXPECT_EQ(running["count"], 5);
  EXPECT_EQ(running["file"], e2e::WindowsPath(directory + "/shows/talk.pptx"));

  // A step from where the show is: carried out, and the next slide follows.
  json next = {{"command", "NEXT"}, {"id", 1}};
  next["from"] = {{"slide", 1}, {"build", running["build"]["position"]}};
  ASSERT_TRUE(e2e::SendLive(*live, next.dump()));
  std::string message;
  ASSERT_TRUE(e2e::ReceiveLiveWith(*live, "\"result\"", kWaitMs, &message));
  EXPECT_EQ(json::parse(message)["outcome"], "done") << message;
  EXPECT_EQ(NextState(*live, "\"slide\":2,")["state"], "RUNNING");

  // A slide picture, exported by the stand-in between commands; the show
  // stays where it was.
  e2e::HttpAnswer picture = Get("/api/slides/1.png?width=320", {bearer});
  EXPECT_EQ(picture.status, 200);
  EXPECT_EQ(e2e::HeaderValue(picture, "Content-Type"), "image/png");
  EXPECT_EQ(picture.body.substr(1, 3), "PNG");
  EXPECT_EQ(Get("/api/slides/1.png?width=320",
                {bearer, "If-None-Match: " + e2e::HeaderValue(picture, "ETag")})
                .status,
            304);
  json after = json::parse(Get("/api/state", {bearer}).body);
  EXPECT_EQ(after["slide"], 2);
  EXPECT_EQ(after["state"], "RUNNING");

  live.reset();
  int exitCode = -1;
  e2e::RunProbe({"post-close", kTitle}, &exitCode);
  EXPECT_TRUE(e2e::WaitForExit(server, kWaitMs));
  EXPECT_EQ(e2e::ExitCode(server), 0);
}

}  // namespace
