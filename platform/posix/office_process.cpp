// The LibreOffice process: started directly from its program directory, with
// no shell and no start script in between, so that this program knows the
// process it started (and can tell it from an office that was running
// already).
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/office.h"
#include "platform/posix/office_module.h"
#include "platform/posix/spawn_signals.h"

#ifndef PODIANT_LIBREOFFICE_PROGRAM_DIR
#error "PODIANT_LIBREOFFICE_PROGRAM_DIR names LibreOffice's program directory"
#endif

extern char** environ;

namespace {

std::map<int32_t, std::string> startedMarks;  // by process id

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  const passwd* entry = getpwuid(getuid());
  if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') return entry->pw_dir;
  return "/tmp";
}

}  // namespace

std::string DefaultOfficePipeName() { return "podiant-" + std::to_string(getuid()); }

std::string DefaultOfficeProfileDirectory() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base =
      config != nullptr && config[0] == '/' ? std::string(config) : HomeDirectory() + "/.config";
  return base + "/podiant-server/libreoffice";
}

bool StartOfficeProcess(const std::string& pipeName, const std::string& profileUrl,
                        int32_t* processId) {
  std::vector<std::string> words = {
      PODIANT_LIBREOFFICE_PROGRAM_DIR "/soffice.bin",
      "--accept=pipe,name=" + pipeName + ";urp;StarOffice.ComponentContext",
      "-env:UserInstallation=" + profileUrl,
      "--norestore",   // no document recovery after a crash: it would ask first
      "--nologo",      // no splash screen
      "--nodefault",   // no start centre
      "--nolockcheck"  // no question about a profile in use on another machine
  };
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The office's messages would only clutter the status lines on the
  // console; and it must hold none of this program's descriptors (the UDP
  // socket above all, which would stay bound after the program has ended).
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // This program blocks its close requests (SIGINT, SIGTERM, SIGHUP) in every
  // thread and ignores SIGPIPE and SIGTTOU: the office gets the defaults. In a
  // session of its own it does not get the terminal's Ctrl+C either: the
  // close sequence decides what becomes of it.
  SetChildSignalDefaults(&attributes, POSIX_SPAWN_SETSID);

  // This program's environment and the process's mark: this program's id and
  // a count of its starts.
  static int starts = 0;
  std::string mark = std::to_string(getpid()) + "-" + std::to_string(++starts);
  std::string markEntry = std::string(kOfficeMarkVariable) + "=" + mark;
  std::vector<char*> environment;
  size_t nameLength = std::strlen(kOfficeMarkVariable);
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, kOfficeMarkVariable, nameLength) != 0 || (*entry)[nameLength] != '=') {
      environment.push_back(*entry);
    }
  }
  environment.push_back(markEntry.data());
  environment.push_back(nullptr);

  pid_t pid = 0;
  int error = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environment.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0 || pid <= 0) return false;
  *processId = pid;
  startedMarks[pid] = mark;
  return true;
}

std::string OfficeProcessMark(int32_t processId) {
  auto found = startedMarks.find(processId);
  return found == startedMarks.end() ? std::string() : found->second;
}

OfficeProcessState PollOfficeProcess(int32_t processId, int* exitCode) {
  if (processId <= 0) return OfficeProcessState::kEnded;
  int status = 0;
  pid_t result = waitpid(processId, &status, WNOHANG);
  if (result == 0) return OfficeProcessState::kRunning;
  // After RUN has started a program, finished children are reaped by the
  // system (SA_NOCLDWAIT) and their status is lost: ECHILD.
  if (result == processId && WIFEXITED(status)) {
    *exitCode = WEXITSTATUS(status);
    return OfficeProcessState::kExited;
  }
  return OfficeProcessState::kEnded;
}

void StopOfficeProcess(int32_t processId) {
  if (processId > 0) kill(processId, SIGTERM);
}
