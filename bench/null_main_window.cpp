// A main window that does nothing, for a benchmark that links the server's
// areas without the front end.
#include "platform/main_window.h"

int RunMainWindow() { return 0; }
void RequestMainWindowClose() {}
void JoinThreadHandlingMessages(std::thread& thread) { thread.join(); }
void MinimiseMainWindow() {}
void SoundFailureBeep() {}
