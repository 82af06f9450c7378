// The Windows installer as it is shipped, under Wine: silent install, what
// lands where, the shortcuts, the installed program run from the shortcut's
// working directory, an upgrade, a refused downgrade and a silent uninstall.
// The test has a Wine prefix and an X display of its own (a fresh prefix
// takes a few seconds to make): what it installs and the windows it opens
// never meet the other Wine tests, and it needs nothing prepared for it.
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/e2e_support.h"

// After GoogleTest: Xlib defines None and Bool as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

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
  std::string msiexecOutput;
};
Suite* suite = nullptr;

// A Wine program in the test's prefix; its exit code (truncated to 8 bits,
// as every exit code of a Windows program that reaches Linux). A bare name is
// one of Wine's own programs, run by its full path: the loader then starts it
// directly, where it would otherwise go through start.exe, whose own failure
// to start it ends as a plain exit code 1.
int Wine(const std::vector<std::string>& arguments, std::string* output = nullptr) {
  std::vector<std::string> argv = {e2e::WineLoader()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  if (argv[1].find('\\') == std::string::npos)
    argv[1] = "C:\\windows\\system32\\" + argv[1] + ".exe";
  int exitCode = -1;
  std::string text = e2e::RunProgram(argv, "", &exitCode, 120000);
  if (output != nullptr) *output = text;
  return exitCode;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The Linux path of a path on drive C: of the prefix, and the Windows path of
// a Linux path (drive Z: is the Linux root).
std::string LinuxPath(std::string windowsPath) {
  std::replace(windowsPath.begin(), windowsPath.end(), '\\', '/');
  return suite->prefix + "/drive_c/" + windowsPath.substr(3);
}
std::string WindowsPath(std::string linuxPath) {
  std::replace(linuxPath.begin(), linuxPath.end(), '/', '\\');
  return "Z:" + linuxPath;
}

// The shortcuts "Podiant Server" of the all-users Start-menu folder `folder`
// ("Programs" or "Programs/StartUp"): Windows has them in ProgramData, Wine
// in the installing user's own Start menu.
std::vector<std::string> Shortcuts(const std::string& folder) {
  std::string relative = "Microsoft/Windows/Start Menu/" + folder + "/Podiant Server.lnk";
  std::vector<std::string> places = {suite->prefix + "/drive_c/ProgramData/" + relative};
  for (const auto& user : fs::directory_iterator(suite->prefix + "/drive_c/users")) {
    places.push_back(user.path().string() + "/AppData/Roaming/" + relative);
  }
  std::erase_if(places, [](const std::string& place) { return !fs::exists(place); });
  return places;
}

// A shortcut's target, working directory and arguments, read through
// IShellLink by the probe.
std::vector<std::string> ReadShortcut(const std::string& linuxPath) {
  int exitCode = -1;
  std::vector<std::string> fields =
      Lines(e2e::RunProbe({"shortcut", WindowsPath(linuxPath)}, &exitCode));
  EXPECT_EQ(exitCode, 0) << linuxPath;
  fields.resize(3);
  for (std::string& field : fields) field = e2e::FromHex(field);
  if (!fields[1].empty() && fields[1].back() != '\\') fields[1] += '\\';
  return fields;
}

void ExpectShortcutToTheProgram(const std::string& linuxPath, const std::string& settingsFolder) {
  EXPECT_EQ(ReadShortcut(linuxPath),
            (std::vector<std::string>{std::string(kProgramFolder) + "podiant-server.exe",
                                      settingsFolder, ""}))
      << linuxPath;
}

// The Uninstall keys of the registry (Add/Remove Programs).
std::string UninstallEntries() {
  std::string output;
  Wine({"reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s"},
       &output);
  return output;
}
int ProductEntries() {
  return e2e::CountOccurrences(UninstallEntries(), "DisplayName    REG_SZ    Podiant Server\r");
}

// msiexec ACTION MSI /qn with a verbose log, which the test may read after.
std::string LogPath() { return suite->directory + "/msiexec.log"; }
int Msiexec(const std::string& action, const std::string& msi,
            const std::vector<std::string>& properties = {}, double* seconds = nullptr) {
  std::vector<std::string> arguments = {"msiexec", action, WindowsPath(msi),
                                        "/qn",     "/l*v", WindowsPath(LogPath())};
  arguments.insert(arguments.end(), properties.begin(), properties.end());
  auto start = std::chrono::steady_clock::now();
  int exitCode = Wine(arguments, &suite->msiexecOutput);
  if (seconds != nullptr) {
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  return exitCode;
}

// For a failed msiexec: what it printed and the end of its log.
std::string MsiexecReport() {
  std::string log = e2e::ReadTextFile(LogPath());
  return suite->msiexecOutput + "\n..." + log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
}

// The rows of a table of the installer's database, each as its fields.
std::vector<std::vector<std::string>> TableRows(const std::string& msi, const std::string& table) {
  int exitCode = -1;
  std::string text = e2e::RunProgram({"msiinfo", "export", msi, table}, "", &exitCode);
  EXPECT_EQ(exitCode, 0) << text;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> lines = Lines(text);
  // After the names, the column types and the table's keys.
  for (size_t i = std::min<size_t>(3, lines.size()); i < lines.size(); ++i) {
    std::vector<std::string> fields;
    std::stringstream in(lines[i]);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    if (!lines[i].empty() && lines[i].back() == '\t') fields.emplace_back();
    rows.push_back(fields);
  }
  return rows;
}

// Polls the installed program's status label until it contains `part`.
bool WaitForLabel(const std::string& part, std::string* label) {
  for (int waited = 0; waited < 30000; waited += 100) {
    if (e2e::ReadWindowControlText(kTitle, 101, label) && label->find(part) != std::string::npos) {
      return true;
    }
    usleep(100000);
  }
  return false;
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
    // The wineserver and the prefix's services start with their output
    // elsewhere, so that they hold no pipe of the test.
    ASSERT_EQ(std::system("/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1"), 0);
    ASSERT_EQ(std::system("/usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1"), 0);
    ASSERT_EQ(std::system("/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1"), 0);

    // The upgrade: the shipped programs and files as the next version.
    std::string stage = suite->directory + "/stage";
    std::string zip = kPackageDir + "/podiant-server-" + kVersion + "-win64.zip";
    int exitCode = -1;
    std::string output = e2e::RunProgram({"unzip", "-q", zip, "-d", stage}, "", &exitCode);
    ASSERT_EQ(exitCode, 0) << output;
    output = e2e::RunProgram({e2e::SourceDir() + "/packaging/windows/build-msi.sh",
                              stage + "/podiant-server-" + kVersion + "-win64", NextVersion(),
                              suite->directory + "/next.msi"},
                             "", &exitCode, 120000);
    ASSERT_EQ(exitCode, 0) << output;
    suite->nextMsi = suite->directory + "/next.msi";
  }

  static void TearDownTestSuite() {
    if (suite == nullptr) return;
    int ignored =
        std::system("/usr/lib/wine/wineserver -k >/dev/null 2>&1; /usr/lib/wine/wineserver -w");
    (void)ignored;
    StopX11Session(&suite->display);
    e2e::RemoveTree(suite->directory);
    delete suite;
    suite = nullptr;
  }

  void SetUp() override {
    if (suite == nullptr || suite->nextMsi.empty()) GTEST_SKIP() << "no test prefix";
    ASSERT_EQ(ProductEntries(), 0) << "installed before the test: " << UninstallEntries();
  }

  void TearDown() override {
    e2e::StopProcess(server);
    if (HasFailure()) {  // the next test starts from nothing installed
      Msiexec("/x", suite->nextMsi);
      Msiexec("/x", suite->msi);
    }
  }

  e2e::Process server;
};

TEST_F(WindowsInstaller, InstallsRunsUpgradesAndUninstallsSilentlyKeepingTheSettings) {
  double seconds = 0;
  ASSERT_EQ(Msiexec("/i", suite->msi, {}, &seconds), 0) << MsiexecReport();
  std::printf("silent install: %.2f s\n", seconds);

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
  // The firewall rules' actions ran, with the 64-bit netsh (Wine's netsh
  // keeps no rules: that the installation went through is what shows here;
  // the rules themselves are checked in the installer's tables below).
  std::string log = e2e::ReadTextFile(LogPath());
  EXPECT_NE(log.find(": AddFirewallRule."), std::string::npos);
  EXPECT_NE(log.find("NETSH = C:\\windows\\system32\\netsh.exe"), std::string::npos);
  EXPECT_NE(log.find(": AddProgramFirewallRuleTcp."), std::string::npos);
  EXPECT_NE(log.find(": AddProgramFirewallRuleUdp."), std::string::npos);

  // One Start-menu shortcut, to the program, started in the settings folder;
  // no Startup shortcut without Autostart.
  std::vector<std::string> shortcuts = Shortcuts("Programs");
  ASSERT_EQ(shortcuts.size(), 1u);
  ExpectShortcutToTheProgram(shortcuts[0], kSettingsFolder);
  EXPECT_TRUE(Shortcuts("Programs/StartUp").empty());

  // The installed program, started where the shortcut starts it, reads the
  // installed settings: a port of the test's choosing.
  int port = e2e::FreeUdpPort();
  std::string settings = e2e::ReadTextFile(ini);
  settings.replace(settings.find("port=16001"), 10, "port=" + std::to_string(port));
  e2e::WriteTextFile(ini, settings);
  server =
      e2e::StartProcess({e2e::WineLoader(), std::string(kProgramFolder) + "podiant-server.exe"},
                        LinuxPath(ReadShortcut(shortcuts[0])[1]));
  std::string label;
  ASSERT_TRUE(WaitForLabel("Listening at", &label)) << label;
  EXPECT_NE(label.find(":" + std::to_string(port) + "..."), std::string::npos) << label;

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
  EXPECT_EQ(Wine({std::string(kProgramFolder) + "podiant-send.exe", "--port", std::to_string(port),
                  "127.0.0.1", "installed"}),
            0);
  EXPECT_TRUE(WaitForLabel("-> \"installed\"", &label)) << label;
  int exitCode = -1;
  e2e::RunProbe({"post-close", kTitle}, &exitCode);
  ASSERT_EQ(exitCode, 0);
  ASSERT_TRUE(e2e::WaitForExit(server, 30000));
  EXPECT_EQ(e2e::ExitCode(server), 0);

  // The upgrade keeps the changed settings and leaves one entry.
  ASSERT_EQ(Msiexec("/i", suite->nextMsi), 0) << MsiexecReport();
  EXPECT_EQ(e2e::ReadTextFile(ini), settings);
  EXPECT_EQ(ProductEntries(), 1) << UninstallEntries();
  EXPECT_NE(UninstallEntries().find("DisplayVersion    REG_SZ    " + NextVersion() + "\r"),
            std::string::npos);
  EXPECT_EQ(Shortcuts("Programs").size(), 1u);

  // An older version is refused: 1603 (ERROR_INSTALL_FAILURE), which reaches
  // Linux as 1603 & 0xFF; a batch file sees the whole code.
  EXPECT_EQ(Msiexec("/i", suite->msi), 1603 & 0xFF);
  e2e::WriteTextFile(suite->directory + "/downgrade.bat",
                     "@echo off\r\nmsiexec /i \"" + WindowsPath(suite->msi) +
                         "\" /qn\r\necho exit code %ERRORLEVEL%\r\n");
  std::string batch;
  Wine({"cmd", "/c", WindowsPath(suite->directory + "/downgrade.bat")}, &batch);
  EXPECT_NE(batch.find("exit code 1603"), std::string::npos) << batch;
  EXPECT_EQ(ProductEntries(), 1);

  // The uninstall removes the programs, the shortcut and the rule, and keeps
  // the changed settings.
  ASSERT_EQ(Msiexec("/x", suite->nextMsi, {}, &seconds), 0) << MsiexecReport();
  std::printf("silent uninstall: %.2f s\n", seconds);
  EXPECT_NE(e2e::ReadTextFile(LogPath()).find(": DeleteFirewallRule."), std::string::npos);
  EXPECT_NE(e2e::ReadTextFile(LogPath()).find(": DeleteProgramFirewallRule."), std::string::npos);
  EXPECT_FALSE(fs::exists(LinuxPath(kProgramFolder)));
  EXPECT_TRUE(Shortcuts("Programs").empty());
  EXPECT_EQ(e2e::ReadTextFile(ini), settings);
  EXPECT_EQ(ProductEntries(), 0);
}

// What Wine's netsh cannot show, read from the installer's tables: the
// command port's rule as it always was, and the program's own rule for the
// ports that podiant.ini sets (the web remote's TCP, OSC's UDP) on private
// and domain networks only, both added as the system once the program is in
// place and deleted at the uninstall.
TEST_F(WindowsInstaller, TheFirewallRulesAreInTheInstallersTables) {
  struct Action {
    std::string type, target, condition;
    int sequence = -1;
  };
  std::map<std::string, Action> actions;
  for (const auto& row : TableRows(suite->msi, "CustomAction")) {
    ASSERT_GE(row.size(), 4u);
    actions[row[0]].type = row[1];
    actions[row[0]].target = row[3];
  }
  std::map<std::string, int> standard;
  for (const auto& row : TableRows(suite->msi, "InstallExecuteSequence")) {
    ASSERT_EQ(row.size(), 3u);
    standard[row[0]] = std::stoi(row[2]);
    if (actions.count(row[0]) != 0) {
      actions[row[0]].condition = row[1];
      actions[row[0]].sequence = std::stoi(row[2]);
    }
  }
  const std::string program = "program=\"[#ServerExe]\"";
  const std::string own = "name=\"Podiant Server (web remote and OSC)\"";
  EXPECT_EQ(actions["AddFirewallRule"].target,
            "advfirewall firewall add rule name=\"Podiant Server\" dir=in action=allow "
            "protocol=UDP localport=16001 " +
                program + " description=\"Podiant Server commands\"");

  std::vector<std::string> protocols, deletes;
  for (const auto& [name, action] : actions) {
    if (action.target.find("advfirewall") == std::string::npos) continue;
    // Run by the 64-bit netsh as the system (deferred, not impersonated),
    // its outcome ignored.
    EXPECT_EQ(action.type, "3186") << name;
    EXPECT_GT(action.sequence, standard.at("InstallInitialize")) << name;
    EXPECT_LT(action.sequence, standard.at("InstallFinalize")) << name;
    if (action.target.find(own) == std::string::npos) continue;
    if (action.target.find("delete rule") != std::string::npos) {
      EXPECT_EQ(action.target, "advfirewall firewall delete rule " + own);
      EXPECT_EQ(action.condition, "REMOVE~=\"ALL\"");
      deletes.push_back(name);
      continue;
    }
    EXPECT_NE(action.target.find(" dir=in action=allow "), std::string::npos) << name;
    EXPECT_NE(action.target.find(" profile=private,domain "), std::string::npos) << name;
    EXPECT_NE(action.target.find(" " + program), std::string::npos) << name;
    EXPECT_EQ(action.target.find("localport"), std::string::npos) << name;
    EXPECT_EQ(action.condition, "NOT Installed AND NOT REMOVE~=\"ALL\"") << name;
    // After the files: the rule names the installed program.
    EXPECT_GT(action.sequence, standard.at("InstallFiles")) << name;
    size_t protocol = action.target.find(" protocol=");
    if (protocol != std::string::npos) {
      protocols.push_back(action.target.substr(protocol + 10, 3));
    }
  }
  std::sort(protocols.begin(), protocols.end());
  EXPECT_EQ(protocols, (std::vector<std::string>{"TCP", "UDP"}));
  EXPECT_EQ(deletes.size(), 1u);
}

TEST_F(WindowsInstaller, AutostartAndAnotherSettingsFolderLastThroughAnUpgrade) {
  // ADDLOCAL=Autostart alone installs the program as well.
  ASSERT_EQ(Msiexec("/i", suite->msi, {"ADDLOCAL=Autostart", "SETTINGSFOLDER=C:\\Show"}), 0)
      << MsiexecReport();
  EXPECT_TRUE(fs::exists(LinuxPath(std::string(kProgramFolder) + "podiant-server.exe")));
  EXPECT_TRUE(fs::exists(LinuxPath("C:\\Show\\podiant.ini")));
  for (const char* folder : {"Programs", "Programs/StartUp"}) {
    ASSERT_EQ(Shortcuts(folder).size(), 1u) << folder;
    ExpectShortcutToTheProgram(Shortcuts(folder)[0], "C:\\Show\\");
  }

  // An upgrade without options keeps both choices.
  ASSERT_EQ(Msiexec("/i", suite->nextMsi), 0) << MsiexecReport();
  ASSERT_EQ(Shortcuts("Programs/StartUp").size(), 1u);
  ExpectShortcutToTheProgram(Shortcuts("Programs/StartUp")[0], "C:\\Show\\");

  ASSERT_EQ(Msiexec("/x", suite->nextMsi), 0) << MsiexecReport();
  EXPECT_TRUE(Shortcuts("Programs/StartUp").empty());
  EXPECT_TRUE(Shortcuts("Programs").empty());
  EXPECT_TRUE(fs::exists(LinuxPath("C:\\Show\\podiant.ini")));
}

}  // namespace
