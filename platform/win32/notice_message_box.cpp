#include <windows.h>

#include "platform/notice.h"

void ShowNotice(const std::string& caption, const std::string& text, unsigned style) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}
