// SPDX-License-Identifier: MIT
// Start-up and ticks on broken OS texts, through the real Linux CPU-time
// device and memory source: each has a defined figure, never nan, inf or a
// negative count.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fakes/form_harness.h"
#include "platform/linux/figures/linux_cpu_time_device.h"
#include "platform/linux/figures/linux_memory_status.h"
#include "platform/linux/io/proc_fs.h"
#include "support/scratch_dir.h"

namespace pelmora::fakes {
namespace {

using testing_support::ScratchDir;

// A Form1 whose CPU-time device and memory source are the real ones, reading
// the stat and meminfo files the test writes under root.
struct RealDeviceForm : FormHarness {
  explicit RealDeviceForm(const std::string& root)
      : door(root), device(services.clock, door), memory(door) {
    services.clock.now = 1000;
    services.processes.processes = {Process("/sbin/init", 1)};
    services.use.cpuTime = &device;
    services.use.memory = &memory;
    Rebuild();
  }

  platform::linux_os::ProcFs door;
  platform::linux_os::LinuxCpuTimeDevice device;
  platform::linux_os::LinuxMemoryStatus memory;
};

std::string CpuLine(uint64_t user, uint64_t idle) {
  return "cpu  " + std::to_string(user) + " 0 0 " + std::to_string(idle) + " 0 0 0 0 0 0\n";
}

// No figure shows nan, inf, a minus sign or an empty text.
void ExpectSaneFigures(const RealDeviceForm& f, const std::string& context) {
  for (int i = 1; i < 24; i += 2) {
    const std::string& text = f.labels[i]->caption;
    EXPECT_FALSE(text.empty()) << context << ": Label1(" << i << ")";
    for (const char* bad : {"nan", "NaN", "inf", "\u221E", "-"}) {
      EXPECT_EQ(text.find(bad), std::string::npos) << context << ": Label1(" << i << ") " << text;
    }
  }
  const std::string& panel = f.statusBar.panels[1];
  for (const char* bad : {"NaN", "\u221E"}) {
    EXPECT_EQ(panel.find(bad), std::string::npos) << context << ": " << panel;
  }
}

TEST(HostileStartup, UnreadableProcStatShowsTheDeviceMessageAndEnds) {
  ScratchDir scratch;
  scratch.Write("meminfo", "MemTotal: 1000 kB\nMemAvailable: 10 kB\n");
  for (const char* stat : {"missing", "", "cpu  12 0 3", "cpu  x y z w\n", "a directory"}) {
    SCOPED_TRACE(stat);
    scratch.Remove("stat");
    if (std::string(stat) == "a directory") {
      ::mkdir(scratch.Path("stat").c_str(), 0755);
    } else if (std::string(stat) != "missing") {
      scratch.Write("stat", stat);
    }
    RealDeviceForm f(scratch.Root());
    f.window->Form_Load();
    ASSERT_EQ(f.msgBox.shown.size(), 1u);
    EXPECT_EQ(f.msgBox.shown[0].prompt, "WINTOP.VXD がないか、動作しません？！");
    EXPECT_EQ(f.msgBox.shown[0].title, "Pelmora WINTOP.VXDエラー");
    EXPECT_EQ(f.form.endCount, 1);
    EXPECT_EQ(f.timer.interval, 0);
  }
  // Root reads any file whatever its mode: the unreadable case needs a user.
  if (::geteuid() != 0) {
    ::chmod(scratch.Write("stat", CpuLine(1, 1)).c_str(), 0);
    RealDeviceForm f(scratch.Root());
    f.window->Form_Load();
    EXPECT_EQ(f.msgBox.shown.size(), 1u);
  }
}

TEST(HostileStartup, BrokenMeminfoGivesDefinedFigures) {
  ScratchDir scratch;
  scratch.Write("stat", CpuLine(100, 100));
  const struct {
    const char* name;
    std::string text;
    std::string totalPhys;  // Label1(1)
    std::string usePhys;    // Label1(5)
    std::string totalSwap;  // Label1(13)
    std::string useSwap;    // Label1(17)
  } cases[] = {
      {"empty", "", "0 KB", "0.00 % ", "0 KB", "0.00 % "},
      {"truncated in a number", "MemTotal: 2048 kB\nMemAvailable: 10", "2048 KB", "100.00 % ",
       "0 KB", "0.00 % "},
      {"no swap, reordered",
       "SwapFree: 0 kB\nMemAvailable: 512 kB\nSwapTotal: 0 kB\nMemTotal: 2048 kB\n", "2048 KB",
       "75.00 % ", "0 KB", "0.00 % "},
      {"beyond 64 bits",
       "MemTotal: 99999999999999999999999 kB\nMemAvailable: 5 kB\nSwapTotal: 1 kB\n", "0 KB",
       "0.00 % ", "1 KB", "100.00 % "},
      {"binary noise", std::string("\0\xff:\n:\n\n", 7), "0 KB", "0.00 % ", "0 KB", "0.00 % "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    scratch.Write("meminfo", c.text);
    RealDeviceForm f(scratch.Root());
    f.window->Form_Load();
    ASSERT_TRUE(f.msgBox.shown.empty());
    f.window->Form_Activate();
    ExpectSaneFigures(f, c.name);
    EXPECT_EQ(f.labels[1]->caption, c.totalPhys);
    EXPECT_EQ(f.labels[5]->caption, c.usePhys);
    EXPECT_EQ(f.labels[13]->caption, c.totalSwap);
    EXPECT_EQ(f.labels[17]->caption, c.useSwap);
  }
}

TEST(HostileStartup, ProcStatBreakingAndAClockStandingStillOrGoingBack) {
  ScratchDir scratch;
  scratch.Write("meminfo", "MemTotal: 1000 kB\nMemAvailable: 10 kB\n");
  const std::string stat = scratch.Write("stat", CpuLine(0, 0));
  RealDeviceForm f(scratch.Root());
  f.window->Form_Load();
  f.window->Form_Activate();

  // Each step: what /proc/stat says, how the clock moves, the load shown.
  const struct {
    const char* name;
    std::string text;
    int64_t clockStep;
    std::string panel;
  } steps[] = {
      {"idle second", CpuLine(0, 100), 1000, "CPU負荷率 : 0.00%"},
      {"busy second", CpuLine(100, 100), 1000, "CPU負荷率 : 100.00%"},
      {"clock stands still", CpuLine(150, 150), 0, "CPU負荷率 : 0.00%"},
      {"clock goes back", CpuLine(200, 200), -5000, "CPU負荷率 : 0.00%"},
      {"half busy after it", CpuLine(250, 250), 1000, "CPU負荷率 : 50.00%"},
      // Without /proc/stat the device cannot be opened: no load.
      {"file emptied", "", 1000, "CPU負荷率 : 0.00%"},
      {"file cut", "cpu  9", 1000, "CPU負荷率 : 0.00%"},
      // The first reading after the outage spans it: no load is computed
      // from it, rather than a negative one.
      {"counters step back", CpuLine(10, 10), 1000, "CPU負荷率 : 0.00%"},
      {"busy after it", CpuLine(110, 10), 1000, "CPU負荷率 : 100.00%"},
      {"beyond 64 bits", "cpu  1 0 0 99999999999999999999999\n", 1000, "CPU負荷率 : 0.00%"},
      {"idle after it", CpuLine(110, 110), 1000, "CPU負荷率 : 0.00%"},
      {"half busy again", CpuLine(160, 160), 1000, "CPU負荷率 : 50.00%"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    scratch.Write("stat", s.text);
    f.services.clock.now += s.clockStep;
    f.window->Timer1_Timer();
    EXPECT_EQ(f.statusBar.panels[1], s.panel);
    ExpectSaneFigures(f, s.name);
  }
}

}  // namespace
}  // namespace pelmora::fakes
