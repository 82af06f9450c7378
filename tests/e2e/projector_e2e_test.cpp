// End to end: the real program with a real serial line. A pseudo-terminal pair
// made by socat stands in for the cable: the program opens end A as its
// projector port, and the test reads what arrives at end B.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/e2e_support.h"
#include "tests/support/serial_pair.h"

namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr int kCommandTimeoutMs = 10000;
const std::string kNoticeCaption = "Projector command";
const std::string kMainWindowTitle = "Podiant Server";

std::string FunctionsSection() {
  std::string section =
      "[functions]\n"
      "Lamp=ABC\n"
      "LAMP=XYZ\n"
      "input=SRC=HDMI1\n"
      "blank=\n"
      "bare\n"
      "power on=PWR1\n"
      "slashes=/\\0D\n";
  // Far more than 2000 bytes of entries before the last one.
  for (int i = 0; i < 40; ++i) {
    section += "filler" + std::to_string(i) + "=" + std::string(70, 'f') + "\n";
  }
  section += "last=THE END\n";
  return section;
}
constexpr int kFunctionsCount = 48;

// Texts with escapes, as a projector's protocol needs them.
std::string EscapeFunctions() {
  return "[functions]\n"
         "on=PWR ON\\r\n"
         "frame=\\x02\\x00A\\xfF\\x03\n"
         "mixed=\\\\\\t\\n\n"
         "bad=A\\qB\n";
}
const std::string kEscapesWarning =
    "  WARNING: projector command \"BAD\": \"\\q\" is no escape, sent as written";

using e2e::ReadSerialBytes;
using e2e::SerialPair;
using e2e::StartSerialPair;
using e2e::StopSerialPair;

// What B receives within `ms`; empty when nothing comes.
std::string BytesWithin(int fd, int ms) { return ReadSerialBytes(fd, 1 << 20, ms); }

// True when another open of `path` cannot take the exclusive lock.
bool HeldExclusively(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  return held;
}

std::string OpenLine(const std::string& port) {
  return "  Serial comms open on  port \"" + port + "\"";
}
std::string FailureLine(const std::string& port) {
  return "  ERROR: Failed to open serial comms on port \"" + port + "\"";
}

// ---------------------------------------------------------------------------
// The Linux program.

class NativeProjector : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = e2e::MakeTemporaryDirectory();
    udpPort = e2e::FreeUdpPort();
  }
  void TearDown() override {
    StopServer();
    StopSerialPair(&serial);
    e2e::RemoveTree(dir);
  }

  void StartServer(const std::string& projectorLines,
                   const std::string& functions = FunctionsSection()) {
    e2e::WriteTextFile(dir + "/podiant.ini", "[settings]\nport=" + std::to_string(udpPort) +
                                                 "\n[projector]\n" + projectorLines + functions);
    server = e2e::StartProcess({e2e::BinaryDir() + "/shell/podiant-server"}, dir, {"DISPLAY"});
    ASSERT_TRUE(e2e::WaitForOutput(server, "Listening at", kStartTimeoutMs)) << server.output;
  }

  void StopServer() {
    if (server.pid <= 0 || server.exited) return;
    e2e::SendSignal(server, SIGTERM);
    if (!e2e::WaitForExit(server, kStartTimeoutMs)) e2e::StopProcess(server);
  }

  void Send(const std::string& command) { e2e::SendDatagram(command, udpPort); }

  // Sends an unknown word and waits for its line: proof that the server still
  // handles commands, and that everything sent before it has been handled.
  void ExpectServerGoesOn(const std::string& word) {
    Send(word);
    EXPECT_TRUE(e2e::WaitForOutput(server, "ERR: Unknown command received \"" + word + "\"",
                                   kCommandTimeoutMs))
        << server.output;
  }

  std::string dir;
  int udpPort = 0;
  SerialPair serial;
  e2e::Process server;
};

TEST_F(NativeProjector, SendsExactlyTheNamedTextOverTheLine) {
  ASSERT_TRUE(StartSerialPair(dir, &serial)) << serial.socat.output;
  StartServer("port=" + serial.endA + "\nbaud=9600\ndatabits=8\nstopbits=1\nparity=NONE\n");
  ASSERT_TRUE(e2e::WaitForOutput(server, OpenLine(serial.endA), kStartTimeoutMs)) << server.output;
  EXPECT_NE(server.output.find("Found  " + std::to_string(kFunctionsCount) + " projector commands"),
            std::string::npos)
      << server.output;
  EXPECT_TRUE(HeldExclusively(serial.endA));

  // Each expected text must arrive alone: a terminator, or bytes from a
  // command that should write nothing, would show up in front of the next one.
  Send("PROJECTOR lamp");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 3, kCommandTimeoutMs), "ABC");
  Send("PROJECTOR zoom");  // unknown
  Send("PROJECTOR input");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 9, kCommandTimeoutMs), "SRC=HDMI1");
  Send("PROJECTOR blank");  // empty text
  Send("PROJECTOR bare");   // no "=": empty text
  Send("PROJECTOR LaMp");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 3, kCommandTimeoutMs), "ABC");
  Send("PROJECTOR Power On");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 4, kCommandTimeoutMs), "PWR1");
  Send("PROJECTOR power  on");  // an inner blank more: unknown
  Send("PROJECTOR slashes");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 4, kCommandTimeoutMs), "/\\0D");
  Send("PROJECTOR last");  // the entry beyond the first 2000 bytes of the section
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 7, kCommandTimeoutMs), "THE END");
  ExpectServerGoesOn("marker");
  EXPECT_EQ(BytesWithin(serial.readFd, 300), "");

  // The notice is shown for each match (on the console, dismissed at once).
  EXPECT_NE(server.output.find("/LAMP/ABC/"), std::string::npos);
  EXPECT_NE(server.output.find("/BLANK//"), std::string::npos);
  EXPECT_NE(server.output.find("/LAST/THE END/"), std::string::npos);
  // An unknown name writes no line: the next line is the next command's.
  size_t unknown = server.output.find("-> \"PROJECTOR zoom\"\n");
  ASSERT_NE(unknown, std::string::npos) << server.output;
  size_t nextLine = server.output.find('\n', unknown) + 1;
  EXPECT_EQ(server.output.compare(nextLine, 2, "R "), 0) << server.output.substr(unknown);
  EXPECT_EQ(server.output.find("/ZOOM/"), std::string::npos);

  StopServer();
  EXPECT_EQ(e2e::ExitCode(server), 0) << server.output;
}

TEST_F(NativeProjector, WithEscapesOnTheLineCarriesTheBytesTheyStandFor) {
  ASSERT_TRUE(StartSerialPair(dir, &serial)) << serial.socat.output;
  StartServer("port=" + serial.endA + "\nescapes=on\n", EscapeFunctions());
  ASSERT_TRUE(e2e::WaitForOutput(server, OpenLine(serial.endA), kStartTimeoutMs)) << server.output;
  EXPECT_NE(server.output.find("Found  4 projector commands\n" + kEscapesWarning + "\n"),
            std::string::npos)
      << server.output;

  Send("PROJECTOR on");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 7, kCommandTimeoutMs), "PWR ON\r");
  Send("PROJECTOR frame");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 5, kCommandTimeoutMs), std::string("\x02\x00"
                                                                              "A\xff\x03",
                                                                              5));
  Send("PROJECTOR mixed");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 3, kCommandTimeoutMs), "\\\t\n");
  Send("PROJECTOR bad");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 4, kCommandTimeoutMs), "A\\qB");
  ExpectServerGoesOn("marker");
  EXPECT_EQ(BytesWithin(serial.readFd, 300), "");
  // The confirmation shows the entries as written.
  EXPECT_NE(server.output.find("/ON/PWR ON\\r/"), std::string::npos) << server.output;
  EXPECT_NE(server.output.find("/FRAME/\\x02\\x00A\\xfF\\x03/"), std::string::npos);
}

TEST_F(NativeProjector, WithoutEscapesBackslashesAreSentAsWritten) {
  ASSERT_TRUE(StartSerialPair(dir, &serial)) << serial.socat.output;
  StartServer("port=" + serial.endA + "\n", EscapeFunctions());
  ASSERT_TRUE(e2e::WaitForOutput(server, OpenLine(serial.endA), kStartTimeoutMs)) << server.output;
  Send("PROJECTOR on");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 8, kCommandTimeoutMs), "PWR ON\\r");
  Send("PROJECTOR frame");
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 17, kCommandTimeoutMs), "\\x02\\x00A\\xfF\\x03");
  ExpectServerGoesOn("marker");
  EXPECT_EQ(server.output.find("WARNING"), std::string::npos) << server.output;
}

TEST_F(NativeProjector, AMissingDeviceGivesTheFailureLineAndTheServerGoesOn) {
  StartServer("port=/dev/does-not-exist\n");
  EXPECT_TRUE(e2e::WaitForOutput(server, FailureLine("/dev/does-not-exist"), kStartTimeoutMs))
      << server.output;
  // The confirmation still appears; there is nothing to write to.
  Send("PROJECTOR lamp");
  ExpectServerGoesOn("still-here");
  EXPECT_NE(server.output.find("/LAMP/ABC/"), std::string::npos) << server.output;
}

TEST_F(NativeProjector, AnOrdinaryFileIsRefusedAndLeftAlone) {
  std::string file = dir + "/projector.txt";
  e2e::WriteTextFile(file, "untouched");
  StartServer("port=" + file + "\n");
  EXPECT_TRUE(e2e::WaitForOutput(server, FailureLine(file), kStartTimeoutMs)) << server.output;
  Send("PROJECTOR lamp");
  ExpectServerGoesOn("still-here");
  EXPECT_EQ(e2e::ReadTextFile(file), "untouched");
}

TEST_F(NativeProjector, OneAndAHalfStopBitsFailAndTheLineIsLeftFree) {
  ASSERT_TRUE(StartSerialPair(dir, &serial)) << serial.socat.output;
  StartServer("port=" + serial.endA + "\nstopbits=1.5\n");
  EXPECT_TRUE(e2e::WaitForOutput(server, FailureLine(serial.endA), kStartTimeoutMs))
      << server.output;
  EXPECT_EQ(server.output.find(OpenLine(serial.endA)), std::string::npos);
  // Not kept half-configured: another program can take the line.
  EXPECT_FALSE(HeldExclusively(serial.endA));
  Send("PROJECTOR lamp");
  ExpectServerGoesOn("still-here");
  EXPECT_EQ(BytesWithin(serial.readFd, 300), "");
}

TEST_F(NativeProjector, ALineInUseElsewhereIsRefused) {
  ASSERT_TRUE(StartSerialPair(dir, &serial)) << serial.socat.output;
  int holder = open(serial.endA.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  StartServer("port=" + serial.endA + "\n");
  EXPECT_TRUE(e2e::WaitForOutput(server, FailureLine(serial.endA), kStartTimeoutMs))
      << server.output;
  close(holder);
}

// ---------------------------------------------------------------------------
// The Windows program under Wine, COM1 mapped to end A in the test's prefix.

// Runs a shell command whose Wine processes must not hold a pipe of ours: a
// wineserver or Wine service started on the way inherits the output, so it
// goes to a file, never to a pipe that a test waits on.
int RunWineShell(const std::string& command, const std::string& logFile) {
  std::string server = "/usr/lib/wine/wineserver";
  std::string script = server + " -p </dev/null >/dev/null 2>&1; (" + command + ") </dev/null >>" +
                       logFile + " 2>&1";
  return std::system(script.c_str());
}

std::string ProbeCommand(const std::string& arguments) {
  return e2e::WineLoader() + " " + e2e::WindowsBinaryDir() +
         "/tests/wine_probe/podiant-probe.exe " + arguments;
}

std::string ReadLink(const std::string& path) {
  char target[512] = {};
  ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

class WineProjector : public ::testing::Test {
 protected:
  void SetUp() override {
    if (e2e::WindowsBinaryDir().empty()) GTEST_SKIP() << "no Windows build";
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr || std::getenv("DISPLAY") == nullptr) {
      GTEST_SKIP() << "needs WINEPREFIX and DISPLAY (scripts/test-all.sh sets them)";
    }
    winePrefix = prefix;
    dir = e2e::MakeTemporaryDirectory();
    udpPort = e2e::FreeUdpPort();
    // The session's server and services run before any program whose output
    // the test reads through a pipe.
    RunWineShell(ProbeCommand("foreground"), dir + "/wine-setup.log");
  }
  void TearDown() override {
    CloseServer();
    StopSerialPair(&serial);
    if (mappedCom1) {
      // The link stays until the next restart of the session, but no later
      // session maps COM1 to the pseudo-terminal that is gone now.
      RunWineShell(e2e::WineLoader() + " reg delete 'HKLM\\Software\\Wine\\Ports' /v COM1 /f",
                   dir + "/wine-setup.log");
    }
    if (!dir.empty()) e2e::RemoveTree(dir);
  }

  // Maps COM1 to `device` in the prefix: Wine makes its device links from the
  // registry when its server starts, so the server is restarted.
  void MapCom1To(const std::string& device) {
    std::string log = dir + "/wine-setup.log";
    std::string wine = e2e::WineLoader();
    std::string server = "/usr/lib/wine/wineserver";
    ASSERT_EQ(RunWineShell(wine + " reg add 'HKLM\\Software\\Wine\\Ports' /v COM1 /t REG_SZ /d '" +
                               device + "' /f",
                           log),
              0)
        << e2e::ReadTextFile(log);
    mappedCom1 = true;
    ASSERT_EQ(RunWineShell(server + " -k; " + server + " -w", log), 0) << e2e::ReadTextFile(log);
    // The first program of the new session starts the services that write
    // the links.
    RunWineShell(
        wine + " " + e2e::WindowsBinaryDir() + "/tests/wine_probe/podiant-probe.exe foreground",
        log);
    std::string link = winePrefix + "/dosdevices/com1";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    bool mapped = ReadLink(link) == device;
    while (!mapped && std::chrono::steady_clock::now() < deadline) {
      usleep(50000);
      mapped = ReadLink(link) == device;
    }
    ASSERT_TRUE(mapped) << link << " -> " << ReadLink(link) << "\n" << e2e::ReadTextFile(log);
  }

  void StartServer(const std::string& projectorLines,
                   const std::string& functions = FunctionsSection()) {
    e2e::WriteTextFile(dir + "/podiant.ini", "[settings]\r\nport=" + std::to_string(udpPort) +
                                                 "\r\n[projector]\r\n" + projectorLines +
                                                 functions);
    server = e2e::StartProcess(
        {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/shell/podiant-server.exe"}, dir);
    ASSERT_TRUE(StatusShows("Listening at")) << StatusText();
  }

  std::string StatusText() {
    std::string text;
    e2e::ReadWindowControlText(kMainWindowTitle, 101, &text);
    return text;
  }

  // Polls the main window's status label until it shows `text`.
  bool StatusShows(const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (StatusText().find(text) != std::string::npos) return true;
      usleep(100000);
    }
    return false;
  }

  void CloseServer() {
    if (server.pid <= 0 || server.exited) return;
    e2e::RunProbe({"post-close", kMainWindowTitle});
    if (!e2e::WaitForExit(server, kStartTimeoutMs)) e2e::StopProcess(server);
  }

  void Send(const std::string& command) { e2e::SendDatagram(command, udpPort); }

  // Waits for the confirmation notice and gives its text.
  std::string NoticeText() {
    int exitCode = -1;
    std::string hex = e2e::RunProbe(
        {"notice-text", kNoticeCaption, std::to_string(kCommandTimeoutMs)}, &exitCode);
    return exitCode == 0 ? e2e::FromHex(hex)
                         : "(no notice: the probe ended with " + std::to_string(exitCode) + ")";
  }

  bool PressNoticeOk() {
    int exitCode = -1;
    e2e::RunProbe({"answer-notice", kNoticeCaption, std::to_string(kCommandTimeoutMs)}, &exitCode);
    return exitCode == 0;
  }

  std::string winePrefix;
  bool mappedCom1 = false;
  std::string dir;
  int udpPort = 0;
  SerialPair serial;
  e2e::Process server;
};

TEST_F(WineProjector, WritesTheTextToCom1OnlyAfterTheNoticeIsConfirmed) {
  ASSERT_TRUE(StartSerialPair(dir, &serial)) << serial.socat.output;
  MapCom1To(serial.endA);
  StartServer("port=COM1\r\nbaud=9600\r\ndatabits=8\r\nstopbits=1\r\nparity=NONE\r\n");
  ASSERT_TRUE(StatusShows(OpenLine("COM1"))) << StatusText();
  EXPECT_TRUE(StatusShows("Found  " + std::to_string(kFunctionsCount) + " projector commands"))
      << StatusText();

  Send("PROJECTOR lamp");
  EXPECT_EQ(NoticeText(), "/LAMP/ABC/") << StatusText();
  // The box is up and waits for the user: nothing may be on the line yet.
  EXPECT_EQ(BytesWithin(serial.readFd, 500), "");
  ASSERT_TRUE(PressNoticeOk());
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 3, kCommandTimeoutMs), "ABC");

  Send("PROJECTOR zoom");  // unknown: no notice, nothing written
  Send("PROJECTOR last");
  EXPECT_EQ(NoticeText(), "/LAST/THE END/") << StatusText();
  ASSERT_TRUE(PressNoticeOk());
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 7, kCommandTimeoutMs), "THE END");

  CloseServer();
  EXPECT_TRUE(server.exited);
}

TEST_F(WineProjector, WithEscapesCom1CarriesTheBytesTheyStandFor) {
  ASSERT_TRUE(StartSerialPair(dir, &serial)) << serial.socat.output;
  MapCom1To(serial.endA);
  StartServer("port=COM1\r\nescapes=on\r\n", EscapeFunctions());
  ASSERT_TRUE(StatusShows(OpenLine("COM1"))) << StatusText();
  EXPECT_NE(StatusText().find("\rFound  4 projector commands\r" + kEscapesWarning + "\r"),
            std::string::npos)
      << StatusText();

  Send("PROJECTOR frame");
  EXPECT_EQ(NoticeText(), "/FRAME/\\x02\\x00A\\xfF\\x03/");
  ASSERT_TRUE(PressNoticeOk());
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 5, kCommandTimeoutMs), std::string("\x02\x00"
                                                                              "A\xff\x03",
                                                                              5));
  Send("PROJECTOR on");
  ASSERT_TRUE(PressNoticeOk());
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 7, kCommandTimeoutMs), "PWR ON\r");
  Send("PROJECTOR mixed");
  ASSERT_TRUE(PressNoticeOk());
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 3, kCommandTimeoutMs), "\\\t\n");
  EXPECT_EQ(BytesWithin(serial.readFd, 500), "");
}

TEST_F(WineProjector, AMissingPortGivesTheFailureLineAndTheServerGoesOn) {
  StartServer("port=COM9\r\n");
  EXPECT_TRUE(StatusShows(FailureLine("COM9"))) << StatusText();
  Send("still-here");
  EXPECT_TRUE(StatusShows("ERR: Unknown command received \"still-here\"")) << StatusText();
}

}  // namespace
