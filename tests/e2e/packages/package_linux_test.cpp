// The Debian package and the portable zip as they are shipped: what they
// hold, lintian's verdict, the user unit, and the packaged server run from
// the package's contents.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/e2e_support.h"

namespace {

const std::string kVersion = PODIANT_VERSION;
const std::string kDeb =
    std::string(PODIANT_PACKAGE_DIR) + "/podiant-server_" + kVersion + "_amd64.deb";
const std::string kZip =
    std::string(PODIANT_PACKAGE_DIR) + "/podiant-server-" + kVersion + "-win64.zip";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string RunTool(const std::vector<std::string>& argv, int* exitCode,
                    const std::string& workDir = "") {
  return e2e::RunProgram(argv, workDir, exitCode, 120000);
}

// The package's contents in a temporary root.
class DebianPackage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kDeb)) << kDeb << ": run scripts/package.sh";
    directory = e2e::MakeTemporaryDirectory();
    root = directory + "/root";
    int exitCode = -1;
    std::string output = RunTool({"dpkg-deb", "-x", kDeb, root}, &exitCode);
    ASSERT_EQ(exitCode, 0) << output;
  }
  void TearDown() override {
    e2e::StopProcess(server);
    e2e::RemoveTree(directory);
  }

  std::string directory;
  std::string root;
  e2e::Process server;
};

TEST_F(DebianPackage, LintianReportsNoError) {
  int exitCode = -1;
  std::string output = RunTool({"lintian", "--fail-on", "error", kDeb}, &exitCode);
  EXPECT_EQ(exitCode, 0) << output;
  for (const std::string& line : Lines(output)) EXPECT_NE(line.rfind("E: ", 0), 0u) << line;
}

TEST_F(DebianPackage, HoldsTheProgramsTheDocumentsAndTheUserUnit) {
  int exitCode = -1;
  std::set<std::string> files;
  for (const std::string& line : Lines(RunTool({"dpkg-deb", "-c", kDeb}, &exitCode))) {
    if (line.empty() || line[0] == 'd') continue;  // directories
    files.insert(line.substr(line.find("./") + 1));
  }
  ASSERT_EQ(exitCode, 0);
  const std::string doc = "/usr/share/doc/podiant-server/";
  for (const std::string& wanted :
       {std::string("/usr/bin/podiant-server"), std::string("/usr/bin/podiant-send"),
        std::string("/usr/lib/podiant-server/podiant-impress.so"),
        std::string("/usr/lib/systemd/user/podiant-server.service"), doc + "README.md",
        doc + "copyright", doc + "changelog.gz", doc + "podiant.ini"}) {
    EXPECT_EQ(files.count(wanted), 1u) << wanted;
  }
  for (const std::string& file : files) {
    bool expected = file.rfind("/usr/bin/", 0) == 0 || file.rfind("/usr/lib/", 0) == 0 ||
                    file.rfind(doc, 0) == 0 || file.rfind("/usr/share/man/", 0) == 0 ||
                    file == "/usr/share/lintian/overrides/podiant-server";
    EXPECT_TRUE(expected) << file;
  }
  for (const char* program : {"/usr/bin/podiant-server", "/usr/bin/podiant-send"}) {
    struct stat status {};
    ASSERT_EQ(stat((root + program).c_str(), &status), 0) << program;
    EXPECT_EQ(status.st_mode & 07777, 0755u) << program;
  }
  // The example settings are the repository's.
  EXPECT_EQ(e2e::ReadTextFile(root + doc + "podiant.ini"),
            e2e::ReadTextFile(e2e::SourceDir() + "/podiant.ini"));

  // Dependencies as dpkg-shlibdeps found them in the programs: the C and C++
  // run-time, the X11 libraries of SEND, STOP and ACTIVATE, and the UNO
  // runtime of the Impress module; the office itself is recommended.
  std::string control = RunTool({"dpkg-deb", "-f", kDeb, "Depends", "Recommends"}, &exitCode);
  ASSERT_EQ(exitCode, 0);
  EXPECT_NE(control.find("libc6 (>= "), std::string::npos) << control;
  EXPECT_NE(control.find("libstdc++6"), std::string::npos) << control;
  EXPECT_NE(control.find("libx11-6"), std::string::npos) << control;
  EXPECT_NE(control.find("libuno-cppu3"), std::string::npos) << control;
  EXPECT_NE(control.find("Recommends: libreoffice-impress"), std::string::npos) << control;
}

TEST_F(DebianPackage, TheServerRunsFromThePackageAndEndsOnSigterm) {
  std::string work = directory + "/settings";
  std::filesystem::create_directories(work);
  int port = e2e::FreeUdpPort();
  e2e::WriteTextFile(work + "/podiant.ini", "[settings]\nport=" + std::to_string(port) + "\n");
  server = e2e::StartProcess({root + "/usr/bin/podiant-server"}, work, {"DISPLAY"});
  ASSERT_TRUE(e2e::WaitForOutput(server, ":" + std::to_string(port) + "...\n", 20000))
      << server.output;

  int exitCode = -1;
  std::string sent = RunTool({root + "/usr/bin/podiant-send", "--port", std::to_string(port),
                              "127.0.0.1", "hello", "from", "the", "package"},
                             &exitCode);
  EXPECT_EQ(exitCode, 0) << sent;
  EXPECT_TRUE(e2e::WaitForOutput(server, "-> \"hello from the package\"\n", 10000))
      << server.output;

  e2e::SendSignal(server, SIGTERM);
  ASSERT_TRUE(e2e::WaitForExit(server, 20000)) << server.output;
  EXPECT_EQ(e2e::ExitCode(server), 0) << server.output;
  EXPECT_NE(server.output.find("THREAD STOPPED!"), std::string::npos) << server.output;
}

// systemd-analyze verify, with the unit's program where the package put it
// (the unit names /usr/bin/podiant-server, which this machine need not have):
// the copy differs from the shipped unit in that one path.
TEST_F(DebianPackage, TheUserUnitPassesSystemdAnalyzeVerify) {
  int exitCode = -1;
  RunTool({"sh", "-c", "command -v systemd-analyze"}, &exitCode);
  if (exitCode != 0) GTEST_SKIP() << "no systemd-analyze on this machine";
  std::string unit = e2e::ReadTextFile(root + "/usr/lib/systemd/user/podiant-server.service");
  const std::string execStart = "\nExecStart=/usr/bin/podiant-server\n";
  size_t at = unit.find(execStart);
  ASSERT_NE(at, std::string::npos) << unit;
  unit.replace(at, execStart.size(), "\nExecStart=" + root + "/usr/bin/podiant-server\n");
  std::string check = directory + "/verify";
  std::filesystem::create_directories(check + "/runtime");
  std::filesystem::permissions(check + "/runtime", std::filesystem::perms::owner_all);
  e2e::WriteTextFile(check + "/podiant-server.service", unit);
  // The user manager's checks need a runtime directory of their own.
  std::string output = RunTool({"env", "XDG_RUNTIME_DIR=" + check + "/runtime", "systemd-analyze",
                                "--user", "verify", check + "/podiant-server.service"},
                               &exitCode);
  EXPECT_EQ(exitCode, 0) << output;
  EXPECT_EQ(output, "") << output;
}

TEST(PortableZip, HoldsBothProgramsTheSettingsAndTheDocumentsInOneFolder) {
  ASSERT_TRUE(std::filesystem::exists(kZip)) << kZip << ": run scripts/package.sh";
  int exitCode = -1;
  std::vector<std::string> names = Lines(RunTool({"unzip", "-Z1", kZip}, &exitCode));
  ASSERT_EQ(exitCode, 0);
  const std::string folder = "podiant-server-" + kVersion + "-win64/";
  std::set<std::string> files;
  for (const std::string& name : names) {
    EXPECT_EQ(name.rfind(folder, 0), 0u) << name;
    if (!name.ends_with("/")) files.insert(name.substr(folder.size()));
  }
  for (const char* wanted : {"podiant-server.exe", "podiant-send.exe", "podiant.ini", "README.txt",
                             "LICENSE.txt", "CHANGELOG.txt"}) {
    EXPECT_EQ(files.count(wanted), 1u) << wanted;
  }
  for (const std::string& file : files) {
    EXPECT_TRUE(file.find('/') == std::string::npos || file.rfind("docs/", 0) == 0) << file;
  }
}

}  // namespace
