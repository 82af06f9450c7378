// A stand-in automation server for the ProgID "Powerpoint.Application", for
// the end-to-end tests of the slide-show commands. It offers the members that
// the server invokes, answers each with an object or success, and appends every
// call it receives to <dir>\calls.log, one line each:
//   start mode=<embedding|running> pid=<n>
//   create application1
//   call <object> <dispid> flags=<n> named=<ids or -> args=<type:value,...> result=<yes|no> ->
//   <answer> release <object> quit
//   refused <object> <dispid> flags=<n> -> <answer>
//   hang <object> <dispid> flags=<n>
//   names <object> <name> -> <dispid|unknown>
// The members that the server looks up by name have numbers of the stand-in's
// own: on a view Previous, First, Last, Exit, State and CurrentShowPosition,
// on a presentation Slides, on its Slides Count (5). A view keeps its show's
// position and state; after Exit its every call fails, as on a view whose show
// has ended. A number in <dir>\position.txt, taken away at the next call on a
// view, moves that show there (the presenter's clicker at the PC).
// A member fails when <dir>\failures.txt has a line "<object kind> <dispid> <flags>",
// and does not return for two minutes (then answers as usual) when it has the
// line "hang <object kind> <dispid> <flags>" (read at every call, so a test can
// change it between commands). A busy spell begins when <dir>\busy.txt holds
// "<milliseconds> <HRESULT in hex>": the next call takes the file away, and
// every call for that long is refused with that HRESULT (as PowerPoint refuses
// calls while it starts or shows a dialog) and logged as "refused".
//
// Started by COM with -Embedding (LocalServer32: "<exe>" --dir <dir>), it
// registers its class for one instance (single use: COM starts a new
// stand-in for the next one, as it must after one was killed or hung) and
// serves it until Quit; with --running it registers one instance as the
// running one (RegisterActiveObject) and writes "ready" when it can be found.
// Either way it ends at Quit, when <dir> is removed, or after two minutes.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

// {6E5A1F3C-8B27-4D19-A0C4-3F9B2D7E61A5}
const CLSID kStandInClassId = {
    0x6e5a1f3c, 0x8b27, 0x4d19, {0xa0, 0xc4, 0x3f, 0x9b, 0x2d, 0x7e, 0x61, 0xa5}};

constexpr UINT kLifetimeMilliseconds = 120000;
constexpr UINT kDirectoryCheckMilliseconds = 250;
constexpr DWORD kHangMilliseconds = 120000;
constexpr int kSlideCount = 5;

// The members looked up by name: object kind, name, DISPID.
struct NamedMember {
  const char* kind;
  const wchar_t* name;
  DISPID dispId;
};
constexpr NamedMember kNamedMembers[] = {
    {"slideshowview", L"Previous", 7101}, {"slideshowview", L"First", 7102},
    {"slideshowview", L"Last", 7103},     {"slideshowview", L"Exit", 7104},
    {"slideshowview", L"State", 7105},    {"slideshowview", L"CurrentShowPosition", 7106},
    {"presentation", L"Slides", 7201},    {"slides", L"Count", 7301},
};

std::wstring directory;
std::map<std::wstring, int> serials;
bool presentationOpened = false;
ULONGLONG busyUntil = 0;
HRESULT busyAnswer = S_OK;

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                      nullptr, nullptr);
  return text;
}

void AppendLog(const std::string& line) {
  std::wstring path = directory + L"\\calls.log";
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadFileText(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string text;
  char buffer[512];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

// Whether failures.txt has the line `wanted`.
bool Listed(const std::string& wanted) {
  std::string text = ReadFileText(directory + L"\\failures.txt");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line == wanted) return true;
    start = end + 1;
  }
  return false;
}

// Whether calls are refused now; a waiting busy.txt begins a spell.
bool Busy() {
  std::wstring path = directory + L"\\busy.txt";
  unsigned long milliseconds = 0, answer = 0;
  if (std::sscanf(ReadFileText(path).c_str(), "%lu %lx", &milliseconds, &answer) == 2) {
    DeleteFileW(path.c_str());
    busyUntil = GetTickCount64() + milliseconds;
    busyAnswer = static_cast<HRESULT>(answer);
  }
  return GetTickCount64() < busyUntil;
}

std::string DescribeVariant(const VARIANT& v) {
  char number[64];
  switch (v.vt) {
    case VT_EMPTY:
      return "EMPTY";
    case VT_BSTR:
      return "BSTR:\"" + Utf8(std::wstring(v.bstrVal, SysStringLen(v.bstrVal))) + "\"";
    case VT_R8:
      std::snprintf(number, sizeof number, "R8:%.17g", v.dblVal);
      return number;
    case VT_I4:
      return "I4:" + std::to_string(v.lVal);
    case VT_I2:
      return "I2:" + std::to_string(v.iVal);
    case VT_BOOL:
      return "BOOL:" + std::to_string(v.boolVal);
    case VT_DISPATCH:
      return "DISPATCH";
    default:
      return "VT" + std::to_string(v.vt);
  }
}

class StandInObject final : public IDispatch {
 public:
  explicit StandInObject(const std::wstring& kind) : kind_(Utf8(kind)) {
    name_ = kind_ + std::to_string(++serials[kind]);
  }

  const std::string& Name() const { return name_; }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references_); }
  STDMETHODIMP_(ULONG) Release() override {
    long left = --references_;
    if (left == 0) {
      AppendLog("release " + name_);
      delete this;
    }
    return static_cast<ULONG>(left);
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count != 1) return E_INVALIDARG;
    ids[0] = DISPID_UNKNOWN;
    for (const NamedMember& member : kNamedMembers) {
      if (kind_ == member.kind && std::wstring(names[0]) == member.name) ids[0] = member.dispId;
    }
    AppendLog("names " + name_ + " " + Utf8(names[0]) + " -> " +
              (ids[0] == DISPID_UNKNOWN ? "unknown" : std::to_string(ids[0])));
    return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }

  STDMETHODIMP Invoke(DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                      VARIANT* result, EXCEPINFO*, UINT*) override {
    std::string line = "call " + name_ + " " + std::to_string(dispId) +
                       " flags=" + std::to_string(flags) + " named=";
    if (parameters == nullptr || parameters->cNamedArgs == 0) {
      line += "-";
    } else {
      for (UINT i = 0; i < parameters->cNamedArgs; ++i) {
        if (i > 0) line += ",";
        line += std::to_string(parameters->rgdispidNamedArgs[i]);
      }
    }
    line += " args=";
    if (parameters == nullptr || parameters->cArgs == 0) {
      line += "-";
    } else {
      // Arguments arrive last first.
      for (UINT i = parameters->cArgs; i > 0; --i) {
        if (i < parameters->cArgs) line += ",";
        line += DescribeVariant(parameters->rgvarg[i - 1]);
      }
    }
    line += result != nullptr ? " result=yes" : " result=no";

    char code[16];
    if (Busy()) {
      std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(busyAnswer));
      AppendLog("refused " + name_ + " " + std::to_string(dispId) +
                " flags=" + std::to_string(flags) + " -> " + code);
      return busyAnswer;
    }
    std::string member = kind_ + " " + std::to_string(dispId) + " " + std::to_string(flags);
    if (Listed("hang " + member)) {
      AppendLog("hang " + name_ + " " + std::to_string(dispId) + " flags=" + std::to_string(flags));
      Sleep(kHangMilliseconds);
    }
    HRESULT hr = S_OK;
    std::wstring give;
    int number = -1;
    if (Listed(member) || ended_) {
      hr = DISP_E_EXCEPTION;
    } else {
      hr = Answer(dispId, flags, parameters, &give, &number);
    }
    if (SUCCEEDED(hr) && number >= 0 && result != nullptr) {
      VariantInit(result);
      result->vt = VT_I4;  // as PowerPoint gives its Long and enumerated properties
      result->lVal = number;
      line += " -> I4:" + std::to_string(number);
    } else if (SUCCEEDED(hr) && !give.empty() && result != nullptr) {
      StandInObject* given = new StandInObject(give);
      VariantInit(result);
      result->vt = VT_DISPATCH;
      result->pdispVal = given;
      given->AddRef();
      line += " -> " + given->Name();
    } else {
      std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
      line += std::string(" -> ") + code;
    }
    AppendLog(line);
    return hr;
  }

 private:
  // What each member of each kind of object does: an object to give back
  // (`give`), a number (`number`), or only an outcome.
  HRESULT Answer(DISPID dispId, WORD flags, DISPPARAMS* parameters, std::wstring* give,
                 int* number) {
    bool read = (flags & DISPATCH_PROPERTYGET) != 0;
    bool method = (flags & DISPATCH_METHOD) != 0;
    bool write = (flags & DISPATCH_PROPERTYPUT) != 0;
    UINT count = parameters != nullptr ? parameters->cArgs : 0;
    if (kind_ == "application") {
      if (dispId == 2030 && write && count == 1) return S_OK;  // Visible
      if (dispId == 2001 && (read || method)) {                // Presentations
        *give = L"presentations";
        return S_OK;
      }
      if (dispId == 2004 && (read || method)) {  // ActivePresentation
        if (!presentationOpened) return DISP_E_EXCEPTION;
        *give = L"activepresentation";
        return S_OK;
      }
      if (dispId == 2021 && method) {  // Quit
        AppendLog("quit");
        PostQuitMessage(0);
        return S_OK;
      }
    } else if (kind_ == "presentations") {
      if (dispId == 2005 && method && count >= 1) {  // Open
        presentationOpened = true;
        *give = L"presentation";
        return S_OK;
      }
    } else if (kind_ == "presentation" || kind_ == "activepresentation") {
      if (dispId == 2015 && read) {  // SlideShowSettings
        *give = L"slideshowsettings";
        return S_OK;
      }
      if (dispId == 2047 && read) {  // SlideShowWindow
        *give = L"slideshowwindow";
        return S_OK;
      }
      if (dispId == 2019 && method) return S_OK;
      if (dispId == 7201 && read && kind_ == "presentation") {  // Slides
        *give = L"slides";
        return S_OK;
      }
    } else if (kind_ == "slides") {
      if (dispId == 7301 && read) {  // Count
        *number = kSlideCount;
        return S_OK;
      }
    } else if (kind_ == "slideshowsettings") {
      if (dispId == 2008 && method) return S_OK;  // Run
    } else if (kind_ == "slideshowwindow") {
      if (dispId == 2003 && read) {  // View
        *give = L"slideshowview";
        return S_OK;
      }
    } else if (kind_ == "slideshowview") {
      std::wstring clicked = directory + L"\\position.txt";
      if (int moved = std::atoi(ReadFileText(clicked).c_str()); moved >= 1) {
        DeleteFileW(clicked.c_str());
        position_ = std::min(moved, kSlideCount);
      }
      double value =
          count == 1 && parameters->rgvarg[0].vt == VT_R8 ? parameters->rgvarg[0].dblVal : 0;
      if (dispId == 2019 && method) {  // Next: after the last slide, the end screen
        if (position_ == kSlideCount) state_ = 5;
        position_ = std::min(position_ + 1, kSlideCount);
        return S_OK;
      }
      if (dispId == 2021 && method && count == 1) {  // GotoSlide
        if (value >= 1 && value <= kSlideCount) position_ = static_cast<int>(value);
        return S_OK;
      }
      if (dispId == 7101 && method) {  // Previous: from the end screen, the last slide
        if (state_ != 5) position_ = std::max(position_ - 1, 1);
        state_ = 1;
      }
      if (dispId == 7102 && method) position_ = 1;
      if (dispId == 7103 && method) position_ = kSlideCount;
      if (dispId == 7104 && method) ended_ = true;
      if (dispId >= 7101 && dispId <= 7104 && method) return S_OK;
      if (dispId == 7105 && write && value >= 1 && value <= 5) {  // State
        state_ = static_cast<int>(value);
        return S_OK;
      }
      if ((dispId == 7105 || dispId == 7106) && read) {
        *number = dispId == 7105 ? state_ : position_;
        return S_OK;
      }
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  std::string kind_;
  std::string name_;
  long references_ = 0;
  // A view's show: its position, its State (ppSlideShowRunning 1 to Done 5),
  // and whether it was ended.
  int position_ = 1;
  int state_ = 1;
  bool ended_ = false;
};

class StandInFactory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    StandInObject* application = new StandInObject(L"application");
    AppendLog("create " + application->Name());
    application->AddRef();
    HRESULT hr = application->QueryInterface(riid, object);
    application->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

StandInFactory factory;

// Runs until Quit, until the test's directory is gone (the test has ended) or
// until the lifetime is over.
void RunMessageLoop() {
  UINT_PTR lifetime = SetTimer(nullptr, 0, kLifetimeMilliseconds, nullptr);
  UINT_PTR check = SetTimer(nullptr, 0, kDirectoryCheckMilliseconds, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) {
      if (message.wParam == lifetime) break;
      if (message.wParam == check &&
          GetFileAttributesW(directory.c_str()) == INVALID_FILE_ATTRIBUTES) {
        break;
      }
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  bool running = false;
  for (int i = 1; i < argc; ++i) {
    std::wstring argument = argv[i];
    if (argument == L"--dir" && i + 1 < argc) directory = argv[++i];
    if (argument == L"--running") running = true;
  }
  if (directory.empty()) return 2;

  CoInitialize(nullptr);
  AppendLog(std::string("start mode=") + (running ? "running" : "embedding") +
            " pid=" + std::to_string(GetCurrentProcessId()));
  if (running) {
    StandInObject* application = new StandInObject(L"application");
    application->AddRef();
    DWORD cookie = 0;
    HRESULT hr = RegisterActiveObject(application, kStandInClassId, ACTIVEOBJECT_STRONG, &cookie);
    AppendLog(SUCCEEDED(hr) ? "ready" : "register failed");
    application->Release();  // the running-object table holds it now
    if (SUCCEEDED(hr)) {
      RunMessageLoop();
      RevokeActiveObject(cookie, nullptr);
    }
  } else {
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(kStandInClassId, &factory, CLSCTX_LOCAL_SERVER,
                                       REGCLS_SINGLEUSE, &cookie);
    if (SUCCEEDED(hr)) {
      RunMessageLoop();
      CoRevokeClassObject(cookie);
    } else {
      AppendLog("register failed");
    }
  }
  AppendLog("end");
  CoUninitialize();
  LocalFree(argv);
  return 0;
}
