// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <functional>

#include "monitor/cpu_load_meter.h"
#include "monitor/history.h"
#include "platform/cpu_time_device.h"
#include "platform/free_resources.h"
#include "platform/memory_status.h"
#include "platform/tick_clock.h"
#include "toolkit/drawing_area.h"
#include "toolkit/label.h"
#include "toolkit/status_bar.h"
#include "toolkit/timer.h"
#include "toolkit/window.h"

namespace pelmora::monitor {

inline constexpr char kStartMarker[] = "Start";
inline constexpr char kCaption[] = "Pelmora Ver.2.0";

struct TickControls {
  toolkit::Window& Form;
  toolkit::Timer& Timer1;
  std::array<toolkit::Label*, 24> Label1;
  toolkit::StatusBar& StatusBar1;
  toolkit::DrawingArea& Picture1;
};

struct TickServices {
  platform::CpuTimeDevice& CpuTime;
  platform::TickClock& Clock;
  platform::MemoryStatusSource& Memory;
  platform::FreeResources& Resources;
};

// One sample of CPU, memory and resources: the figures, the caption, the
// history and the graph.
class SamplingTick {
 public:
  // checkProcessSet compares the running processes with the list and
  // rebuilds the list when they differ.
  SamplingTick(const TickControls& controls, const TickServices& services, CpuLoadMeter& meter,
               History& history, std::function<void()> checkProcessSet);

  void Timer1_Timer();

 private:
  void WriteLabel(int index, const std::string& text);

  TickControls controls_;
  TickServices services_;
  CpuLoadMeter& meter_;
  History& history_;
  std::function<void()> checkProcessSet_;
};

}  // namespace pelmora::monitor
