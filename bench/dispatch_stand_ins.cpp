// Do-nothing stand-ins for the handlers behind the known command words: an
// unknown word reaches none of them, and without them the benchmark would
// pull in the presentation, projector and window back ends.
#include "keys/send_command.h"
#include "presentation/slide_show.h"
#include "projector/projector_commands.h"
#include "server/show_watch.h"

void HandleSlideShowCommand(CommandWord, const std::string&) {}
void HandleSendCommand(const std::string&) {}
int FindAndActivateWindow(const std::string&) { return 0; }
void SendProjectorCommand(const std::string&) {}
void SendStateSnapshot() {}
