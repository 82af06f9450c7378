// Placeholder until keystroke injection is built: no window is ever found.
#include "keys/send_command.h"

void HandleSendCommand(const std::string&) {}

int FindAndActivateWindow(const std::string&) { return 1; }
