// The other subsystems the dispatcher reaches, as do-nothing fakes.
#include "platform/process.h"
#include "presentation/slide_show.h"
#include "projector/projector_commands.h"
#include "server/show_watch.h"

void HandleSlideShowCommand(CommandWord, const std::string&) {}

void SendProjectorCommand(const std::string&) {}

ProgramStart StartProgram(const std::string&) { return ProgramStart{false, 2}; }

void SendStateSnapshot() {}
