#include "server/sender_check.h"

namespace {

SenderReports serverThreadRefusalReports;

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
  return SenderReportDue(serverThreadRefusalReports, senderAddress, nowMilliseconds);
}

void ForgetRefusalsForTesting() { serverThreadRefusalReports.fill(SenderReport{}); }
