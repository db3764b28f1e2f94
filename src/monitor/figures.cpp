// SPDX-License-Identifier: MIT
#include "monitor/figures.h"

#include "toolkit/number_format.h"

namespace pelmora::monitor {

double UsePercent(int64_t total, int64_t available) {
  if (total <= 0) return 0;
  int64_t used = 0;
  const double usedBytes = __builtin_sub_overflow(total, available, &used)
                               ? static_cast<double>(total) - static_cast<double>(available)
                               : static_cast<double>(used);
  return usedBytes / static_cast<double>(total) * 100;
}

std::string KilobyteText(int64_t bytes) {
  return toolkit::GeneralNumber(static_cast<double>(bytes) / 1024.0) + " KB";
}

std::string UseText(double percent) { return toolkit::Format0H0(percent) + " % "; }

std::string ResourceText(std::optional<int32_t> percent) {
  if (!percent) return "-- %";
  return toolkit::DecimalText(*percent) + " %";
}

std::string CpuPanelText(float cpu) { return "CPU負荷率 : " + toolkit::Format0H0(cpu) + "%"; }

}  // namespace pelmora::monitor
