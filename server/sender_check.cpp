#include "server/sender_check.h"

namespace {

SenderReports serverThreadRefusalReports;

bool Due(const SenderReport& report, uint64_t now, uint64_t interval) {
  return now - report.reportedAt >= interval;
}

}  // namespace

bool SenderReportDue(SenderReports& reports, uint32_t senderAddress, uint64_t nowMilliseconds,
                     uint64_t intervalMilliseconds, uint16_t senderPort) {
  SenderReport* free = nullptr;
  for (SenderReport& report : reports) {
    if (report.used && report.address == senderAddress && report.port == senderPort) {
      if (!Due(report, nowMilliseconds, intervalMilliseconds)) return false;
      report.reportedAt = nowMilliseconds;
      return true;
    }
    if (free == nullptr && (!report.used || Due(report, nowMilliseconds, intervalMilliseconds))) {
      free = &report;
    }
  }
  if (free == nullptr) return false;  // every place holds a report of the interval
  *free = SenderReport{true, senderAddress, senderPort, nowMilliseconds};
  return true;
}

bool RefusalToBeReported(uint32_t senderAddress, uint64_t nowMilliseconds) {
  return SenderReportDue(serverThreadRefusalReports, senderAddress, nowMilliseconds);
}

void ForgetRefusalsForTesting() { serverThreadRefusalReports.fill(SenderReport{}); }
