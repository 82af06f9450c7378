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
// own (kNamedMembers). The presentation is the deck of kDeck: five slides with
// titles (slide 3's title is a picture: its TextFrame fails), notes pages
// (slide 3's has no body placeholder), two clicks on slide 2, slide 4 hidden.
// A view keeps its show's position, clicks taken and state as PowerPoint
// does: Next plays the slide's next click, else goes to the next slide that is
// not hidden (after the last, the end screen); Previous takes back a click,
// else goes to the previous slide that is not hidden, shown with all its
// clicks; GotoSlide, First, Last and the clicker begin a slide at its start.
// After Exit its every call fails, as on a view whose show has ended. A number
// in <dir>\position.txt, taken away at the next call on a view, moves that
// show there (the presenter's clicker at the PC). Slide.Export writes a PNG
// of the asked size in the slide's colour. Texts are logged as UTF-8.
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
constexpr int kMsoTrue = -1;

// The presentation's slides.
struct DeckSlide {
  const wchar_t* title;  // nullptr: the title placeholder holds a picture
  const wchar_t* notes;  // nullptr: the notes page has no body placeholder
  int clicks;
  bool hidden;
  unsigned char colour[3];
};
const DeckSlide kDeck[kSlideCount] = {
    {L"Welcome",
     L"Good morning.\rThe agenda has three parts.\r\r"
     L"Gr\u00fc\u00dfe \u2013 caf\u00e9 \u2192 next",
     0,
     false,
     {200, 40, 40}},
    {L"Caf\u00e9 \u00d6lberg", L"First the chart,\vthen the total.", 2, false, {40, 160, 40}},
    {nullptr, nullptr, 0, false, {40, 40, 200}},
    {L"Backup figures", L"Only if asked.", 0, true, {120, 120, 120}},
    {L"Questions", L"Thank you.", 0, false, {230, 200, 30}},
};
// The slide's size in points (PageSetup).
constexpr int kSlideWidth = 960;
constexpr int kSlideHeight = 540;

// What a shape is.
enum Role { kNoRole, kTitle, kSlideImage, kBody };

// The members looked up by name, per object kind: the n-th name (from 0) has
// the DISPID `first` + n.
struct NamedMembers {
  const char* kind;
  DISPID first;
  const wchar_t* names[9];
};
const NamedMembers kNamedMembers[] = {
    {"slideshowview",
     7101,
     {L"Previous", L"First", L"Last", L"Exit", L"State", L"CurrentShowPosition", L"GetClickIndex",
      L"GetClickCount", L"Slide"}},
    {"presentation", 7201, {L"Slides", L"PageSetup"}},
    {"slides", 7301, {L"Count", L"Item"}},
    {"slide", 7401, {L"Shapes", L"NotesPage", L"SlideShowTransition", L"Export", L"SlideIndex"}},
    {"shapes", 7501, {L"HasTitle", L"Title", L"Placeholders"}},
    {"notespage", 7601, {L"Shapes"}},
    {"placeholders", 7701, {L"Count", L"Item"}},
    {"shape", 7801, {L"TextFrame", L"PlaceholderFormat"}},
    {"placeholderformat", 7901, {L"Type"}},
    {"textframe", 8001, {L"TextRange"}},
    {"textrange", 8101, {L"Text"}},
    {"slideshowtransition", 8201, {L"Hidden"}},
    {"pagesetup", 8301, {L"SlideWidth", L"SlideHeight"}}};

// The slide shown after `slide` by Next, before it by Previous: the next
// one (`step` 1) or previous one (-1) that is not hidden; 0 when none.
int ShownSlide(int slide, int step) {
  for (int other = slide + step; other >= 1 && other <= kSlideCount; other += step) {
    if (!kDeck[other - 1].hidden) return other;
  }
  return 0;
}

// ---- A PNG of one colour: stored deflate blocks, CRC-32 and Adler-32 ----

uint32_t Crc32(const std::string& bytes, size_t from) {
  uint32_t crc = 0xffffffffu;
  for (size_t i = from; i < bytes.size(); ++i) {
    crc ^= static_cast<unsigned char>(bytes[i]);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void AppendBigEndian(std::string& bytes, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(value >> shift);
}

void AppendChunk(std::string& png, const char* type, const std::string& data) {
  AppendBigEndian(png, static_cast<uint32_t>(data.size()));
  size_t from = png.size();
  png += type;
  png += data;
  AppendBigEndian(png, Crc32(png, from));
}

std::string Png(int width, int height, const unsigned char colour[3]) {
  std::string row(1 + static_cast<size_t>(width) * 3, '\0');  // filter type 0, then RGB
  for (int x = 0; x < width; ++x) {
    for (int c = 0; c < 3; ++c)
      row[1 + static_cast<size_t>(x) * 3 + c] = static_cast<char>(colour[c]);
  }
  std::string raw;
  for (int y = 0; y < height; ++y) raw += row;
  std::string zlib = "\x78\x01";
  uint32_t a = 1, b = 0;
  for (unsigned char byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t at = 0; at < raw.size(); at += 65535) {
    size_t length = std::min<size_t>(65535, raw.size() - at);
    zlib += static_cast<char>(at + length >= raw.size() ? 1 : 0);
    zlib += static_cast<char>(length & 0xff);
    zlib += static_cast<char>(length >> 8);
    zlib += static_cast<char>(~length & 0xff);
    zlib += static_cast<char>((~length >> 8) & 0xff);
    zlib.append(raw, at, length);
  }
  AppendBigEndian(zlib, (b << 16) | a);
  std::string header;
  AppendBigEndian(header, static_cast<uint32_t>(width));
  AppendBigEndian(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", zlib);
  AppendChunk(png, "IEND", std::string());
  return png;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool done = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
  CloseHandle(file);
  return done;
}

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

// What a member gives back: an object of a kind (on the slide `slide`, as
// `role`), a number or a text; or only its outcome.
struct Gift {
  std::wstring kind;
  int slide = 0;
  Role role = kNoRole;
  bool hasNumber = false;
  int number = 0;
  bool hasText = false;
  std::wstring text;
};

HRESULT GiveObject(Gift* gift, const wchar_t* kind, int slide = 0, Role role = kNoRole) {
  gift->kind = kind;
  gift->slide = slide;
  gift->role = role;
  return S_OK;
}

HRESULT GiveNumber(Gift* gift, int number) {
  gift->hasNumber = true;
  gift->number = number;
  return S_OK;
}

// The number an argument holds (VT_R8 from the server, VT_I4 from others); 0
// for none.
double NumberOf(const VARIANT& argument) {
  VARIANT number;
  VariantInit(&number);
  double value = 0;
  if (SUCCEEDED(VariantChangeType(&number, const_cast<VARIANT*>(&argument), 0, VT_R8))) {
    value = number.dblVal;
  }
  VariantClear(&number);
  return value;
}

class StandInObject final : public IDispatch {
 public:
  explicit StandInObject(const std::wstring& kind, int slide = 0, Role role = kNoRole)
      : kind_(Utf8(kind)), slide_(slide), role_(role) {
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
    for (const NamedMembers& members : kNamedMembers) {
      for (DISPID n = 0; kind_ == members.kind && n < 9 && members.names[n] != nullptr; ++n) {
        if (std::wstring(names[0]) == members.names[n]) ids[0] = members.first + n;
      }
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
    Gift gift;
    if (Listed(member) || ended_) {
      hr = DISP_E_EXCEPTION;
    } else {
      hr = Answer(dispId, flags, parameters, &gift);
    }
    if (SUCCEEDED(hr) && gift.hasNumber && result != nullptr) {
      VariantInit(result);
      result->vt = VT_I4;  // as PowerPoint gives its Long and enumerated properties
      result->lVal = gift.number;
      line += " -> I4:" + std::to_string(gift.number);
    } else if (SUCCEEDED(hr) && gift.hasText && result != nullptr) {
      VariantInit(result);
      result->vt = VT_BSTR;
      result->bstrVal = SysAllocStringLen(gift.text.data(), static_cast<UINT>(gift.text.size()));
      line += " -> " + DescribeVariant(*result);
    } else if (SUCCEEDED(hr) && !gift.kind.empty() && result != nullptr) {
      StandInObject* given = new StandInObject(gift.kind, gift.slide, gift.role);
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
  // What each member of each kind of object does: an object, a number or a
  // text to give back (`gift`), or only an outcome. Arguments arrive last first.
  HRESULT Answer(DISPID dispId, WORD flags, DISPPARAMS* parameters, Gift* gift) {
    bool read = (flags & DISPATCH_PROPERTYGET) != 0;
    bool method = (flags & DISPATCH_METHOD) != 0;
    bool write = (flags & DISPATCH_PROPERTYPUT) != 0;
    UINT count = parameters != nullptr ? parameters->cArgs : 0;
    auto argument = [&](UINT index) { return NumberOf(parameters->rgvarg[count - 1 - index]); };
    if (kind_ == "application") {
      if (dispId == 2030 && write && count == 1) return S_OK;  // Visible
      if (dispId == 2001 && (read || method)) return GiveObject(gift, L"presentations");
      if (dispId == 2004 && (read || method)) {  // ActivePresentation
        if (!presentationOpened) return DISP_E_EXCEPTION;
        return GiveObject(gift, L"activepresentation");
      }
      if (dispId == 2021 && method) {  // Quit
        AppendLog("quit");
        PostQuitMessage(0);
        return S_OK;
      }
    } else if (kind_ == "presentations") {
      if (dispId == 2005 && method && count >= 1) {  // Open
        presentationOpened = true;
        return GiveObject(gift, L"presentation");
      }
    } else if (kind_ == "presentation" || kind_ == "activepresentation") {
      if (dispId == 2015 && read) return GiveObject(gift, L"slideshowsettings");
      if (dispId == 2047 && read) return GiveObject(gift, L"slideshowwindow");
      if (dispId == 2019 && method) return S_OK;
      if (kind_ == "presentation" && dispId == 7201 && read) return GiveObject(gift, L"slides");
      if (kind_ == "presentation" && dispId == 7202 && read) return GiveObject(gift, L"pagesetup");
    } else if (kind_ == "slides") {
      if (dispId == 7301 && read) return GiveNumber(gift, kSlideCount);
      if (dispId == 7302 && method && count == 1) {  // Item
        int index = static_cast<int>(argument(0));
        if (index < 1 || index > kSlideCount) return DISP_E_BADINDEX;
        return GiveObject(gift, L"slide", index);
      }
    } else if (kind_ == "slide") {
      if (dispId == 7401 && read) return GiveObject(gift, L"shapes", slide_, kTitle);
      if (dispId == 7402 && read) return GiveObject(gift, L"notespage", slide_);
      if (dispId == 7403 && read) return GiveObject(gift, L"slideshowtransition", slide_);
      if (dispId == 7404 && method && count == 4) return Export(parameters);
      if (dispId == 7405 && read) return GiveNumber(gift, slide_);
    } else if (kind_ == "notespage") {
      if (dispId == 7601 && read) return GiveObject(gift, L"shapes", slide_, kBody);
    } else if (kind_ == "shapes") {
      // A slide's shapes (role kTitle) have a title; a notes page's (kBody) do not.
      bool slideShapes = role_ == kTitle;
      if (dispId == 7501 && read) return GiveNumber(gift, slideShapes ? kMsoTrue : 0);
      if (dispId == 7502 && read && slideShapes) return GiveObject(gift, L"shape", slide_, kTitle);
      if (dispId == 7503 && read) return GiveObject(gift, L"placeholders", slide_, role_);
    } else if (kind_ == "placeholders") {
      // A notes page: the slide's image, then the body where it has one.
      int placeholders = role_ == kTitle ? 1 : kDeck[slide_ - 1].notes != nullptr ? 2 : 1;
      if (dispId == 7701 && read) return GiveNumber(gift, placeholders);
      if (dispId == 7702 && method && count == 1) {
        int index = static_cast<int>(argument(0));
        if (index < 1 || index > placeholders) return DISP_E_BADINDEX;
        Role role = role_ == kTitle ? kTitle : index == 1 ? kSlideImage : kBody;
        return GiveObject(gift, L"shape", slide_, role);
      }
    } else if (kind_ == "shape") {
      // A title that is a picture, and a slide's image, have no text frame.
      bool text = role_ == kBody || (role_ == kTitle && kDeck[slide_ - 1].title != nullptr);
      if (dispId == 7801 && read) {
        return text ? GiveObject(gift, L"textframe", slide_, role_) : DISP_E_EXCEPTION;
      }
      if (dispId == 7802 && read) return GiveObject(gift, L"placeholderformat", slide_, role_);
    } else if (kind_ == "placeholderformat") {
      // ppPlaceholderTitle 1, ppPlaceholderBody 2, ppPlaceholderSlideImage 5.
      if (dispId == 7901 && read) {
        return GiveNumber(gift, role_ == kTitle ? 1 : role_ == kBody ? 2 : 5);
      }
    } else if (kind_ == "textframe") {
      if (dispId == 8001 && read) return GiveObject(gift, L"textrange", slide_, role_);
    } else if (kind_ == "textrange") {
      if (dispId == 8101 && read) {
        const DeckSlide& slide = kDeck[slide_ - 1];
        gift->hasText = true;
        gift->text = role_ == kTitle ? slide.title : slide.notes;
        return S_OK;
      }
    } else if (kind_ == "slideshowtransition") {
      if (dispId == 8201 && read) return GiveNumber(gift, kDeck[slide_ - 1].hidden ? kMsoTrue : 0);
    } else if (kind_ == "pagesetup") {
      if (dispId == 8301 && read) return GiveNumber(gift, kSlideWidth);
      if (dispId == 8302 && read) return GiveNumber(gift, kSlideHeight);
    } else if (kind_ == "slideshowsettings") {
      if (dispId == 2008 && method) return S_OK;  // Run
    } else if (kind_ == "slideshowwindow") {
      if (dispId == 2003 && read) return GiveObject(gift, L"slideshowview");
    } else if (kind_ == "slideshowview") {
      return View(dispId, method, read, write, count == 1 ? argument(0) : 0, count, gift);
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  // The members of a slide-show view.
  HRESULT View(DISPID dispId, bool method, bool read, bool write, double value, UINT count,
               Gift* gift) {
    std::wstring clicked = directory + L"\\position.txt";
    if (int moved = std::atoi(ReadFileText(clicked).c_str()); moved >= 1) {
      DeleteFileW(clicked.c_str());
      Begin(std::min(moved, kSlideCount));
    }
    if (dispId == 2019 && method) {  // Next: after the last slide, the end screen
      if (clicks_ < kDeck[position_ - 1].clicks) {
        ++clicks_;
      } else if (int next = ShownSlide(position_, 1); next != 0) {
        Begin(next);
      } else {
        state_ = 5;
      }
      return S_OK;
    }
    if (dispId == 2021 && method && count == 1) {  // GotoSlide
      if (value >= 1 && value <= kSlideCount) Begin(static_cast<int>(value));
      return S_OK;
    }
    if (dispId == 7101 && method) {  // Previous: from the end screen, the last slide
      if (state_ == 5) {
        clicks_ = kDeck[position_ - 1].clicks;
      } else if (clicks_ > 0) {
        --clicks_;
      } else if (int previous = ShownSlide(position_, -1); previous != 0) {
        position_ = previous;
        clicks_ = kDeck[previous - 1].clicks;  // shown with all its clicks
      }
      state_ = 1;
    }
    if (dispId == 7102 && method) Begin(1);
    if (dispId == 7103 && method) Begin(kSlideCount);
    if (dispId == 7104 && method) ended_ = true;
    if (dispId >= 7101 && dispId <= 7104 && method) return S_OK;
    if (dispId == 7105 && write && value >= 1 && value <= 5) {  // State
      state_ = static_cast<int>(value);
      return S_OK;
    }
    if (dispId == 7105 && read) return GiveNumber(gift, state_);
    if (dispId == 7106 && read) return GiveNumber(gift, position_);
    if (dispId == 7107 && method) return GiveNumber(gift, clicks_);  // GetClickIndex
    if (dispId == 7108 && method) return GiveNumber(gift, kDeck[position_ - 1].clicks);
    if (dispId == 7109 && read) return GiveObject(gift, L"slide", position_);
    return DISP_E_MEMBERNOTFOUND;
  }

  // Slide `slide` from its start.
  void Begin(int slide) {
    position_ = slide;
    clicks_ = 0;
  }

  // Slide.Export(FileName, FilterName, ScaleWidth, ScaleHeight): the slide
  // as a PNG of that size.
  HRESULT Export(DISPPARAMS* parameters) {
    const VARIANT* arguments = parameters->rgvarg;  // last first
    if (arguments[3].vt != VT_BSTR || arguments[2].vt != VT_BSTR ||
        lstrcmpiW(arguments[2].bstrVal, L"PNG") != 0) {
      return E_INVALIDARG;
    }
    double width = NumberOf(arguments[1]), height = NumberOf(arguments[0]);
    if (width < 1 || width > 8000 || height < 1 || height > 8000) return E_INVALIDARG;
    std::string png =
        Png(static_cast<int>(width), static_cast<int>(height), kDeck[slide_ - 1].colour);
    return WriteWholeFile(arguments[3].bstrVal, png) ? S_OK : E_FAIL;
  }

  std::string kind_;
  std::string name_;
  long references_ = 0;
  int slide_;  // the slide an object below the slides belongs to
  Role role_;  // what its shapes are
  // A view's show: its position, the clicks taken there, its State
  // (ppSlideShowRunning 1 to Done 5), and whether it was ended.
  int position_ = 1;
  int clicks_ = 0;
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
