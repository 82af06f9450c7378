// Notices: modal message boxes that wait for the user.
#pragma once

#include <string>

// Style values as the Win32 message box takes them.
constexpr unsigned kNoticePlain = 0x0;          // no icon, one OK button
constexpr unsigned kNoticeError = 0x10;         // stop (error) icon, one OK button
constexpr unsigned kNoticeSystemModal = 0x1000;  // OK button, system-modal

// Shows `text` under `caption` with no owner window and returns when the user
// has dismissed it.
//   Windows: MessageBoxA.
//   Linux: printed on the console; waits for Enter when standard input is a
//   terminal, and counts as dismissed at once when no one can answer.
void ShowNotice(const std::string& caption, const std::string& text, unsigned style);
