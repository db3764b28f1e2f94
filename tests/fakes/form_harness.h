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

// A Form1 on fake controls and fake services. A test that changes which
// controls or services it uses calls Rebuild() before the first event.
struct FormHarness : FakeControls {
  explicit FormHarness(bool logCalls = true)
      : FakeControls(logCalls), services(logCalls ? &log : nullptr) {
    Rebuild();
  }

  void Rebuild(toolkit::TextServices* otherText = nullptr,
               toolkit::DrawingArea* otherPicture = nullptr) {
    window.reset();
    window = std::make_unique<app::Form1>(Controls(otherText, otherPicture), services.Services());
  }

  // Load, then the first tick on activation.
  void Start() {
    window->Form_Load();
    window->Form_Activate();
  }

  FakeServices services;
  std::unique_ptr<app::Form1> window;
};

}  // namespace pelmora::fakes
