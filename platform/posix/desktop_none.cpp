// Window enumeration where no window system can be reached: there are no
// windows, so every lookup finds none.
#include "platform/desktop.h"

void EnumerateTopLevelWindows(bool (*)(WindowId window, void* context), void*) {}

bool WindowIsVisible(WindowId) { return false; }

bool WindowHasParent(WindowId) { return false; }

bool WindowIsEnabled(WindowId) { return false; }

std::string ReadWindowTitle(WindowId) { return std::string(); }

bool ActivateWindow(WindowId) { return false; }

bool ForegroundBelongsTo(WindowId) { return false; }
