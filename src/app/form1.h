// SPDX-License-Identifier: MIT
#pragma once
#include <array>

#include "monitor/cpu_load_meter.h"
#include "monitor/history.h"
#include "monitor/sampling_tick.h"
#include "platform/services.h"
#include "processes/process_table.h"
#include "toolkit/drawing_area.h"
#include "toolkit/label.h"
#include "toolkit/list_view.h"
#include "toolkit/message_box.h"
#include "toolkit/scroll_bar.h"
#include "toolkit/status_bar.h"
#include "toolkit/text_services.h"
#include "toolkit/timer.h"
#include "toolkit/window.h"

namespace pelmora::app {

// The controls of the window, by their names.
struct Form1Controls {
  toolkit::Window& Form;
  toolkit::ListView& ListView1;
  toolkit::StatusBar& StatusBar1;
  toolkit::DrawingArea& Picture1;
  toolkit::Timer& Timer1;
  toolkit::ScrollBar& HScroll1;
  toolkit::Label& Label2;
  std::array<toolkit::Label*, 24> Label1;  // indices 0 to 23
  toolkit::MessageBox& MsgBox;
  toolkit::TextServices& Text;
};

// The window's logic: its event procedures and all form-level state.
// Knows the toolkit and the platform only through their interfaces.
class Form1 {
 public:
  Form1(const Form1Controls& controls, const platform::Services& services);

  void Form_Load();
  void Form_Activate();
  void Form_QueryUnload();
  void HScroll1_Change();
  void Command1_Click();
  void Command2_Click();
  void ListView1_Click();
  void Timer1_Timer();

  const monitor::History& GraphHistory() const { return history_; }
  const processes::ProcessTable& Table() const { return table_; }

 private:
  Form1Controls controls_;
  platform::Services services_;
  monitor::CpuLoadMeter cpuLoad_;  // WintopBuffer, PrevTick, CurTick, PrevIdleTime
  monitor::History history_;       // History, WarmUpCount
  processes::ProcessTable table_;  // ProcessNames, ProcessIds, ProcessCount
  monitor::SamplingTick tick_;
};

}  // namespace pelmora::app
