#pragma once
// A Form1 wired to recording fakes.
#include <memory>

#include "app/form1.h"
#include "fakes/platform_fakes.h"
#include "fakes/toolkit_fakes.h"

namespace pelmora::fakes {

struct FormHarness {
  FormHarness() : resources(&log), statusBar(&log), form(&log) {
    for (int i = 0; i < 24; ++i) {
      labels[i] = std::make_unique<FakeLabel>("Label1(" + std::to_string(i) + ")", &log);
      labelPointers[i] = labels[i].get();
    }
    // An idle record at the start of the table.
    cpu.table = {0, 0, 0, platform::kCpuTimeIdleFlag};
    cpu.count = 16;
    clock.now = 100000;
    memory.status = {1024 * 523352LL, 1024 * 261676LL, 2048 * 1024LL,
                     1024 * 1024LL,   1024 * 525400LL, 1024 * 262700LL};
    processes.processes = {Process("/sbin/init", 1), Process("/usr/bin/Foo", 100)};
    for (const auto& p : processes.processes) control.running[p.th32ProcessID] = {p.startTime};
    window = std::make_unique<app::Form1>(
        app::Form1Controls{form, list, statusBar, picture, timer, scroll, label2, labelPointers,
                           msgBox, text},
        app::Form1Services{instance, cpu, clock, memory, resources, processes, control});
  }

  // Load, then the first tick on activation.
  void Start() {
    window->Form_Load();
    window->Form_Activate();
  }

  // Sets the idle counter and the clock for the next tick.
  void NextSample(int64_t elapsedMs, int32_t idleDeltaMs) {
    clock.now += elapsedMs;
    cpu.table[2] += idleDeltaMs;
  }

  CallLog log;
  FakeSingleInstance instance;
  FakeCpuTimeDevice cpu;
  FakeTickClock clock;
  FakeMemoryStatus memory;
  FakeFreeResources resources;
  FakeProcessSource processes;
  FakeProcessControl control;

  FakeListView list;
  FakeStatusBar statusBar;
  RecordingDrawingArea picture;
  ManualTimer timer;
  FakeScrollBar scroll;
  FakeLabel label2{"Label2"};
  std::array<std::unique_ptr<FakeLabel>, 24> labels;
  std::array<toolkit::Label*, 24> labelPointers{};
  FakeMessageBox msgBox;
  FakeTextServices text;
  FakeWindow form;
  std::unique_ptr<app::Form1> window;
};

}  // namespace pelmora::fakes
