// Fuzz target: the SEND argument. The input is the argument as HandleSendCommand
// receives it (delimiter, window name, delimiter, key text, ...); the desktop
// is a fixed list of windows (hidden, disabled, child, untitled, long and
// code page 437 titles among them) and the keyboard a recording injector. The
// split, the checks and their lines, the window chosen, the injected events
// and the waits must match the reference; FindAndActivateWindow is also given
// the whole input as a window name, as ACTIVATE does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/status_log.h"
#include "keys/send_command.h"
#include "tests/fuzz/fuzz_fakes.h"
#include "tests/fuzz/fuzz_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string argument(reinterpret_cast<const char*>(data), size);

  ResetFuzzRecord();
  ClearLogForTesting();
  HandleSendCommand(argument);
  CheckSendOutcome(argument);
  FUZZ_CHECK(FuzzRecord.notices.empty() && FuzzRecord.programs.empty() &&
             FuzzRecord.serialWrites.empty());

  ResetFuzzRecord();
  int result = FindAndActivateWindow(argument);
  WindowId window = ReferenceWindow(argument);
  FUZZ_CHECK(result == (window == 0 ? 1 : 0));
  FUZZ_CHECK(FuzzRecord.foreground ==
             (window == 0 ? std::vector<WindowId>() : std::vector<WindowId>{window}));
  FUZZ_CHECK(FuzzRecord.logLines.empty() && FuzzRecord.injections.empty());
  return 0;
}
