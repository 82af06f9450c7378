#include "tests/support/e2e_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace e2e {

namespace {

long long NowMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Reads what is there within `waitMs`; false at end of output.
bool ReadSome(Process& process, int waitMs) {
  if (process.outputFd < 0) return false;
  pollfd wait{process.outputFd, POLLIN, 0};
  int ready = poll(&wait, 1, waitMs);
  if (ready <= 0) return true;
  char buffer[65536];
  ssize_t n = read(process.outputFd, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) {
    close(process.outputFd);
    process.outputFd = -1;
    return false;
  }
  process.output.append(buffer, static_cast<size_t>(n));
  return true;
}

bool Reap(Process& process, bool block) {
  if (process.exited || process.pid <= 0) return process.exited;
  int status = 0;
  pid_t r = waitpid(process.pid, &status, block ? 0 : WNOHANG);
  if (r == process.pid) {
    process.exited = true;
    process.exitStatus = status;
  }
  return process.exited;
}

}  // namespace

std::string SourceDir() { return PODIANT_SOURCE_DIR; }
std::string BinaryDir() { return PODIANT_BINARY_DIR; }
std::string WindowsBinaryDir() { return PODIANT_WINDOWS_BINARY_DIR; }

std::string MakeTemporaryDirectory() {
  char pattern[] = "/tmp/podiant-e2e.XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

void RemoveTree(const std::string& path) {
  if (path.rfind("/tmp/", 0) != 0) return;  // never anything outside /tmp
  nftw(
      path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); },
      16, FTW_DEPTH | FTW_PHYS);
}

void WriteTextFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int FreeUdpPort() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

int FreeTcpPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

int HoldUdpPort(int port) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

int CountOccurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool ReceiveDatagram(int fd, int timeoutMs, std::string* payload, int* senderPort) {
  pollfd wait{fd, POLLIN, 0};
  if (poll(&wait, 1, timeoutMs) != 1) return false;
  char buffer[65536];
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &length);
  if (n < 0) return false;
  payload->assign(buffer, static_cast<size_t>(n));
  if (senderPort != nullptr) *senderPort = ntohs(sender.sin_port);
  return true;
}

void SendDatagram(const std::string& payload, int port, const std::string& host,
                  const std::string& from) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (!from.empty()) {
    sockaddr_in source{};
    source.sin_family = AF_INET;
    inet_pton(AF_INET, from.c_str(), &source.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
      throw std::runtime_error("cannot send from " + from);
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, host.c_str(), &address.sin_addr);
  address.sin_port = htons(static_cast<uint16_t>(port));
  sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&address),
         sizeof address);
  close(fd);
}

bool IsLocalAddress(const std::string& address) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  bool bound = inet_pton(AF_INET, address.c_str(), &local.sin_addr) == 1 &&
               bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
  close(fd);
  return bound;
}

Process StartProcess(const std::vector<std::string>& argv, const std::string& workDir,
                     const std::vector<std::string>& extraEnvironment) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
  for (const std::string& extra : extraEnvironment) {
    // "NAME=value" sets, a bare "NAME" removes.
    std::string name = extra.substr(0, extra.find('='));
    std::erase_if(environment, [&](const std::string& e) {
      return e.compare(0, name.size() + 1, name + "=") == 0;
    });
    if (extra.find('=') != std::string::npos) environment.push_back(extra);
  }
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setpgid(0, 0);
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
    int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    dup2(pipeFds[1], STDOUT_FILENO);
    dup2(pipeFds[1], STDERR_FILENO);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execvpe(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  close(pipeFds[1]);
  Process process;
  process.pid = pid;
  process.outputFd = pipeFds[0];
  return process;
}

bool WaitForOutput(Process& process, const std::string& text, int timeoutMs, size_t from) {
  long long deadline = NowMilliseconds() + timeoutMs;
  for (;;) {
    if (process.output.find(text, from) != std::string::npos) return true;
    long long left = deadline - NowMilliseconds();
    if (left <= 0) return false;
    if (!ReadSome(process, static_cast<int>(left < 100 ? left : 100))) {
      return process.output.find(text, from) != std::string::npos;
    }
  }
}

bool WaitForExit(Process& process, int timeoutMs) {
  long long deadline = NowMilliseconds() + timeoutMs;
  for (;;) {
    if (process.outputFd >= 0) {
      ReadSome(process, 20);
    } else {
      usleep(20000);
    }
    if (Reap(process, false)) {
      // What it wrote last; a child that outlives it (a wineserver) may hold
      // the pipe open, so stop when nothing more comes.
      size_t before;
      do {
        before = process.output.size();
      } while (process.outputFd >= 0 && ReadSome(process, 200) && process.output.size() != before);
      return true;
    }
    if (NowMilliseconds() >= deadline) return false;
  }
}

void SendSignal(const Process& process, int signalNumber) {
  if (process.pid > 0 && !process.exited) kill(process.pid, signalNumber);
}

void StopProcess(Process& process) {
  if (process.pid > 0 && !process.exited) {
    kill(-process.pid, SIGKILL);
    kill(process.pid, SIGKILL);
    Reap(process, true);
  }
  if (process.outputFd >= 0) {
    close(process.outputFd);
    process.outputFd = -1;
  }
}

int ExitCode(const Process& process) {
  if (!process.exited || !WIFEXITED(process.exitStatus)) return -1;
  return WEXITSTATUS(process.exitStatus);
}

bool WaitUntil(int timeoutMs, bool (*condition)(void*), void* context) {
  long long deadline = NowMilliseconds() + timeoutMs;
  for (;;) {
    if (condition(context)) return true;
    if (NowMilliseconds() >= deadline) return false;
    usleep(20000);
  }
}

std::vector<pid_t> LiveProcessesWith(const std::vector<std::string>& parts) {
  std::vector<pid_t> found;
  DIR* processes = opendir("/proc");
  while (dirent* entry = processes != nullptr ? readdir(processes) : nullptr) {
    pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    std::string proc = "/proc/" + std::string(entry->d_name);
    std::string stat = ReadTextFile(proc + "/stat");
    size_t state = stat.rfind(") ");
    if (state == std::string::npos || stat.compare(state + 2, 1, "Z") == 0) continue;
    std::string command = ReadTextFile(proc + "/cmdline");
    if (std::all_of(parts.begin(), parts.end(), [&command](const std::string& part) {
          return command.find(part) != std::string::npos;
        })) {
      found.push_back(pid);
    }
  }
  if (processes != nullptr) closedir(processes);
  return found;
}

std::string RunProgram(const std::vector<std::string>& argv, const std::string& workDir,
                       int* exitCode, int timeoutMs) {
  Process process = StartProcess(argv, workDir);
  bool ended = WaitForExit(process, timeoutMs);
  if (!ended) StopProcess(process);
  if (exitCode != nullptr) *exitCode = ended ? ExitCode(process) : -1;
  return process.output;
}

std::string WineLoader() { return "/usr/lib/wine/wine64"; }

std::string WindowsPath(const std::string& path) {
  std::string windows = "Z:" + path;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

std::string RegString(const std::string& text) {
  std::string escaped = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped + "\"";
}

std::string StandInPath() {
  return WindowsBinaryDir() + "/tests/e2e/presentation/powerpoint-standin.exe";
}

int RegisterStandIn(const std::string& directory, bool registering, std::string* output) {
  const std::string classId = "{6E5A1F3C-8B27-4D19-A0C4-3F9B2D7E61A5}";
  const std::string key = "HKEY_CLASSES_ROOT\\CLSID\\" + classId;
  std::string reg = "Windows Registry Editor Version 5.00\n\n";
  reg += "[-HKEY_CLASSES_ROOT\\Powerpoint.Application]\n\n";
  reg += "[-HKEY_CLASSES_ROOT\\PowerPoint.Application.16]\n\n";
  reg += "[-" + key + "]\n\n";
  if (registering) {
    const std::string command =
        "\"" + WindowsPath(StandInPath()) + "\" --dir \"" + WindowsPath(directory) + "\"";
    reg += "[HKEY_CLASSES_ROOT\\Powerpoint.Application\\CLSID]\n@=" + RegString(classId) + "\n\n";
    reg +=
        "[HKEY_CLASSES_ROOT\\PowerPoint.Application.16\\CLSID]\n@=" + RegString(classId) + "\n\n";
    reg += "[" + key + "]\n@=\"Stand-in for PowerPoint\"\n\n";
    reg += "[" + key + "\\ProgID]\n@=\"PowerPoint.Application.16\"\n\n";
    reg += "[" + key + "\\LocalServer32]\n@=" + RegString(command) + "\n\n";
  }
  WriteTextFile(directory + "/standin.reg", reg);
  int exitCode = -1;
  *output = RunProgram({WineLoader(), "regedit", "/s", WindowsPath(directory + "/standin.reg")},
                       directory, &exitCode);
  return exitCode;
}

std::string RunProbe(const std::vector<std::string>& arguments, int* exitCode) {
  std::vector<std::string> argv = {WineLoader(),
                                   WindowsBinaryDir() + "/tests/wine_probe/podiant-probe.exe"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunProgram(argv, "", exitCode);
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  int high = -1;
  for (char c : hex) {
    int v = value(c);
    if (v < 0) continue;  // line ends and blanks between
    if (high < 0) {
      high = v;
    } else {
      bytes += static_cast<char>(high * 16 + v);
      high = -1;
    }
  }
  return bytes;
}

bool ReadWindowControlText(const std::string& title, int id, std::string* text) {
  int exitCode = -1;
  std::string output = RunProbe({"control-text", title, std::to_string(id)}, &exitCode);
  if (exitCode != 0) return false;
  *text = FromHex(output);
  return true;
}

}  // namespace e2e
