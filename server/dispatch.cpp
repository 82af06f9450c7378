#include "server/dispatch.h"

#include "common/status_log.h"
#include "keys/send_command.h"
#include "platform/process.h"
#include "presentation/slide_show.h"
#include "projector/projector_commands.h"
#include "server/show_watch.h"

namespace {

constexpr char kFieldDelimiter = 27;  // ESC, for the argument that STOP builds
constexpr const char* kStopKeyText = "{ALT_D}{F4}{ALT_U}";
constexpr size_t kRunCommandLineLimit = 256;

}  // namespace

void DispatchCommand(const Command& command) {
  if (!command.word) {
    AddLogLine("ERR: Unknown command received \"" + command.wordAsSent + "\"");
    return;
  }
  const std::string& argument = command.argument;
  switch (*command.word) {
    case CommandWord::kOpen:
    case CommandWord::kNext:
    case CommandWord::kGoto:
    case CommandWord::kPrev:
    case CommandWord::kFirst:
    case CommandWord::kLast:
    case CommandWord::kBlack:
    case CommandWord::kWhite:
    case CommandWord::kResume:
    case CommandWord::kEnd:
      HandleSlideShowCommand(*command.word, argument);
      break;
    case CommandWord::kState:
      SendStateSnapshot();
      break;
    case CommandWord::kRun:
      RunProgram(argument);
      break;
    case CommandWord::kStop: {
      std::string sendArgument;
      sendArgument += kFieldDelimiter;
      sendArgument += argument;
      sendArgument += kFieldDelimiter;
      sendArgument += kStopKeyText;
      sendArgument += kFieldDelimiter;
      HandleSendCommand(sendArgument);
      break;
    }
    case CommandWord::kSend:
      HandleSendCommand(argument);
      break;
    case CommandWord::kActivate: {
      int outcome = FindAndActivateWindow(argument);
      if (outcome == kNoWindow) AddLogLine("ERR No Window\"" + argument + "\"");
      if (outcome == kWindowNotActivated) {
        AddLogLine("ERR: Window not activated\"" + argument + "\"");
      }
      break;
    }
    case CommandWord::kProjector:
      SendProjectorCommand(argument);
      break;
  }
}

const char* RunErrorMessage(uint32_t errorCode) {
  switch (errorCode) {
    case 2:
    case 18:
      return "File not found";
    case 3:
      return "Path not found";
    case 4:
      return "Too many files";
    case 5:
    case 19:
    case 32:
    case 33:
    case 36:
      return "Permission denied";
    case 6:
    case 11:
    case 12:
    case 13:
    case 22:
    case 24:
      return "Internal error";
    case 7:
    case 9:
    case 10:
      return "Global memory corrupt";
    case 8:
    case 14:
      return "Out of memory";
    case 15:
    case 20:
      return "Device unavailable";
    case 17:
      return "Rename across disks";
    case 21:
      return "Disk not ready";
    case 23:
    case 25:
    case 26:
    case 27:
    case 28:
    case 29:
    case 30:
    case 31:
    case 34:
    case 35:
      return "Disk media error";
    case 38:
      return "Input past end";
    case 39:
    case 112:
      return "Disk full";
    case 87:
      return "Illegal function call";
    default:
      return "Path/file access error";  // 1, 16, 37 and every other code
  }
}

void RunProgram(const std::string& argument) {
  ProgramStart start = StartProgram(argument.substr(0, kRunCommandLineLimit));
  std::string result;
  if (start.started) {
    result = "Started";
  } else {
    result = "NOT STARTED ERROR ";
    if (start.errorCode == 0) {
      result += "(no error)";
    } else {
      result += "Error: ";
      result += RunErrorMessage(start.errorCode);
    }
  }
  AddLogLine("Run \"" + argument + "\" " + result);
}
