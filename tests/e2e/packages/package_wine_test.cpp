// The Windows installer as it is shipped, under Wine: silent install, what
// lands where, the shortcuts, the installed program run from the shortcut's
// working directory, an upgrade, a refused downgrade and a silent uninstall.
// The test has a Wine prefix and an X display of its own (a fresh prefix
// takes a few seconds to make), so that what it installs and the windows it
// opens cannot meet the other Wine tests, which run meanwhile.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/e2e_support.h"

// After GoogleTest: Xlib defines None and Bool as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "tests/e2e/x11/x11_session.h"

namespace fs = std::filesystem;

namespace {

const std::string kVersion = PODIANT_VERSION;
const std::string kPackageDir = PODIANT_PACKAGE_DIR;
constexpr const char* kTitle = "Podiant Server";
constexpr const char* kProgramFolder = "C:\\Program Files\\Podiant Server\\";
constexpr const char* kSettingsFolder = "C:\\ProgramData\\Podiant Server\\";

// The next patch version: the installer of the upgrade.
std::string NextVersion() {
  size_t dot = kVersion.rfind('.');
  return kVersion.substr(0, dot + 1) + std::to_string(std::stoi(kVersion.substr(dot + 1)) + 1);
}

struct Suite {
  X11Session display;
  std::string directory;
  std::string prefix;
  std::string msi;      // the shipped installer
  std::string nextMsi;  // the same programs as the next version
};
Suite* suite = nullptr;

int Shell(const std::string& command) { return std::system(command.c_str()); }

// A Wine program in the test's prefix; its exit code (truncated to 8 bits,
// as every exit code of a Windows program that reaches Linux).
int Wine(const std::vector<std::string>& arguments, std::string* output = nullptr,
         const std::string& workDir = "") {
  std::vector<std::string> argv = {e2e::WineLoader()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  int exitCode = -1;
  std::string text = e2e::RunProgram(argv, workDir, &exitCode, 120000);
  if (output != nullptr) *output = text;
  return exitCode;
}

// Seconds that `run` took.
template <typename Run>
double Timed(Run run) {
  auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The Linux path of a path on drive C: of the prefix.
std::string LinuxPath(std::string windowsPath) {
  for (char& c : windowsPath) {
    if (c == '\\') c = '/';
  }
  return suite->prefix + "/drive_c/" + windowsPath.substr(3);
}

// The Windows path of a Linux path (drive Z: is the Linux root).
std::string WindowsPath(std::string linuxPath) {
  for (char& c : linuxPath) {
    if (c == '/') c = '\\';
  }
  return "Z:" + linuxPath;
}

// Where a shortcut NAME of the all-users Start-menu folder `folder`
// ("Programs" or "Programs\StartUp") is: Windows puts it in ProgramData,
// Wine in the installing user's own Start menu.
std::vector<std::string> ShortcutPlaces(const std::string& folder) {
  std::string relative = "Microsoft/Windows/Start Menu/" + folder + "/Podiant Server.lnk";
  std::vector<std::string> places = {suite->prefix + "/drive_c/ProgramData/" + relative};
  for (const auto& user : fs::directory_iterator(suite->prefix + "/drive_c/users")) {
    places.push_back(user.path().string() + "/AppData/Roaming/" + relative);
  }
  return places;
}

std::vector<std::string> FoundShortcuts(const std::string& folder) {
  std::vector<std::string> found;
  for (const std::string& place : ShortcutPlaces(folder)) {
    if (fs::exists(place)) found.push_back(place);
  }
  return found;
}

struct Shortcut {
  std::string target, workingDirectory, arguments;
};

std::vector<std::string> Lines(const std::string& text);

// Read through IShellLink by the probe.
Shortcut ReadShortcut(const std::string& linuxPath) {
  int exitCode = -1;
  std::string output = e2e::RunProbe({"shortcut", WindowsPath(linuxPath)}, &exitCode);
  EXPECT_EQ(exitCode, 0) << output;
  std::vector<std::string> lines = Lines(output);
  lines.resize(3);
  return {e2e::FromHex(lines[0]), e2e::FromHex(lines[1]), e2e::FromHex(lines[2])};
}

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

void ExpectShortcutToTheProgram(const std::string& linuxPath, const std::string& settingsFolder) {
  Shortcut shortcut = ReadShortcut(linuxPath);
  EXPECT_EQ(shortcut.target, std::string(kProgramFolder) + "podiant-server.exe") << linuxPath;
  EXPECT_EQ(WithBackslash(shortcut.workingDirectory), settingsFolder) << linuxPath;
  EXPECT_EQ(shortcut.arguments, "") << linuxPath;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

// The versions of the product's entries in Add/Remove Programs (the
// Uninstall keys in the registry), blank-separated.
int ProductEntries(std::string* versions) {
  std::string output;
  Wine({"reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s"},
       &output);
  int count = 0;
  versions->clear();
  bool ours = false;
  std::string version;
  auto endKey = [&] {
    if (ours) {
      ++count;
      *versions += version + " ";
    }
    ours = false;
    version.clear();
  };
  std::smatch match;
  for (const std::string& line : Lines(output)) {
    if (line.rfind("HKEY_", 0) == 0) endKey();
    if (std::regex_match(line, std::regex(" *DisplayName +REG_SZ +Podiant Server"))) ours = true;
    if (std::regex_match(line, match, std::regex(" *DisplayVersion +REG_SZ +(.*)"))) {
      version = match[1].str();
    }
  }
  endKey();
  return count;
}

// msiexec with a verbose log (the log of the last run: LastLog()).
std::string LastLog() { return e2e::ReadTextFile(suite->directory + "/msiexec.log"); }

int Msiexec(std::vector<std::string> arguments, double* seconds) {
  arguments.insert(arguments.begin(), "msiexec");
  arguments.push_back("/l*v");
  arguments.push_back(WindowsPath(suite->directory + "/msiexec.log"));
  int exitCode = -1;
  double took = Timed([&] { exitCode = Wine(arguments); });
  if (seconds != nullptr) *seconds = took;
  return exitCode;
}

int Install(const std::string& msi, const std::vector<std::string>& properties = {},
            double* seconds = nullptr) {
  std::vector<std::string> arguments = {"/i", WindowsPath(msi), "/qn"};
  arguments.insert(arguments.end(), properties.begin(), properties.end());
  return Msiexec(arguments, seconds);
}

int Uninstall(const std::string& msi, double* seconds = nullptr) {
  return Msiexec({"/x", WindowsPath(msi), "/qn"}, seconds);
}

// The icon that the program's window gives the desktop (_NET_WM_ICON: width,
// height, then ARGB pixels, the large icon first), found by the window's
// title on the test's own display.
std::vector<unsigned long> WindowIcon() {
  Display* display = suite->display.connection;
  Window root = DefaultRootWindow(display), parent = None, *children = nullptr;
  unsigned int count = 0;
  std::vector<unsigned long> icon;
  XQueryTree(display, root, &root, &parent, &children, &count);
  for (unsigned int i = 0; i < count && icon.empty(); ++i) {
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name != nullptr && std::string(name) == kTitle) {
      Atom type = None;
      int format = 0;
      unsigned long items = 0, remaining = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(display, children[i], XInternAtom(display, "_NET_WM_ICON", False), 0,
                             1 << 20, False, XA_CARDINAL, &type, &format, &items, &remaining,
                             &data) == Success &&
          data != nullptr) {
        const unsigned long* values = reinterpret_cast<unsigned long*>(data);
        icon.assign(values, values + items);
      }
      if (data != nullptr) XFree(data);
    }
    if (name != nullptr) XFree(name);
  }
  if (children != nullptr) XFree(children);
  return icon;
}

class WindowsInstaller : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    suite = new Suite;
    suite->msi = kPackageDir + "/podiant-server-" + kVersion + "-win64.msi";
    ASSERT_TRUE(fs::exists(suite->msi)) << suite->msi << ": run scripts/package.sh";
    ASSERT_TRUE(StartX11Session(&suite->display, false));
    suite->directory = e2e::MakeTemporaryDirectory();
    suite->prefix = suite->directory + "/prefix";
    fs::create_directories(suite->prefix);
    setenv("WINEPREFIX", suite->prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEARCH", "win64", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    // The wineserver and the prefix's services must not hold a pipe of the
    // test: they start with their output elsewhere.
    ASSERT_EQ(Shell("/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1"), 0);
    double boot = Timed([] {
      Shell("/usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1");
      Shell("/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1");
    });
    std::printf("new Wine prefix: %.1f s\n", boot);

    // The upgrade: the shipped programs and files as the next version.
    std::string stage = suite->directory + "/stage";
    std::string zip = kPackageDir + "/podiant-server-" + kVersion + "-win64.zip";
    int exitCode = -1;
    std::string output = e2e::RunProgram({"unzip", "-q", zip, "-d", stage}, "", &exitCode);
    ASSERT_EQ(exitCode, 0) << output;
    suite->nextMsi = suite->directory + "/next.msi";
    output = e2e::RunProgram(
        {e2e::SourceDir() + "/packaging/windows/build-msi.sh",
         stage + "/podiant-server-" + kVersion + "-win64", NextVersion(), suite->nextMsi},
        "", &exitCode, 120000);
    ASSERT_EQ(exitCode, 0) << output;
  }

  static void TearDownTestSuite() {
    if (suite == nullptr) return;
    Shell("/usr/lib/wine/wineserver -k >/dev/null 2>&1; /usr/lib/wine/wineserver -w");
    StopX11Session(&suite->display);
    e2e::RemoveTree(suite->directory);
    delete suite;
    suite = nullptr;
  }

  void SetUp() override {
    if (suite == nullptr || suite->nextMsi.empty()) GTEST_SKIP() << "no test prefix";
    std::string versions;
    ASSERT_EQ(ProductEntries(&versions), 0) << "installed before the test: " << versions;
  }

  void TearDown() override {
    e2e::StopProcess(server);
    if (HasFailure()) {  // the next test starts from nothing installed
      Uninstall(suite->nextMsi);
      Uninstall(suite->msi);
    }
  }

  e2e::Process server;
};

TEST_F(WindowsInstaller, InstallsRunsUpgradesAndUninstallsSilentlyKeepingTheSettings) {
  double installSeconds = 0;
  ASSERT_EQ(Install(suite->msi, {}, &installSeconds), 0);
  std::printf("silent install: %.2f s\n", installSeconds);

  // The files where they belong, the programs with their version.
  for (const char* file :
       {"podiant-server.exe", "podiant-send.exe", "README.txt", "LICENSE.txt", "CHANGELOG.txt"}) {
    EXPECT_TRUE(fs::exists(LinuxPath(std::string(kProgramFolder) + file))) << file;
  }
  std::string ini = LinuxPath(std::string(kSettingsFolder) + "podiant.ini");
  ASSERT_TRUE(fs::exists(ini));
  EXPECT_NE(e2e::ReadTextFile(ini).find("\r\nport=16001\r\n"), std::string::npos);
  for (const char* program : {"podiant-server.exe", "podiant-send.exe"}) {
    int exitCode = -1;
    std::vector<std::string> version =
        Lines(e2e::RunProbe({"file-version", std::string(kProgramFolder) + program}, &exitCode));
    EXPECT_EQ(exitCode, 0);
    version.resize(5);
    EXPECT_EQ(version[0], kVersion + ".0") << program;
    EXPECT_EQ(e2e::FromHex(version[1]), kVersion) << program;  // FileVersion
    EXPECT_EQ(e2e::FromHex(version[2]), kVersion) << program;  // ProductVersion
    EXPECT_EQ(e2e::FromHex(version[3]), "Podiant Server") << program;
    EXPECT_FALSE(e2e::FromHex(version[4]).empty()) << program;  // FileDescription
  }
  // The firewall rule's action ran, with the 64-bit netsh (Wine's netsh
  // keeps no rules: that the installation went through is what shows here).
  std::string log = LastLog();
  EXPECT_NE(log.find("Action start"), std::string::npos);
  EXPECT_NE(log.find(": AddFirewallRule."), std::string::npos);
  EXPECT_NE(log.find("NETSH = C:\\windows\\system32\\netsh.exe"), std::string::npos);

  // One Start-menu shortcut, to the program, started in the settings folder;
  // no Startup shortcut without Autostart.
  std::vector<std::string> shortcuts = FoundShortcuts("Programs");
  ASSERT_EQ(shortcuts.size(), 1u);
  ExpectShortcutToTheProgram(shortcuts[0], kSettingsFolder);
  EXPECT_TRUE(FoundShortcuts("Programs/StartUp").empty());

  // The installed program, started where the shortcut starts it, reads the
  // installed settings: a port of the test's choosing.
  int port = e2e::FreeUdpPort();
  std::string settings = e2e::ReadTextFile(ini);
  settings.replace(settings.find("port=16001"), 10, "port=" + std::to_string(port));
  e2e::WriteTextFile(ini, settings);
  std::string workDir = LinuxPath(ReadShortcut(shortcuts[0]).workingDirectory);
  server = e2e::StartProcess(
      {e2e::WineLoader(), std::string(kProgramFolder) + "podiant-server.exe"}, workDir);
  std::string label;
  std::string listening = ":" + std::to_string(port) + "...";
  ASSERT_TRUE(e2e::WaitUntil(
      30000,
      [](void* text) {
        return e2e::ReadWindowControlText(kTitle, 101, static_cast<std::string*>(text)) &&
               static_cast<std::string*>(text)->find("Listening at") != std::string::npos;
      },
      &label));
  EXPECT_NE(label.find(listening), std::string::npos) << label;

  // Its icon in the title bar and on the taskbar: the mark's blue at the top
  // middle of the large (32 x 32) and the small (16 x 16) icon.
  std::vector<unsigned long> icon = WindowIcon();
  std::vector<std::string> sizes;
  for (size_t at = 0; at + 2 <= icon.size(); at += 2 + icon[at] * icon[at + 1]) {
    unsigned long width = icon[at], height = icon[at + 1];
    if (width == 0 || at + 2 + width * height > icon.size()) break;
    sizes.push_back(std::to_string(width) + "x" + std::to_string(height));
    unsigned long pixel = icon[at + 2 + (height / 8) * width + width / 2];
    EXPECT_GE((pixel >> 24) & 0xFF, 0xC0u) << sizes.back();
    EXPECT_GT(pixel & 0xFF, ((pixel >> 16) & 0xFF) + 0x40) << sizes.back();  // blue over red
  }
  EXPECT_EQ(sizes, (std::vector<std::string>{"32x32", "16x16"}));

  // A datagram from the installed podiant-send, then a clean close.
  std::string sent;
  EXPECT_EQ(Wine({std::string(kProgramFolder) + "podiant-send.exe", "--port", std::to_string(port),
                  "127.0.0.1", "installed"},
                 &sent),
            0)
      << sent;
  EXPECT_TRUE(e2e::WaitUntil(
      20000,
      [](void* text) {
        return e2e::ReadWindowControlText(kTitle, 101, static_cast<std::string*>(text)) &&
               static_cast<std::string*>(text)->find("-> \"installed\"") != std::string::npos;
      },
      &label))
      << label;
  int exitCode = -1;
  e2e::RunProbe({"post-close", kTitle}, &exitCode);
  ASSERT_EQ(exitCode, 0);
  ASSERT_TRUE(e2e::WaitForExit(server, 30000));
  EXPECT_EQ(e2e::ExitCode(server), 0);

  // The upgrade keeps the changed settings and leaves one entry.
  ASSERT_EQ(Install(suite->nextMsi), 0);
  EXPECT_EQ(e2e::ReadTextFile(ini), settings);
  std::string versions;
  EXPECT_EQ(ProductEntries(&versions), 1) << versions;
  EXPECT_EQ(versions, NextVersion() + " ");
  EXPECT_EQ(FoundShortcuts("Programs").size(), 1u);

  // An older version is refused: 1603 (ERROR_INSTALL_FAILURE), which reaches
  // Linux as 1603 & 0xFF; a batch file sees the whole code.
  EXPECT_EQ(Install(suite->msi), 1603 & 0xFF);
  e2e::WriteTextFile(suite->directory + "/downgrade.bat",
                     "@echo off\r\nmsiexec /i \"" + WindowsPath(suite->msi) +
                         "\" /qn\r\necho exit code %ERRORLEVEL%\r\n");
  std::string batch;
  Wine({"cmd", "/c", WindowsPath(suite->directory + "/downgrade.bat")}, &batch);
  EXPECT_NE(batch.find("exit code 1603"), std::string::npos) << batch;
  EXPECT_EQ(ProductEntries(&versions), 1) << versions;

  // The uninstall removes the programs and the shortcut and keeps the
  // changed settings.
  double uninstallSeconds = 0;
  ASSERT_EQ(Uninstall(suite->nextMsi, &uninstallSeconds), 0);
  std::printf("silent uninstall: %.2f s\n", uninstallSeconds);
  EXPECT_NE(LastLog().find(": DeleteFirewallRule."), std::string::npos);
  EXPECT_FALSE(fs::exists(LinuxPath(kProgramFolder)));
  EXPECT_TRUE(FoundShortcuts("Programs").empty());
  EXPECT_EQ(e2e::ReadTextFile(ini), settings);
  EXPECT_EQ(ProductEntries(&versions), 0) << versions;
}

TEST_F(WindowsInstaller, AutostartAndAnotherSettingsFolderLastThroughAnUpgrade) {
  // ADDLOCAL=Autostart alone installs the program as well.
  ASSERT_EQ(Install(suite->msi, {"ADDLOCAL=Autostart", "SETTINGSFOLDER=C:\\Show"}), 0);
  EXPECT_TRUE(fs::exists(LinuxPath(std::string(kProgramFolder) + "podiant-server.exe")));
  EXPECT_TRUE(fs::exists(LinuxPath("C:\\Show\\podiant.ini")));
  std::vector<std::string> startup = FoundShortcuts("Programs/StartUp");
  ASSERT_EQ(startup.size(), 1u);
  ExpectShortcutToTheProgram(startup[0], "C:\\Show\\");
  ASSERT_EQ(FoundShortcuts("Programs").size(), 1u);
  ExpectShortcutToTheProgram(FoundShortcuts("Programs")[0], "C:\\Show\\");

  // An upgrade without options keeps both choices.
  ASSERT_EQ(Install(suite->nextMsi), 0);
  startup = FoundShortcuts("Programs/StartUp");
  ASSERT_EQ(startup.size(), 1u);
  ExpectShortcutToTheProgram(startup[0], "C:\\Show\\");

  ASSERT_EQ(Uninstall(suite->nextMsi), 0);
  EXPECT_TRUE(FoundShortcuts("Programs/StartUp").empty());
  EXPECT_TRUE(FoundShortcuts("Programs").empty());
  EXPECT_TRUE(fs::exists(LinuxPath("C:\\Show\\podiant.ini")));
}

}  // namespace
