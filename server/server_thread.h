// The command server's thread: receives UDP datagrams and dispatches them.
#pragma once

#include <atomic>
#include <cstdint>

// Set to 1 by the main thread to ask the server thread to stop; the server
// thread sets it back to 0 as the last step of its shutdown.
extern std::atomic<int32_t> stopRequested;

// True once ServerThread has returned (or was never started, false).
extern std::atomic<bool> serverThreadEnded;

// True when the receive socket could not be opened.
extern std::atomic<bool> serverOpenFailed;

// The body of the server thread.
void ServerThread();

// The one-shot signal that lets ServerThread go on past its "Starting" line:
// set by the main window once its initialisation (settings included) is done.
void SignalMainWindowInitialised();

// Returns once ServerThread has written its "Starting" line, so that the
// banner always follows it, however late the new thread got going.
void WaitForStartingLine();

// Returns once the server thread has written its start-up lines (those of
// the command socket, the feedback, OSC and the projector link), so that a
// front door on another thread writes its own after them: true when the
// server runs, false when its socket could not be opened.
bool WaitForStartUpLines();

// Forgets the signal and the end flags (tests that run ServerThread repeatedly).
void ResetServerThreadForTesting();
