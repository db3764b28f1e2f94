// SPDX-License-Identifier: MIT
// What the window costs beyond the reads of /proc: the real window ticking
// at 0.2 s on its real CPU-time device, memory and resource figures, with a
// fixed set of processes held in memory, so that no /proc walk and no
// rebuild happens. Its CPU use, set beside bare_tick's at the same
// interval, is the part of the program's cost that no cheaper reading of
// /proc can take away. Run it on the display the program would use (Xvfb).
//   measure_window_ticks [seconds] [processes]
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/qt/main_window.h"
#include "common.h"
#include "platform/linux/linux_services.h"
#include "qt/window_on_fakes.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pelmora;
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  const int count = argc > 2 ? std::atoi(argv[2]) : 380;
  int qtArgc = 1;
  QApplication app(qtArgc, argv);

  platform::linux_os::LinuxServices os;
  fakes::WindowOnFakes run([&](fakes::FakeServices& fake) {
    fake.processes.processes = bench::ManyProcesses(count);
    fake.use.cpuTime = &os.cpuTime;
    fake.use.clock = &os.clock;
    fake.use.memory = &os.memory;
    fake.use.resources = &os.resources;
  });
  run.window.Load();
  run.window.show();
  run.window.HScroll1->setValue(1);  // 0.2 s

  // After a warm-up of 3 s, the span.
  double start = 0;
  QTimer::singleShot(3000, [&] { start = CpuSeconds(); });
  QTimer::singleShot(3000 + seconds * 1000, [&] {
    const double used = CpuSeconds() - start;
    std::printf(
        "%d processes in memory, ticks every 0.2 s for %d s: %.3f %% of one core, "
        "%.3f ms a tick\n",
        count, seconds, 100 * used / seconds, 1000 * used / (seconds * 5.0));
    QApplication::quit();
  });
  return QApplication::exec();
}
