// The Windows front end: the main window, a modeless dialog made from an
// in-memory template, run by a message loop that sleeps until a message
// arrives.
#include <pthread.h>
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/main_window.h"
#include "platform/win32/program_icon.h"
#include "shell/app.h"

namespace {

constexpr int kStatusLabelId = 101;
constexpr UINT kShowLogMessage = WM_APP + 1;  // the status label shows the newest log

HWND mainWindow = nullptr;
DWORD mainThreadId = 0;

enum class CloseState { kOpen, kClosing, kClosed };
CloseState closeState = CloseState::kOpen;  // main thread only

std::mutex displayLock;  // guards the two below; held for copies only
std::string latestLogText;
uint64_t latestSequence = 0;

// Builds the template word by word: DLGTEMPLATE, no menu, the default class,
// the title, the font; then each DLGITEMTEMPLATE on a DWORD boundary.
class TemplateWriter {
 public:
  void Word(uint16_t w) { words_.push_back(w); }
  void Dword(uint32_t d) {
    Word(static_cast<uint16_t>(d & 0xFFFF));
    Word(static_cast<uint16_t>(d >> 16));
  }
  void Text(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) Word(static_cast<uint8_t>(*c));
    Word(0);
  }
  void AlignToDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  const DLGTEMPLATE* Data() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  std::vector<uint16_t> words_;
};

void WriteControl(TemplateWriter& t, DWORD style, short x, short y, short cx, short cy, WORD id,
                  WORD classAtom, const char* text) {
  t.AlignToDword();
  t.Dword(style);
  t.Dword(0);  // extended style
  t.Word(static_cast<uint16_t>(x));
  t.Word(static_cast<uint16_t>(y));
  t.Word(static_cast<uint16_t>(cx));
  t.Word(static_cast<uint16_t>(cy));
  t.Word(id);
  t.Word(0xFFFF);
  t.Word(classAtom);
  t.Text(text);
  t.Word(0);  // no creation data
}

TemplateWriter MainWindowTemplate() {
  TemplateWriter t;
  // Hidden while it initialises; shown by RunMainWindow afterwards.
  t.Dword(DS_SETFONT | DS_3DLOOK | DS_NOFAILCREATE | DS_CENTER | WS_CAPTION | WS_SYSMENU);
  t.Dword(0);  // extended style
  t.Word(2);   // two controls
  t.Word(0);   // x, y: centred by DS_CENTER
  t.Word(0);
  t.Word(220);
  t.Word(150);
  t.Word(0);  // no menu
  t.Word(0);  // the default dialog class
  t.Text("Podiant Server");
  t.Word(8);  // point size
  t.Text("MS Sans Serif");
  WriteControl(t, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_SUNKEN, 0, 0, 220, 130, kStatusLabelId,
               0x0082 /* STATIC */, "");
  WriteControl(t, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 85, 133, 50, 14, IDCANCEL,
               0x0080 /* BUTTON */, "Close");
  return t;
}

// The program's icon in the title bar (small) and on the taskbar and in the
// Alt+Tab list (large); a dialog shows none of its own. Shared icons are owned
// by the system: nothing to free.
void ShowProgramIcon(HWND window) {
  HINSTANCE program = GetModuleHandleA(nullptr);
  for (WPARAM which : {ICON_BIG, ICON_SMALL}) {
    int size = GetSystemMetrics(which == ICON_BIG ? SM_CXICON : SM_CXSMICON);
    HANDLE icon = LoadImageA(program, MAKEINTRESOURCEA(PODIANT_PROGRAM_ICON), IMAGE_ICON, size,
                             size, LR_SHARED);
    if (icon != nullptr) SendMessageA(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  }
}

// The label's text ends at its first zero byte: the label shows each zero
// byte of the log as ^@, as the console does, so that no line hides the
// newer ones below it.
std::string LabelText(const std::string& logText) {
  std::string text;
  text.reserve(logText.size());
  for (char c : logText) {
    if (c == '\0') {
      text += "^@";
    } else {
      text += c;
    }
  }
  return text;
}

void ShowLatestLogText() {
  std::string text;
  {
    std::lock_guard<std::mutex> guard(displayLock);
    text = latestLogText;
  }
  SetWindowTextA(GetDlgItem(mainWindow, kStatusLabelId), LabelText(text).c_str());
}

// Sleeps until the thread's queue holds a message (MWMO_INPUTAVAILABLE: one
// that an earlier look left in it too) or `handle`, when given, is
// signalled. True when the handle was signalled (or could not be waited on).
bool WaitForMessageOr(HANDLE handle) {
  DWORD count = handle != nullptr ? 1 : 0;
  DWORD woken =
      MsgWaitForMultipleObjectsEx(count, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  return count == 1 && woken != WAIT_OBJECT_0 + 1;
}

// Handles every pending message, one at a time, the dialog's keyboard
// handling first (Escape acts like the Close button).
void HandlePendingMessages() {
  MSG message;
  while (IsWindow(mainWindow) && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageA(mainWindow, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

// Ending the window: WM_CLOSE runs the close sequence, then the window goes.
// A request while the close sequence runs changes nothing.
void EndMainWindow(HWND window) {
  if (closeState == CloseState::kClosing) return;
  SendMessageA(window, WM_CLOSE, 0, 0);
  DestroyWindow(window);
}

INT_PTR CALLBACK MainWindowCallback(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      mainWindow = window;
      ShowProgramIcon(window);
      InitialiseMainWindow();
      break;
    case WM_COMMAND:
      // The Close button and the Escape key.
      if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == 0) EndMainWindow(window);
      break;
    case WM_CLOSE:
      // The close box, Alt+F4 and the server's request arrive here through the
      // default handling of SC_CLOSE; that handling then posts IDCANCEL.
      if (closeState == CloseState::kOpen) {
        closeState = CloseState::kClosing;
        RunCloseSequence();
        closeState = CloseState::kClosed;
      }
      break;
    case kShowLogMessage:
      ShowLatestLogText();
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

void DisplayStatus(const std::string& logText, const std::string&, uint64_t sequence) {
  {
    std::lock_guard<std::mutex> guard(displayLock);
    if (sequence <= latestSequence) return;
    latestSequence = sequence;
    latestLogText = logText;
  }
  if (mainWindow == nullptr) return;
  // Only the main thread sets the label, always to the newest text: a line
  // from the server thread cannot overwrite a newer one, and the server thread
  // never waits for the main thread.
  if (GetCurrentThreadId() == mainThreadId) {
    ShowLatestLogText();
  } else {
    PostMessageA(mainWindow, kShowLogMessage, 0, 0);
  }
}

int RunMainWindow() {
  mainThreadId = GetCurrentThreadId();
  TemplateWriter dialog = MainWindowTemplate();
  HWND window = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dialog.Data(), nullptr,
                                           MainWindowCallback, 0);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOW);
  while (IsWindow(window)) {
    WaitForMessageOr(nullptr);
    HandlePendingMessages();
  }
  return ProgramExitCode();
}

void JoinThreadHandlingMessages(std::thread& thread) {
  // A std::thread is a winpthreads thread: its Win32 handle is signalled the
  // moment the thread has ended. Without one (or if the wait fails) the join
  // alone waits.
  HANDLE ended = static_cast<HANDLE>(pthread_gethandle(thread.native_handle()));
  while (ended != nullptr && !WaitForMessageOr(ended)) HandlePendingMessages();
  thread.join();
}

void RequestMainWindowClose() { PostMessageA(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0); }

void MinimiseMainWindow() { ShowWindow(mainWindow, SW_MINIMIZE); }

void SoundFailureBeep() { MessageBeep(0); }
