// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace pelmora::monitor {

// Percent of a total that is in use: (total - available) / total * 100.
// A total of 0 or less has nothing in use and gives 0.
double UsePercent(int64_t total, int64_t available);

// "523352 KB": the byte count divided by 1024 as a general number.
std::string KilobyteText(int64_t bytes);
// "45.68 % ": a use percentage with two decimals and a trailing blank.
std::string UseText(double percent);
// "90 %": a free-resource percentage; "-- %" when its source cannot be read.
std::string ResourceText(std::optional<int32_t> percent);
// "CPU負荷率 : 7.50%".
std::string CpuPanelText(float cpu);

}  // namespace pelmora::monitor
