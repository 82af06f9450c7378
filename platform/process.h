// Processes: starting a program for RUN.
#pragma once

#include <cstdint>
#include <string>

struct ProgramStart {
  bool started;        // a process was created
  uint32_t errorCode;  // platform error code when not started (0: none reported)
};

// Starts the program named by `commandLine` (the platform's quoting and search
// rules) with this program's environment and working directory, its window
// shown normally, inheriting no handle or descriptor of this program. Does not
// wait for it.
//   Windows: CreateProcessA; errorCode from GetLastError.
//   Linux: the command line split into words like a shell would (quotes,
//   backslash) but without a shell, started with posix_spawnp; errno mapped
//   onto the Windows codes of the RUN table. Finished children are reaped.
ProgramStart StartProgram(const std::string& commandLine);
