// The remote's page in a real browser against the real program and a real
// LibreOffice Impress. The scenario is web_page_test.py beside this file
// (Selenium driving Debian's headless Chromium through chromedriver); this
// test gives it a private X display with openbox for the office's show, a
// pipe and a profile of its own, and removes the office it leaves behind.
// PODIANT_SCREENSHOTS=<folder> also takes the documentation's pictures. The
// Venue view's scenario needs no office and no display: a broker of its own
// carries the rooms.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/e2e_support.h"
// Xlib's macros (None, Bool, Status) after the test framework's headers.
#include "tests/e2e/x11/x11_session.h"

TEST(WebPage, FollowsTheShowAndComesBackWithTheServer) {
  X11Session session;
  ASSERT_TRUE(StartX11Session(&session, true));
  const std::string directory = e2e::MakeTemporaryDirectory();
  const std::string pipe = "podiant-web-" + std::to_string(getpid());
  std::vector<std::string> arguments = {
      "/usr/bin/python3", e2e::SourceDir() + "/tests/e2e/x11/web_page_test.py",
      "--program",        e2e::BinaryDir() + "/shell/podiant-server",
      "--directory",      directory,
      "--pipe",           pipe,
      "--profile",        session.directory + "/office-profile"};
  if (const char* folder = std::getenv("PODIANT_SCREENSHOTS")) {
    arguments.insert(arguments.end(), {"--screenshots", folder});
  }
  e2e::Process scenario = e2e::StartProcess(arguments, directory, {"DISPLAY=" + session.display});
  EXPECT_TRUE(e2e::WaitForExit(scenario, 400000)) << scenario.output;
  EXPECT_EQ(e2e::ExitCode(scenario), 0) << scenario.output;
  e2e::StopProcess(scenario);
  for (const std::string& name : {pipe, pipe + "-user"}) {
    for (pid_t office :
         e2e::LiveProcessesWith({"soffice.bin", "--accept=pipe,name=" + name + ";"})) {
      kill(office, SIGKILL);
    }
  }
  e2e::RemoveTree(directory);
  StopX11Session(&session);
}

TEST(WebPage, ShowsTheVenuesRoomsAsTheyChange) {
  const std::string directory = e2e::MakeTemporaryDirectory();
  std::vector<std::string> arguments = {
      "/usr/bin/python3", e2e::SourceDir() + "/tests/e2e/x11/web_page_test.py",
      "--scenario",       "venue",
      "--program",        e2e::BinaryDir() + "/shell/podiant-server",
      "--directory",      directory};
  if (const char* folder = std::getenv("PODIANT_SCREENSHOTS")) {
    arguments.insert(arguments.end(), {"--screenshots", folder});
  }
  e2e::Process scenario = e2e::StartProcess(arguments, directory, {});
  EXPECT_TRUE(e2e::WaitForExit(scenario, 200000)) << scenario.output;
  EXPECT_EQ(e2e::ExitCode(scenario), 0) << scenario.output;
  e2e::StopProcess(scenario);
  e2e::RemoveTree(directory);
}
