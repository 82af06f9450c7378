// The program's code page on Windows: the system's ANSI code page.
#include <windows.h>

#include "platform/code_page.h"

namespace {

std::wstring Wide(UINT codePage, DWORD flags, std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  // A character the code page lacks becomes its default character ('?'), not
  // a look-alike ("best fit"); CP_UTF8 takes no flags.
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int length =
      WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

}  // namespace

std::string Utf8FromCodePage(std::string_view text) {
  return Narrow(CP_UTF8, Wide(CP_ACP, 0, text));
}

// Invalid UTF-8 becomes U+FFFD on the way to UTF-16, which the code page
// then gives as '?'. A character beyond U+FFFF (a surrogate pair in UTF-16)
// is one character the code page lacks, and so one '?', not two: the pair
// becomes U+FFFD first, unless the code page is UTF-8 itself.
std::string CodePageFromUtf8(std::string_view utf8) {
  std::wstring wide = Wide(CP_UTF8, 0, utf8);
  if (GetACP() != CP_UTF8) {
    size_t kept = 0;
    for (size_t i = 0; i < wide.size(); ++i, ++kept) {
      const bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() &&
                        wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
      wide[kept] = pair ? L'\xFFFD' : wide[i];
      if (pair) ++i;
    }
    wide.resize(kept);
  }
  return Narrow(CP_ACP, wide);
}
