// SPDX-License-Identifier: MIT
#pragma once
// A Form1 wired to recording fakes.
#include <memory>

#include "app/form1.h"
#include "fakes/platform_fakes.h"
#include "fakes/toolkit_fakes.h"

namespace pelmora::fakes {

// The window's controls as recording fakes, ready to hand to a Form1.
struct FakeControls {
  // With logCalls, the window, the status bar and Label1 log what is set.
  explicit FakeControls(bool logCalls = true)
      : statusBar(logCalls ? &log : nullptr), form(logCalls ? &log : nullptr) {
    for (int i = 0; i < 24; ++i) {
      labels[i] = std::make_unique<FakeLabel>("Label1(" + std::to_string(i) + ")",
                                              logCalls ? &log : nullptr);
      labelPointers[i] = labels[i].get();
    }
  }

  // The controls; otherText and otherPicture stand in for the fakes' own.
  app::Form1Controls Controls(toolkit::TextServices* otherText = nullptr,
                              toolkit::DrawingArea* otherPicture = nullptr) {
    return {form,   list,          statusBar, otherPicture ? *otherPicture : picture, timer, scroll,
            label2, labelPointers, msgBox,    otherText ? *otherText : text};
  }

  CallLog log;
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
};

struct FormHarness : FakeControls {
  FormHarness() : resources(&log) {
    // An idle record at the start of the table.
    cpu.table = {0, 0, 0, platform::kCpuTimeIdleFlag};
    cpu.count = 16;
    clock.now = 100000;
    memory.status = {1024 * 523352LL, 1024 * 261676LL, 2048 * 1024LL,
                     1024 * 1024LL,   1024 * 525400LL, 1024 * 262700LL};
    processes.processes = {Process("/sbin/init", 1), Process("/usr/bin/Foo", 100)};
    for (const auto& p : processes.processes) control.running[p.th32ProcessID] = {p.startTime};
    window = std::make_unique<app::Form1>(
        Controls(),
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

  FakeSingleInstance instance;
  FakeCpuTimeDevice cpu;
  FakeTickClock clock;
  FakeMemoryStatus memory;
  FakeFreeResources resources;
  FakeProcessSource processes;
  FakeProcessControl control;
  std::unique_ptr<app::Form1> window;
};

}  // namespace pelmora::fakes
