// Recording fakes of every platform interface for the fuzz targets. Nothing
// reaches a window, the keyboard, a process, a serial port, COM, a file or the
// clock: each call is written into FuzzRecord and answered from a fixed script.
// The fakes check the cheap invariants of what reaches them and abort (so
// that libFuzzer keeps the input) when one does not hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/keyboard.h"

// Aborts with `what` when `condition` is false.
#define FUZZ_CHECK(condition)                                                   \
  do {                                                                          \
    if (!(condition)) FuzzCheckFailed(#condition, __FILE__, __LINE__, nullptr); \
  } while (0)
#define FUZZ_CHECK_MSG(condition, message)                                        \
  do {                                                                            \
    if (!(condition)) FuzzCheckFailed(#condition, __FILE__, __LINE__, (message)); \
  } while (0)
[[noreturn]] void FuzzCheckFailed(const char* condition, const char* file, int line,
                                  const char* message);

// What the fakes saw since the last ResetFuzzRecord, in call order per kind.
struct FuzzRecordState {
  std::vector<std::string> logLines;  // lines added to the status log
  std::string shownLogText;           // the newest log text shown
  std::vector<std::string> notices;   // "caption|text|style"
  std::vector<std::string> programs;  // command lines RUN asked to start
  std::vector<std::vector<KeyEvent>> injections;
  size_t layoutFetches = 0;
  std::vector<uint32_t> waits;  // SleepMilliseconds
  std::vector<WindowId> foreground;
  std::vector<std::string> serialWrites;
  std::vector<std::string> profileReads;   // "section|key" of every key read
  std::vector<std::string> profileValues;  // what each of those reads gave
  std::vector<std::string> automation;     // member calls, "Invoke <kind> <dispId> <how>"
  size_t minimised = 0;
};
extern FuzzRecordState FuzzRecord;

// Empties FuzzRecord; the scripts and the automation objects stay.
void ResetFuzzRecord();

// Profile: the bytes of the one settings file there is, and whether it exists
// as an ordinary file. Every path names it.
extern std::string FuzzProfileText;
extern bool FuzzProfileExists;
constexpr const char* kFuzzWorkingDirectory = "/fuzz/presentation";
// Files: the one folder there is (the web remote's shows=).
constexpr const char* kFuzzShowsFolder = "shows";

// Desktop: the fixed list of top-level windows, top of the Z order first.
struct FuzzWindow {
  WindowId id;
  std::string title;
  bool visible;
  bool hasParent;
  bool enabled;
};
const std::vector<FuzzWindow>& FuzzWindows();

// Keyboard: the key of each byte in the fake layout (deterministic; some bytes
// have none, shift states cover every combination of bits).
bool FuzzCharacterKey(unsigned char c, CharKey* key);
uint16_t FuzzScanCode(uint8_t virtualKey);

// Automation: a cooperative PowerPoint whose objects count their references.
// Presentations.Open succeeds for a name ending in ".ppt" or ".pptx", gives a
// text for ".pps" and fails otherwise. A use of a released object, a release
// too many or a reference still held by FuzzAutomationCheckAllReleased aborts.
void ResetFuzzAutomation();
void FuzzAutomationCheckAllReleased();

// Process: RUN's command line goes through the Linux back end's word split
// (SplitCommandLineWords) and nothing is started. No words: not started, code
// 2; otherwise the byte sum decides between started and an error code (0
// included), so that every line of the error table can be reached.

// Serial: every device opens and takes every setting; writes are recorded.
