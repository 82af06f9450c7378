// What the end-to-end benchmarks read about processes from /proc, and the
// small helpers of their figures.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

double MillisecondsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to);

// The whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// `value` formatted by printf's `format` (one number).
std::string Format(const char* format, double value);

// The value at `fraction` (0 to 1) of the sorted values; 0 for none.
double Percentile(std::vector<double> values, double fraction);

// utime + stime of the whole process (all its threads), in seconds.
double ProcessCpuSeconds(pid_t pid);

// Run time in nanoseconds and times scheduled, summed over the threads.
struct SchedTotals {
  unsigned long long runNs = 0;
  unsigned long long timesScheduled = 0;
};

SchedTotals ProcessSchedTotals(pid_t pid);

// A UDP port that was free a moment ago; 0 when none could be had.
int FreeUdpPort();

// A UDP socket bound to 127.0.0.1 on a free port, which goes to `port`.
int BoundSocket(int* port);

// Sends `text` as one datagram from `fd` to 127.0.0.1:`port`.
void SendTo(int fd, int port, const std::string& text);
