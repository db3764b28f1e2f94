// SPDX-License-Identifier: MIT
#pragma once
// The real window with its Qt controls, run by a Form1 on fake services.
#include <functional>
#include <optional>

#include "app/form1.h"
#include "app/qt/main_window.h"
#include "fakes/platform_fakes.h"

namespace pelmora::fakes {

struct WindowOnFakes {
  // setUp, when given, prepares the services before the form is built on
  // them: it may point one of them at a real service.
  explicit WindowOnFakes(const std::function<void(FakeServices&)>& setUp = {}) {
    if (setUp) setUp(services);
    form.emplace(window.Controls(), services.Services());
    window.Connect(*form);
  }

  FakeServices services;
  app::qt::MainWindow window;
  std::optional<app::Form1> form;
};

}  // namespace pelmora::fakes
