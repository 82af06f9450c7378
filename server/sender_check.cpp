#include "server/sender_check.h"

#include <string>

#include "common/status_log.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "server/server_thread.h"

namespace {

// Used by the server thread only.
SenderReports refusalReports;

bool Due(const SenderReport& report, uint64_t now) {
  return now - report.reportedAt >= kRefusalReportMilliseconds;
}

}  // namespace

bool SenderReportDue(SenderReports& reports, uint32_t senderAddress, uint64_t nowMilliseconds) {
  SenderReport* free = nullptr;
  for (SenderReport& report : reports) {
    if (report.used && report.address == senderAddress) {
      if (!Due(report, nowMilliseconds)) return false;
      report.reportedAt = nowMilliseconds;
      return true;
    }
    if (free == nullptr && (!report.used || Due(report, nowMilliseconds))) free = &report;
  }
  if (free == nullptr) return false;  // every place holds a report of the last minute
  *free = SenderReport{true, senderAddress, nowMilliseconds};
  return true;
}

bool RefusalToBeReported(uint32_t senderAddress, uint64_t nowMilliseconds) {
  return SenderReportDue(refusalReports, senderAddress, nowMilliseconds);
}

bool AcceptSender(uint32_t senderAddress, uint16_t senderPort, uint64_t nowMilliseconds) {
  if (!Settings.allowedSenders || AddressInRanges(senderAddress, *Settings.allowedSenders)) {
    return true;
  }
  if (RefusalToBeReported(senderAddress, nowMilliseconds)) {
    AddLogLine("Refused datagram from " + FormatIpAddress(senderAddress) + ":" +
               std::to_string(senderPort));
  }
  return false;
}

void ForgetRefusalsForTesting() { refusalReports.fill(SenderReport{}); }
