#include <windows.h>

#include <vector>

#include "platform/process.h"

ProgramStart StartProgram(const std::string& commandLine) {
  // CreateProcessA may write into the command line: it gets a copy.
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.bInheritHandle = FALSE;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  BOOL created = CreateProcessA(nullptr, writable.data(), &security, &security,
                                FALSE /* no inherited handles */, NORMAL_PRIORITY_CLASS, nullptr,
                                nullptr, &startup, &process);
  DWORD error = created ? 0 : GetLastError();
  if (created) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  if (created && process.dwProcessId != 0) return ProgramStart{true, 0};
  return ProgramStart{false, static_cast<uint32_t>(error)};
}
