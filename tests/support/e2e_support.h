// Helpers for the end-to-end tests: temporary directories, real processes with
// captured output, real UDP on loopback, and the Windows program under Wine.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

// The source and build trees (compiled in) and the Windows build tree (empty
// when the native build was not told of one).
std::string SourceDir();
std::string BinaryDir();
std::string WindowsBinaryDir();

// A fresh directory under /tmp; RemoveTree deletes it with everything in it.
std::string MakeTemporaryDirectory();
void RemoveTree(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& contents);
std::string ReadTextFile(const std::string& path);

// A UDP port on 127.0.0.1 that was free a moment ago.
int FreeUdpPort();

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreeTcpPort();

// Binds a UDP socket to the wildcard address and `port`, as another program
// holding the port would; -1 when that fails. Close it with close().
int HoldUdpPort(int port);

// How often `part` occurs in `text` (overlapping occurrences count).
int CountOccurrences(const std::string& text, const std::string& part);

// Sends `payload` as one datagram to host:port, from a new socket (so from a
// new port each time) bound to the local address `from` when one is given
// (any address of 127.0.0.0/8 is local on Linux).
void SendDatagram(const std::string& payload, int port, const std::string& host = "127.0.0.1",
                  const std::string& from = "");

// Waits up to `timeoutMs` for a datagram on `fd` (a socket of HoldUdpPort)
// and takes it: its text, and the port it was sent from. False when none came.
bool ReceiveDatagram(int fd, int timeoutMs, std::string* payload, int* senderPort = nullptr);

// True when a socket can be bound to `address`: it is one of this machine's.
bool IsLocalAddress(const std::string& address);

// A started program with its standard output and standard error on one pipe.
struct Process {
  pid_t pid = -1;
  int outputFd = -1;
  std::string output;  // everything read so far
  bool exited = false;
  int exitStatus = -1;  // the wait status, once exited
};

// Starts `argv` in `workDir` with `extraEnvironment` applied: "NAME=value"
// sets a variable, a bare "NAME" removes it.
Process StartProcess(const std::vector<std::string>& argv, const std::string& workDir,
                     const std::vector<std::string>& extraEnvironment = {});

// Reads what the program has written until `text` appears at or after
// `from` in its output; false when it does not within `timeoutMs` or the
// output ends first.
bool WaitForOutput(Process& process, const std::string& text, int timeoutMs, size_t from = 0);

// Waits for the program to end (reading its output meanwhile); false on time-out.
bool WaitForExit(Process& process, int timeoutMs);

void SendSignal(const Process& process, int signalNumber);

// Kills the program if it still runs and reaps it.
void StopProcess(Process& process);

// The exit code of an exited program, or -1 (killed by a signal or running).
int ExitCode(const Process& process);

// Polls `condition` every 20 ms until it is true or `timeoutMs` has passed.
bool WaitUntil(int timeoutMs, bool (*condition)(void*), void* context);

// The live processes (zombies left out) whose command line, from /proc,
// contains every one of `parts`.
std::vector<pid_t> LiveProcessesWith(const std::vector<std::string>& parts);

// Runs a program to its end (at most `timeoutMs`) and returns its output.
std::string RunProgram(const std::vector<std::string>& argv, const std::string& workDir,
                       int* exitCode, int timeoutMs = 30000);

// Wine: wine64 with the environment of the test run (WINEPREFIX, DISPLAY).
std::string WineLoader();
// /tmp/x/y as Wine's Z:\tmp\x\y.
std::string WindowsPath(const std::string& path);
// A text as a .reg file's string: in quotes, backslashes and quotes escaped.
std::string RegString(const std::string& text);
// The stand-in PowerPoint of the slide-show tests (a Windows program).
std::string StandInPath();
// Registers the stand-in as PowerPoint's automation server in the Wine prefix
// (started with --dir `directory`, where it keeps its log), or with
// `registering` false removes every trace of it; regedit's exit code, and its
// output in `output`.
int RegisterStandIn(const std::string& directory, bool registering, std::string* output);
// Runs the Windows probe (tests/wine_probe) with `arguments`; its output.
std::string RunProbe(const std::vector<std::string>& arguments, int* exitCode = nullptr);
// The text of control `id` of the top-level window titled `title`; false when
// the window or control is not there.
bool ReadWindowControlText(const std::string& title, int id, std::string* text);

// Hex decoding of the probe's output.
std::string FromHex(const std::string& hex);

}  // namespace e2e
