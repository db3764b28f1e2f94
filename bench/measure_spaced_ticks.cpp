// SPDX-License-Identifier: MIT
// The CPU time of ticks spaced as in the program (one a second by default),
// on the real /proc with recording fakes for the controls, split into the
// process-set check and the rest. Caches grow cold between spaced ticks, so
// this is what a tick costs the running program.
//   measure_spaced_ticks [ticks] [milliseconds between ticks]
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/form1.h"
#include "fakes/form_harness.h"
#include "platform/linux/linux_services.h"
#include "processes/process_table.h"

namespace {

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pelmora;
  const int ticks = argc > 1 ? std::atoi(argv[1]) : 20;
  const int spacing = argc > 2 ? std::atoi(argv[2]) : 1000;

  platform::linux_os::LinuxServices services;
  fakes::FakeControls controls(false);
  app::Form1 form(controls.Controls(), services.Services());
  form.Form_Load();
  form.Form_Activate();

  // The check alone, on a table of its own built from the same processes.
  processes::ProcessTable table(
      {controls.list, controls.statusBar, controls.msgBox, controls.text});
  table.Command1_Click(services.processes);

  double tickMs = 0;
  double checkMs = 0;
  for (int i = 0; i < ticks; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(spacing));
    double start = ThreadCpuMs();
    form.Timer1_Timer();
    tickMs += ThreadCpuMs() - start;

    std::this_thread::sleep_for(std::chrono::milliseconds(spacing));
    start = ThreadCpuMs();
    table.CheckProcessSet(services.processes);
    checkMs += ThreadCpuMs() - start;
  }
  std::printf("%lld processes, %d ticks %d ms apart\n",
              static_cast<long long>(form.Table().ProcessCount), ticks, spacing);
  std::printf("tick: %.3f ms of CPU each; process-set check alone: %.3f ms\n", tickMs / ticks,
              checkMs / ticks);
  return 0;
}
