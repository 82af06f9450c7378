// In-process benchmarks of the per-command work: the dispatch of an unknown
// word, the status log append, the number rule, the key-text walk and the
// foreground check before each key unit.
#include <benchmark/benchmark.h>
// Xlib's macros (None, Bool, Status) after the benchmark library's headers.
#include <X11/Xlib.h>

#include <string>

#include "common/status_log.h"
#include "common/text_rules.h"
#include "keys/key_events.h"
#include "keys/key_text.h"
#include "platform/desktop.h"
#include "server/dispatch.h"

namespace {

// A full log: every append then also removes the oldest line, as in a
// server that has been running for a while.
void FillLog() {
  ClearLogForTesting();
  for (int i = 0; i < 10; ++i) AddLogLine("R 127.0.0.1:50311 14:03:07 -> \"NEXTSLIDE0000001\"");
}

void BM_DispatchCommandUnknownWord(benchmark::State& state) {
  FillLog();
  const std::string payload = "NEXTSLIDE0000001";  // 16 bytes, no known word
  // Read as the datagram door reads it (trim, split, fold, look up), then
  // dispatched (the unknown-command line).
  for (auto _ : state) DispatchCommand(ReadCommandText(payload));
}
BENCHMARK(BM_DispatchCommandUnknownWord)->Name("DispatchCommand: unknown 16-byte word");

void BM_AddLogLine(benchmark::State& state) {
  FillLog();
  const std::string line = "R 127.0.0.1:50311 14:03:07 -> \"NEXTSLIDE0000001\"";
  for (auto _ : state) AddLogLine(line);
}
BENCHMARK(BM_AddLogLine)->Name("AddLogLine: R line into a full log");

void BM_NumberFromText(benchmark::State& state, const char* text) {
  const std::string input = text;
  for (auto _ : state) benchmark::DoNotOptimize(NumberFromText(input));
}
BENCHMARK_CAPTURE(BM_NumberFromText, port, "16001")->Name("NumberFromText: '16001'");
BENCHMARK_CAPTURE(BM_NumberFromText, slide, " 12")->Name("NumberFromText: ' 12'");
BENCHMARK_CAPTURE(BM_NumberFromText, hex, "&H3E8")->Name("NumberFromText: '&H3E8'");
BENCHMARK_CAPTURE(BM_NumberFromText, decimal_exponent, "-2.5E3")->Name("NumberFromText: '-2.5E3'");
BENCHMARK_CAPTURE(BM_NumberFromText, delay_group, "250}")
    ->Name("NumberFromText: '250}' (a DELAY group)");

// 1,000 characters: words, blanks, a few named keys and modifier groups.
std::string ThousandCharacterKeyText() {
  const std::string piece = "Hello, World {ENTER}{CTRL_D}s{CTRL_U}abc DEF 123 ";  // 49 bytes
  std::string text;
  while (text.size() < 1000) text += piece;
  text.resize(1000);
  return text;
}

void BM_SendKeyText1000(benchmark::State& state) {
  const std::string text = ThousandCharacterKeyText();
  KeyUnitInjector inject = [](const std::string& unit) {
    benchmark::DoNotOptimize(unit.data());
    return true;
  };
  MillisecondWaiter wait = [](uint32_t milliseconds) { benchmark::DoNotOptimize(milliseconds); };
  for (auto _ : state) SendKeyText(text, 0, inject, wait);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SendKeyText1000)
    ->Name("SendKeyText: 1000 characters / zero gap / no-op injector and wait");

// A US English layout for the characters the benchmarks type.
bool UsEnglishKey(unsigned char c, CharKey* key) {
  if (c >= 'a' && c <= 'z') {
    *key = CharKey{static_cast<uint8_t>(c - 'a' + 'A'), 0};
    return true;
  }
  if (c >= 'A' && c <= 'Z') {
    *key = CharKey{c, 1};
    return true;
  }
  return false;
}

void BM_BuildKeyEvents(benchmark::State& state, const char* unit) {
  const std::string text = unit;
  const CharKeyMapping mapping = UsEnglishKey;
  for (auto _ : state) benchmark::DoNotOptimize(BuildKeyEvents(text, mapping));
}
BENCHMARK_CAPTURE(BM_BuildKeyEvents, plain_char, "a")->Name("BuildKeyEvents: plain 'a'");
BENCHMARK_CAPTURE(BM_BuildKeyEvents, shifted_char, "A")->Name("BuildKeyEvents: shifted 'A'");
BENCHMARK_CAPTURE(BM_BuildKeyEvents, named_key, "{ENTER}")->Name("BuildKeyEvents: named '{ENTER}'");

// A window of the benchmark's own on the display that DISPLAY names, in front;
// 0 without a display or a window manager that activates it.
WindowId OwnWindowInFront() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 0;
  Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100, 0, 0, 0);
  XStoreName(display, window, "Podiant bench");
  // A window manager that has just started drops early map requests: map
  // again until the window is taken (each activation waits up to 500 ms).
  for (int attempt = 0; attempt < 20; ++attempt) {
    XMapWindow(display, window);
    XSync(display, False);
    if (ActivateWindow(window)) return window;
  }
  return 0;
}

// The check that the walk of a SEND makes before each unit that presses a
// key, with the target in front (every check succeeds).
void BM_ForegroundBelongsTo(benchmark::State& state) {
  static WindowId window = OwnWindowInFront();
  if (window == 0) {
    state.SkipWithError("no X display with a window manager");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(ForegroundBelongsTo(window));
}
BENCHMARK(BM_ForegroundBelongsTo)
    ->Name("ForegroundBelongsTo: X11 target in front (Xvfb with openbox) / once per key unit")
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
