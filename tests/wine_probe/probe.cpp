// podiant-probe: a small Windows console program with which the end-to-end
// tests look at and work the real Windows program under Wine. Texts are
// printed as hex so that CR, LF and every other byte arrive unchanged.
//
//   control-text TITLE ID        text of control ID of the window TITLE
//   wait-window TITLE MS         exit 0 once a window TITLE exists
//   wait-gone TITLE MS           exit 0 once no window TITLE exists
//   post-command TITLE ID        posts WM_COMMAND (ID, code 0)
//   post-close TITLE             posts WM_SYSCOMMAND SC_CLOSE
//   answer-notice CAPTION MS     waits for a message box CAPTION, prints its
//                                text, presses its OK button
//   notice-text CAPTION MS       waits for a message box CAPTION, prints its text
//   edit-text TITLE              text of the first Edit child of window TITLE
//   foreground                   title of the foreground window
//   show-window TITLE MS         shows a window TITLE in front for MS ms;
//                                prints "typed XX" for each character and
//                                "released XX" for each key release it gets
//   show-window-when TITLE WATCHED TEXT MS
//                                the same once the Edit child of window
//                                WATCHED holds TEXT
//   refuse-window TITLE MS       the same, but the window refuses every
//                                activation (a CBT hook in its own thread) and
//                                hands the foreground back to the window that
//                                had it when the probe started
//   key-down VK                  exit 0 when the key (hex code) is down
//   minimise TITLE               minimises the window TITLE
//   iconic TITLE                 exit 0 when the window TITLE is minimised
//   pid-of TITLE                 process id of the window TITLE
//   watch-control TITLE ID MS    waits up to MS for the window TITLE, then
//                                prints every new text of control ID (one hex
//                                line each) until the window is gone
//   file-version PATH            of a program's version resource: the fixed
//                                file version, then FileVersion,
//                                ProductVersion, ProductName and
//                                FileDescription (hex lines)
//   shortcut PATH                of a .lnk file: target, working directory
//                                and arguments (hex lines)
//   manifest PATH                a program's application manifest (its
//                                RT_MANIFEST resource 1), as one hex line
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void PrintHex(const std::string& text) {
  for (unsigned char c : text) std::printf("%02x", c);
  std::printf("\n");
}

std::string TextOf(HWND window) {
  char buffer[65536];
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, 5000, &copied)) {
    return std::string();
  }
  return std::string(buffer, static_cast<size_t>(copied));
}

// The text a window holds, read without a message to its thread: the main
// window does not answer while its close sequence pauses.
bool StoredTextOf(HWND window, std::string* text) {
  static wchar_t wide[65536];
  int length = InternalGetWindowText(window, wide, 65536);
  if (length == 0 && !IsWindow(window)) return false;
  static char narrow[4 * 65536];
  int bytes = WideCharToMultiByte(CP_ACP, 0, wide, length, narrow, sizeof narrow, nullptr, nullptr);
  text->assign(narrow, static_cast<size_t>(bytes));
  return true;
}

HWND WaitForWindow(const char* className, const char* title, int ms) {
  for (int waited = 0;; waited += 20) {
    HWND window = FindWindowA(className, title);
    if (window != nullptr || waited >= ms) return window;
    Sleep(20);
  }
}

// A message box is ready to be read and answered once it shows: its text and
// buttons are set while it is still hidden, and a busy machine can let the
// probe find it in between.
HWND FindMessageBox(const char* caption, int ms) {
  for (int waited = 0;; waited += 20) {
    HWND box = FindWindowA("#32770", caption);
    if ((box != nullptr && IsWindowVisible(box)) || waited >= ms) return box;
    Sleep(20);
  }
}

// The text of a message box is its static control 0xFFFF.
std::string MessageBoxText(HWND box) {
  HWND label = GetDlgItem(box, 0xFFFF);
  return label != nullptr ? TextOf(label) : std::string();
}

// The refusing window's hook, and the window it hands the foreground back to.
HHOOK refusingHook = nullptr;
HWND keptInFront = nullptr;
constexpr UINT kHandBackForeground = WM_APP + 1;

LRESULT CALLBACK RefuseActivation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    PostMessageA(reinterpret_cast<HWND>(wParam), kHandBackForeground, 0, 0);
    return 1;
  }
  return CallNextHookEx(refusingHook, code, wParam, lParam);
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  if (message == WM_CHAR) {
    std::printf("typed %02x\n", static_cast<unsigned>(wParam & 0xFF));
    std::fflush(stdout);
  }
  if (message == WM_KEYUP) {
    std::printf("released %02x\n", static_cast<unsigned>(wParam & 0xFF));
    std::fflush(stdout);
  }
  if (message == kHandBackForeground && keptInFront != nullptr) SetForegroundWindow(keptInFront);
  return DefWindowProcA(window, message, wParam, lParam);
}

int ShowPlainWindow(const char* title, int ms, bool refusing = false) {
  if (refusing) {
    keptInFront = GetForegroundWindow();
    refusingHook = SetWindowsHookExA(WH_CBT, RefuseActivation, nullptr, GetCurrentThreadId());
    if (refusingHook == nullptr) return 1;
  }
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = PlainWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "PodiantProbeWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("PodiantProbeWindow", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                              300, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return 1;
  SetForegroundWindow(window);
  std::printf("shown\n");
  std::fflush(stdout);
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  MSG message;
  while (static_cast<int>(end - GetTickCount()) > 0) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return 0;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(5);
  }
  DestroyWindow(window);
  return 0;
}

int PrintFileVersion(const char* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return 1;
  std::string data(size, '\0');
  if (!GetFileVersionInfoA(path, 0, size, data.data())) return 1;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) return 1;
  std::printf("%d.%d.%d.%d\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
              HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  for (const char* name : {"FileVersion", "ProductVersion", "ProductName", "FileDescription"}) {
    std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    char* value = nullptr;
    if (!VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) {
      value = nullptr;
    }
    PrintHex(value != nullptr ? value : "");
  }
  return 0;
}

int PrintShortcut(const char* path) {
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return 1;
  }
  IPersistFile* file = nullptr;
  wchar_t widePath[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH);
  int result = 1;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(widePath, STGM_READ))) {
    char target[MAX_PATH] = {}, directory[MAX_PATH] = {}, arguments[1024] = {};
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(directory, MAX_PATH);
    link->GetArguments(arguments, sizeof arguments);
    PrintHex(target);
    PrintHex(directory);
    PrintHex(arguments);
    result = 0;
  }
  if (file != nullptr) file->Release();
  link->Release();
  return result;
}

int PrintManifest(const char* path) {
  HMODULE program =
      LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  // CREATEPROCESS_MANIFEST_RESOURCE_ID of type RT_MANIFEST.
  HRSRC found = program != nullptr
                    ? FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))
                    : nullptr;
  HGLOBAL data = found != nullptr ? LoadResource(program, found) : nullptr;
  if (data == nullptr) return 1;
  PrintHex(
      std::string(static_cast<const char*>(LockResource(data)), SizeofResource(program, found)));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string verb = argv[1];
  auto arg = [&](int i) -> const char* { return i < argc ? argv[i] : ""; };
  auto number = [&](int i) { return std::atoi(arg(i)); };

  if (verb == "control-text") {
    HWND window = FindWindowA(nullptr, arg(2));
    HWND control = window != nullptr ? GetDlgItem(window, number(3)) : nullptr;
    if (control == nullptr) return 1;
    PrintHex(TextOf(control));
    return 0;
  }
  if (verb == "wait-window") return WaitForWindow(nullptr, arg(2), number(3)) != nullptr ? 0 : 1;
  if (verb == "wait-gone") {
    for (int waited = 0;; waited += 20) {
      if (FindWindowA(nullptr, arg(2)) == nullptr) return 0;
      if (waited >= number(3)) return 1;
      Sleep(20);
    }
  }
  if (verb == "post-command" || verb == "post-close") {
    HWND window = FindWindowA(nullptr, arg(2));
    if (window == nullptr) return 1;
    BOOL posted = verb == "post-close"
                      ? PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0)
                      : PostMessageA(window, WM_COMMAND, MAKEWPARAM(number(3), 0), 0);
    return posted ? 0 : 1;
  }
  if (verb == "answer-notice" || verb == "notice-text") {
    HWND box = FindMessageBox(arg(2), number(3));
    if (box == nullptr) return 1;
    PrintHex(MessageBoxText(box));
    if (verb == "answer-notice") {
      HWND ok = GetDlgItem(box, IDOK);
      if (ok != nullptr) {
        SendMessageTimeoutA(ok, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
      } else {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      }
    }
    return 0;
  }
  if (verb == "edit-text") {
    HWND window = FindWindowA(nullptr, arg(2));
    HWND edit = window != nullptr ? FindWindowExA(window, nullptr, "Edit", nullptr) : nullptr;
    if (edit == nullptr) return 1;
    PrintHex(TextOf(edit));
    return 0;
  }
  if (verb == "foreground") {
    HWND window = GetForegroundWindow();
    if (window == nullptr) return 1;
    char title[512] = {};
    GetWindowTextA(window, title, sizeof title);
    PrintHex(title);
    return 0;
  }
  if (verb == "show-window") return ShowPlainWindow(arg(2), number(3));
  if (verb == "refuse-window") return ShowPlainWindow(arg(2), number(3), true);
  if (verb == "show-window-when") {
    HWND watched = WaitForWindow(nullptr, arg(3), number(5));
    HWND edit = watched != nullptr ? FindWindowExA(watched, nullptr, "Edit", nullptr) : nullptr;
    if (edit == nullptr) return 1;
    for (int waited = 0; TextOf(edit) != arg(4); waited += 5) {
      if (waited >= number(5)) return 1;
      Sleep(5);
    }
    return ShowPlainWindow(arg(2), number(5));
  }
  if (verb == "key-down") {
    return (GetAsyncKeyState(static_cast<int>(std::strtol(arg(2), nullptr, 16))) & 0x8000) != 0 ? 0
                                                                                                : 1;
  }
  if (verb == "minimise" || verb == "iconic") {
    HWND window = FindWindowA(nullptr, arg(2));
    if (window == nullptr) return 2;
    if (verb == "minimise") ShowWindow(window, SW_MINIMIZE);
    return IsIconic(window) ? 0 : 1;
  }
  if (verb == "watch-control") {
    HWND window = WaitForWindow(nullptr, arg(2), number(4));
    if (window == nullptr) return 1;
    std::string last;
    bool first = true;
    while (IsWindow(window)) {
      HWND control = GetDlgItem(window, number(3));
      std::string text;
      if (control != nullptr && StoredTextOf(control, &text)) {
        if (first || text != last) {
          PrintHex(text);
          std::fflush(stdout);
          last = text;
          first = false;
        }
      }
      Sleep(2);
    }
    return 0;
  }
  if (verb == "file-version") return PrintFileVersion(arg(2));
  if (verb == "shortcut") return PrintShortcut(arg(2));
  if (verb == "manifest") return PrintManifest(arg(2));
  if (verb == "pid-of") {
    HWND window = FindWindowA(nullptr, arg(2));
    if (window == nullptr) return 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    std::printf("%lu\n", static_cast<unsigned long>(pid));
    return 0;
  }
  return 2;
}
