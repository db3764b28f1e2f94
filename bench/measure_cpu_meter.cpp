// SPDX-License-Identifier: MIT
// Measures what the CPU load meter reads on this machine: first idle, then
// with one core kept busy, against the share one busy core should give
// (100 / number of processors) and against the machine's own /proc/stat
// figures over the same spans. Prints one line per second; a measurement,
// not a test.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "monitor/cpu_load_meter.h"
#include "platform/linux/io/proc_fs.h"
#include "platform/linux/figures/linux_cpu_time_device.h"
#include "platform/linux/figures/linux_tick_clock.h"

namespace {

struct Jiffies {
  unsigned long long busy = 0, total = 0;
};

// The whole machine's busy and total jiffies, as top counts them.
Jiffies ReadJiffies() {
  std::ifstream in("/proc/stat");
  std::string line;
  std::getline(in, line);
  std::istringstream fields(line.substr(4));
  unsigned long long v[8] = {};
  for (auto& x : v) fields >> x;
  Jiffies j;
  for (int i = 0; i < 8; ++i) j.total += v[i];
  j.busy = j.total - v[3] - v[4];
  return j;
}

void Phase(const char* name, int seconds, pelmora::monitor::CpuLoadMeter& meter,
           pelmora::platform::CpuTimeDevice& device, pelmora::platform::TickClock& clock,
           double expected) {
  double sum = 0;
  for (int s = 0; s < seconds; ++s) {
    const Jiffies before = ReadJiffies();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const Jiffies after = ReadJiffies();
    const float load = meter.ReadCpuLoad(device, clock) / 100;
    const double top = 100.0 * (after.busy - before.busy) / double(after.total - before.total);
    std::printf("%-6s  meter %6.2f %%   /proc/stat %6.2f %%   expected about %6.2f %%\n", name,
                load, top, expected);
    sum += load;
  }
  std::printf("%-6s  mean of the meter over %d s: %.2f %%\n", name, seconds, sum / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  pelmora::platform::linux_os::LinuxTickClock clock;
  pelmora::platform::linux_os::ProcFs proc("/proc");
  pelmora::platform::linux_os::LinuxCpuTimeDevice device(clock, proc);
  pelmora::monitor::CpuLoadMeter meter;
  meter.ReadCpuLoad(device, clock);

  std::printf("%ld processors; one busy core should read %.1f %%\n", cpus, 100.0 / cpus);
  Phase("idle", seconds, meter, device, clock, 0);

  std::atomic<bool> stop{false};
  std::thread busy([&stop] {
    volatile unsigned long long x = 0;
    while (!stop.load(std::memory_order_relaxed)) x = x + 1;
  });
  meter.ReadCpuLoad(device, clock);  // start the busy spans afresh
  Phase("busy", seconds, meter, device, clock, 100.0 / cpus);
  stop = true;
  busy.join();
  return 0;
}
