// The program's own front end: the main window on Windows, the console on
// Linux.
#pragma once

#include <thread>

// Creates the front end, runs InitialiseMainWindow (shell), shows it and runs
// its message loop until it has ended; every close request runs
// RunCloseSequence (shell) once. Returns the process exit code.
//   Windows: the main dialog and its message loop, which sleeps until a
//   message arrives.
//   Linux: the console; SIGINT, SIGTERM and SIGHUP are close requests; the
//   exit code is non-zero when the command server could not open its socket.
int RunMainWindow();

// Asks the front end to close, without waiting for it (callable from the
// server thread).
void RequestMainWindowClose();

// Waits until `thread` has ended, then joins it. Meanwhile the front end
// handles its window's messages as they arrive (the window repaints and shows
// new lines), without polling, and stops the moment the thread has ended.
//   Windows: one wait on the thread's handle and the message queue together.
//   Linux console: joins (a console has no messages to handle).
void JoinThreadHandlingMessages(std::thread& thread);

// Minimises the main window (before a slide show); nothing on the console.
void MinimiseMainWindow();

// The failure beep: MessageBeep(0) on Windows, the terminal bell on Linux.
void SoundFailureBeep();
