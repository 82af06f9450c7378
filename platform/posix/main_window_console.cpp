// The Linux front end: the console. The status lines go to standard output;
// SIGINT, SIGTERM and SIGHUP ask the program to close, and so does the server
// thread when it cannot open its socket.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "platform/main_window.h"
#include "shell/app.h"

namespace {

pthread_t frontEndThread;

// SIGUSR1 carries the server thread's own close request.
sigset_t CloseRequestSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGUSR1);
  return signals;
}

}  // namespace

int RunMainWindow() {
  // A console that went away must not end the program in the middle of a line.
  signal(SIGPIPE, SIG_IGN);
  // Started in the background of a terminal set to "tostop", the program must
  // not stop at its first status line: the writes go ahead instead. (A notice
  // that looks for an answer takes care of reads itself.)
  signal(SIGTTOU, SIG_IGN);
  frontEndThread = pthread_self();
  // Blocked before the server thread starts, so that it inherits the mask and
  // every close request reaches this thread's wait.
  sigset_t signals = CloseRequestSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  InitialiseMainWindow();
  int received = 0;
  while (sigwait(&signals, &received) != 0) {
  }
  // Later requests stay blocked and change nothing.
  RunCloseSequence();
  return ProgramExitCode();
}

void RequestMainWindowClose() { pthread_kill(frontEndThread, SIGUSR1); }

void JoinThreadHandlingMessages(std::thread& thread) { thread.join(); }

void MinimiseMainWindow() {}

void SoundFailureBeep() {
  ssize_t ignored = write(STDOUT_FILENO, "\a", 1);
  (void)ignored;
}
