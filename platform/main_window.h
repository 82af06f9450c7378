// The program's own front end: the main window on Windows, the console on
// Linux.
#pragma once

// Creates the front end, runs InitialiseMainWindow (shell), shows it and runs
// its message loop until it has ended; every close request runs
// RunCloseSequence (shell) once. Returns the process exit code.
//   Windows: the main dialog and its polling message loop.
//   Linux: the console; SIGINT, SIGTERM and SIGHUP are close requests; the
//   exit code is non-zero when the command server could not open its socket.
int RunMainWindow();

// Asks the front end to close, without waiting for it (callable from the
// server thread).
void RequestMainWindowClose();

// Handles one pending window message; false when there was none.
bool HandlePendingWindowMessage();

// Minimises the main window (before a slide show); nothing on the console.
void MinimiseMainWindow();

// The failure beep: MessageBeep(0) on Windows, the terminal bell on Linux.
void SoundFailureBeep();
