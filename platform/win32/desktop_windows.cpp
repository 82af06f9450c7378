#include <windows.h>

#include "platform/desktop.h"

namespace {

struct Enumeration {
  bool (*visit)(WindowId window, void* context);
  void* context;
};

BOOL CALLBACK VisitEnumeratedWindow(HWND window, LPARAM parameter) {
  Enumeration* enumeration = reinterpret_cast<Enumeration*>(parameter);
  return enumeration->visit(reinterpret_cast<WindowId>(window), enumeration->context) ? TRUE
                                                                                      : FALSE;
}

HWND AsWindow(WindowId window) { return reinterpret_cast<HWND>(window); }

constexpr int kTitleBufferSize = 260;

}  // namespace

void EnumerateTopLevelWindows(bool (*visit)(WindowId window, void* context), void* context) {
  Enumeration enumeration{visit, context};
  EnumWindows(VisitEnumeratedWindow, reinterpret_cast<LPARAM>(&enumeration));
}

bool WindowIsVisible(WindowId window) { return IsWindowVisible(AsWindow(window)) != FALSE; }

bool WindowHasParent(WindowId window) { return GetParent(AsWindow(window)) != nullptr; }

bool WindowIsEnabled(WindowId window) { return IsWindowEnabled(AsWindow(window)) != FALSE; }

std::string ReadWindowTitle(WindowId window) {
  char title[kTitleBufferSize] = {};
  int length = GetWindowTextA(AsWindow(window), title, kTitleBufferSize);
  if (length <= 0) return std::string();
  if (length > kTitleBufferSize - 1) length = kTitleBufferSize - 1;
  return std::string(title, static_cast<size_t>(length));
}

void BringWindowToForeground(WindowId window) { SetForegroundWindow(AsWindow(window)); }
