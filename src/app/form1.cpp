// SPDX-License-Identifier: MIT
#include "app/form1.h"

#include <memory>
#include <utility>

#include "toolkit/number_format.h"

namespace pelmora::app {

namespace {

// The eight columns of the process list, blanks included.
constexpr const char* kColumnHeaders[] = {
    "     ファイル名      ", "参照回数",     " プロセスID ", "基本優先順位", "スレッド数",
    " ヒープID  ",           "モジュールID", "親プロセスID",
};

}  // namespace

Form1::Form1(const Form1Controls& controls, const platform::Services& services)
    : controls_(controls),
      services_(services),
      table_({controls.ListView1, controls.StatusBar1, controls.MsgBox, controls.Text}),
      tick_(
          {controls.Form, controls.Timer1, controls.Label1, controls.StatusBar1, controls.Picture1},
          {services.CpuTime, services.Clock, services.Memory, services.Resources}, cpuLoad_,
          history_, [this] {
            // A change rebuilds the list as 更新 does, from the snapshot
            // the check walked.
            if (auto changed = table_.CheckProcessSet(services_.Processes)) {
              table_.Refresh(std::move(changed));
            }
          }) {}

void Form1::Form_Load() {
  if (services_.Instance.PrevInstance()) {
    controls_.MsgBox.MsgBox("すでに起動しています。", toolkit::kMbOkExclamation,
                            "Pelmora 二重起動エラー");
    controls_.Form.EndProgram();
    return;
  }

  int32_t position = 1;
  for (const char* header : kColumnHeaders) controls_.ListView1.AddColumnHeader(position++, header);

  const int32_t columns = controls_.ListView1.ColumnHeaderCount();
  for (int32_t i = 0; i <= columns - 2; ++i) controls_.ListView1.AutoSizeColumnToHeader(i);

  std::unique_ptr<platform::CpuTimeHandle> probe = services_.CpuTime.Open();
  const bool missing = probe == nullptr;
  probe.reset();
  if (missing) {
    controls_.MsgBox.MsgBox("WINTOP.VXD がないか、動作しません？！", toolkit::kMbOkExclamation,
                            "Pelmora WINTOP.VXDエラー");
    controls_.Form.EndProgram();
    return;
  }

  HScroll1_Change();
  Command1_Click();
  controls_.Timer1.SetTag(monitor::kStartMarker);
}

void Form1::Form_Activate() { Timer1_Timer(); }

void Form1::Form_QueryUnload() { controls_.Form.EndProgram(); }

void Form1::HScroll1_Change() {
  controls_.Timer1.SetInterval(0);
  const int32_t interval = static_cast<int32_t>(controls_.HScroll1.Value()) * 200;
  controls_.Timer1.SetInterval(interval);
  const double seconds = controls_.Timer1.Interval() / 1000.0;
  controls_.Label2.SetCaption("更新頻度 " + toolkit::Format00(seconds) + "秒");
}

void Form1::Command1_Click() { table_.Command1_Click(services_.Processes); }

void Form1::Command2_Click() { table_.Command2_Click(services_.ProcessControl); }

void Form1::ListView1_Click() { table_.ListView1_Click(); }

void Form1::Timer1_Timer() { tick_.Timer1_Timer(); }

}  // namespace pelmora::app
