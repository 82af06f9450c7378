// Start-up and close sequence of the main window, the same on every front end.
#pragma once

// The main window's initialisation: starts the server thread, writes the two
// banner lines, loads the settings, then lets the server thread go on.
void InitialiseMainWindow();

// The close sequence: asks the server thread to stop, waits for it while
// handling window messages, and pauses a second. The front end runs it once.
void RunCloseSequence();

// The program's exit code once the close sequence has run: 1 when the server
// could not open its socket, else 0.
int ProgramExitCode();
