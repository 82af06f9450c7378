// RUN on Linux: the command line is split into words the way a shell would
// (blanks separate words; single quotes, double quotes and backslash quote)
// but no shell runs, so a program that cannot be started is reported as such.
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/spawn_signals.h"
#include "platform/process.h"
#include "platform/process_words.h"

extern char** environ;

namespace {

// errno onto the Windows error codes whose messages the run line shows.
uint32_t WindowsCodeOfErrno(int error) {
  switch (error) {
    case ENOENT:
      return 2;  // File not found
    case ENOTDIR:
      return 3;  // Path not found
    case EMFILE:
    case ENFILE:
      return 4;  // Too many files
    case EACCES:
    case EPERM:
      return 5;  // Permission denied
    case ENOMEM:
      return 8;  // Out of memory
    default:
      return 1;  // E2BIG, ENOEXEC, ...: Path/file access error
  }
}

// Finished children are reaped by the system: no zombies pile up, and the
// started programs keep the default SIGCHLD disposition.
void ReapChildrenAutomatically() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    action.sa_flags = SA_NOCLDWAIT;
    sigemptyset(&action.sa_mask);
    sigaction(SIGCHLD, &action, nullptr);
  });
}

}  // namespace

ProgramStart StartProgram(const std::string& commandLine) {
  std::vector<std::string> words = SplitCommandLineWords(commandLine);
  if (words.empty()) return ProgramStart{false, 2};
  ReapChildrenAutomatically();

  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The started program does not compete with the console for its input,
  // and inherits none of this program's other descriptors: a connection of
  // the web remote (opened by a library that may not mark it close-on-exec)
  // must not stay open in it.
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Signals that this program blocks or waits for must reach the new one.
  SetChildSignalDefaults(&attributes, 0);

  pid_t pid = 0;
  int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0 || pid == 0) return ProgramStart{false, WindowsCodeOfErrno(error)};
  return ProgramStart{true, 0};
}
