// Lines written at most once a minute per sender address: the refusals of
// the senders that allow= leaves out, a door's unreadable packets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// A refused sender address is reported at most once in this time.
constexpr uint64_t kRefusalReportMilliseconds = 60 * 1000;

// How many sender addresses the refusal reports remember. When all of them
// were reported within the last minute, a further address is refused without a
// line until one of them is due again: at most this many "Refused" lines a
// minute, from any number of senders.
constexpr size_t kRefusedSendersRemembered = 64;

// When each of a bounded number of sender addresses was last reported, for
// lines that are written at most once a minute per sender.
struct SenderReport {
  bool used = false;
  uint32_t address = 0;
  uint16_t port = 0;  // 0: the address alone
  uint64_t reportedAt = 0;
};
using SenderReports = std::array<SenderReport, kRefusedSendersRemembered>;

// True when `senderAddress` (with `senderPort`, when not 0) was not reported
// in `reports` within `intervalMilliseconds` (a minute unless given) before
// `nowMilliseconds` and a place is free for it (one whose report is older than
// that, when every place is used); it is then remembered as reported.
// Otherwise false: no line.
bool SenderReportDue(SenderReports& reports, uint32_t senderAddress, uint64_t nowMilliseconds,
                     uint64_t intervalMilliseconds = kRefusalReportMilliseconds,
                     uint16_t senderPort = 0);

// True when a refusal of `senderAddress` at `nowMilliseconds` is to be reported,
// and then remembered as reported.
bool RefusalToBeReported(uint32_t senderAddress, uint64_t nowMilliseconds);

// Forgets every report (tests that run the server thread repeatedly).
void ForgetRefusalsForTesting();
