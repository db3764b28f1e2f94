// SPDX-License-Identifier: MIT
#pragma once
// The real window with its Qt controls, run by a Form1 on fake services.
#include <optional>

#include "app/form1.h"
#include "app/qt/main_window.h"
#include "fakes/platform_fakes.h"

namespace pelmora::fakes {

struct WindowOnFakes {
  WindowOnFakes() { Wire(); }

  // Builds the form anew on the services as they are set up now (after a
  // test pointed one of them at a real service) and connects the window's
  // events to it; before Load.
  void Wire() {
    form.reset();
    form.emplace(window.Controls(), services.Services());
    window.Connect(*form);
  }

  FakeServices services;
  app::qt::MainWindow window;
  std::optional<app::Form1> form;
};

}  // namespace pelmora::fakes
