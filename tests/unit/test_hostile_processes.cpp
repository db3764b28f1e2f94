// SPDX-License-Identifier: MIT
// Processes with hostile names, and processes that vanish at the worst
// moment, read by the real Linux snapshot and shown by the window's logic.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/form1.h"
#include "fakes/platform_fakes.h"
#include "fakes/toolkit_fakes.h"
#include "platform/linux/linux_process_snapshot.h"
#include "toolkit/qt/text_services.h"
#include "toolkit/utf8.h"
#include "unit/form_harness.h"

extern char** environ;

namespace pelmora::fakes {
namespace {

constexpr std::string_view kFffd = "\xEF\xBF\xBD";

// A child process, killed and reaped at the end unless already reaped.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) {}
  ~Child() { Reap(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  pid_t pid() const { return pid_; }
  void Reap() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_;
};

// `program 600`.
std::unique_ptr<Child> Spawn(const std::string& program) {
  std::string seconds = "600";
  char* argv[] = {const_cast<char*>(program.c_str()), seconds.data(), nullptr};
  pid_t pid = -1;
  if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return nullptr;
  return std::make_unique<Child>(pid);
}

// A child that names itself and ends at once, staying a zombie: without an
// executable or command line, its row shows the command name.
std::unique_ptr<Child> NamedZombie(const std::string& name) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_NAME, name.c_str(), 0, 0, 0);
    ::_exit(0);
  }
  return pid > 0 ? std::make_unique<Child>(pid) : nullptr;
}

char State(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const size_t close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() ? 0 : text[close + 2];
}

std::string Exe(pid_t pid) {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
}

bool PollUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The snapshot source used by the window, with a hook that runs when the
// n-th snapshot is taken or first walked.
class HookedSource : public platform::ProcessSnapshotSource {
 public:
  std::unique_ptr<platform::ProcessSnapshot> CreateToolhelp32Snapshot() override {
    ++taken;
    if (beforeTaking && taken == hookOn) beforeTaking();
    auto inner = real.CreateToolhelp32Snapshot();
    if (beforeWalking && taken == hookOn) {
      return std::make_unique<Walk>(std::move(inner), beforeWalking);
    }
    return inner;
  }

  platform::linux_os::LinuxProcessSnapshotSource real;
  int taken = 0;
  int hookOn = 0;
  std::function<void()> beforeTaking;
  std::function<void()> beforeWalking;

 private:
  // Runs the hook once the directory was listed, before the first read.
  class Walk : public platform::ProcessSnapshot {
   public:
    Walk(std::unique_ptr<platform::ProcessSnapshot> inner, std::function<void()> hook)
        : inner_(std::move(inner)), hook_(std::move(hook)) {}
    bool Process32First(platform::ProcessEntry& e) override {
      hook_();
      return inner_->Process32First(e);
    }
    bool Process32Next(platform::ProcessEntry& e) override { return inner_->Process32Next(e); }
    bool PathFirst(std::string& p) override {
      hook_();
      return inner_->PathFirst(p);
    }
    bool PathNext(std::string& p) override { return inner_->PathNext(p); }

   private:
    std::unique_ptr<platform::ProcessSnapshot> inner_;
    std::function<void()> hook_;
  };
};

// A Form1 on the real process snapshot and the real text decoding, with
// fakes for the rest.
struct RealProcessesForm : FakeControls {
  RealProcessesForm() {
    cpu.table = {0, 0, 0, platform::kCpuTimeIdleFlag};
    cpu.count = 16;
    window = std::make_unique<app::Form1>(
        Controls(&decoder),
        app::Form1Services{instance, cpu, clock, memory, resources, source, control});
  }

  // The row of a process, from 1; 0 when it is not listed.
  int64_t RowOf(pid_t pid) const {
    const auto& table = window->Table();
    for (int64_t i = 1; i <= table.ProcessCount; ++i) {
      if (table.ProcessIds[i] == pid) return i;
    }
    return 0;
  }
  const std::string& Shown(int64_t row) const { return list.rows.at(row - 1)[0]; }
  // Every row is valid UTF-8 and the list matches the table.
  void ExpectConsistent() const {
    const auto& table = window->Table();
    ASSERT_EQ(static_cast<int64_t>(list.rows.size()), table.ProcessCount);
    EXPECT_EQ(statusBar.panels[2], std::to_string(table.ProcessCount));
    for (const auto& row : list.rows) {
      EXPECT_EQ(toolkit::ValidUtf8Prefix(row[0]), row[0].size());
    }
  }

  FakeSingleInstance instance;
  FakeCpuTimeDevice cpu;
  FakeTickClock clock;
  FakeMemoryStatus memory;
  FakeFreeResources resources;
  HookedSource source;
  FakeProcessControl control;
  toolkit::qt::QtTextServices decoder;
  std::unique_ptr<app::Form1> window;
};

class HostileProcesses : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelmora-hostile-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string CopyOfSleep(const std::string& name) {
    const std::string path = dir_ + "/" + name;
    std::filesystem::copy_file("/bin/sleep", path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }

  std::string dir_;
};

TEST_F(HostileProcesses, NamesTheKernelAllowsShowAsValidTextWithReplacements) {
  // An executable whose file name holds blanks, parentheses, a tab, a
  // newline, a right-to-left mark and two bytes that are no UTF-8.
  const std::string hostileName = "Run (x) \t\n\xE2\x80\x8F\xFF\xFE name";
  auto hostile = Spawn(CopyOfSleep(hostileName));
  // An executable deleted while it runs.
  const std::string gonePath = CopyOfSleep("Gone");
  auto gone = Spawn(gonePath);
  // Command names (15 bytes at most): the last "あ" is cut after two bytes.
  auto zombie = NamedZombie("x) (\t\n\xE2\x80\x8F\xFF\xE3\x81\x82\xE3\x81\x82");
  auto plainZombie = NamedZombie("Web Content");
  ASSERT_TRUE(hostile && gone && zombie && plainZombie);
  ASSERT_TRUE(PollUntil([&] {
    return State(zombie->pid()) == 'Z' && State(plainZombie->pid()) == 'Z' &&
           Exe(hostile->pid()) == dir_ + "/" + hostileName;
  }));
  ASSERT_EQ(::unlink(gonePath.c_str()), 0);

  RealProcessesForm f;
  f.window->Form_Load();
  f.window->Form_Activate();
  f.ExpectConsistent();

  const struct {
    pid_t pid;
    std::string shown;
  } expected[] = {
      {hostile->pid(),
       "run (x) \t\n\xE2\x80\x8F" + std::string(kFffd) + std::string(kFffd) + " name"},
      {gone->pid(), "gone (deleted)"},
      {zombie->pid(),
       "x) (\t\n\xE2\x80\x8F" + std::string(kFffd) + "\xE3\x81\x82" + std::string(kFffd)},
      {plainZombie->pid(), "web content"},
  };
  for (const auto& e : expected) {
    const int64_t row = f.RowOf(e.pid);
    ASSERT_GT(row, 0) << "process " << e.pid << " is listed";
    EXPECT_EQ(f.Shown(row), e.shown);
  }
  // The key of a clicked hostile row is its lower-cased, decoded path.
  f.list.selected = f.RowOf(hostile->pid());
  f.window->ListView1_Click();
  std::string dir = dir_;
  for (char& c : dir) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(f.statusBar.panels[0], dir + "/" + expected[0].shown);

  // The zombies are reaped: the next tick notices and rebuilds.
  zombie->Reap();
  plainZombie->Reap();
  f.window->Timer1_Timer();
  f.ExpectConsistent();
  EXPECT_EQ(f.RowOf(zombie->pid()), 0);
}

TEST_F(HostileProcesses, ProcessVanishingBetweenTheChecksAndTheReadsIsSkipped) {
  const std::string program = CopyOfSleep("Vanishing");
  // Of another executable: the check compares paths, and a newcomer of the
  // victim's own executable could take the victim's place unnoticed.
  const std::string other = CopyOfSleep("Newcomer");
  struct Moment {
    const char* name;
    int snapshot;  // 1: the tick's check, 2: the refresh it calls
    bool afterListing;
  };
  for (const Moment& m : {Moment{"between check and refresh", 2, false},
                          Moment{"after the refresh listed it", 2, true},
                          Moment{"during the check's walk", 1, true}}) {
    SCOPED_TRACE(m.name);
    auto victim = Spawn(program);
    ASSERT_TRUE(victim);
    ASSERT_TRUE(PollUntil([&] { return Exe(victim->pid()) == program; }));
    RealProcessesForm f;
    f.window->Form_Load();
    ASSERT_GT(f.RowOf(victim->pid()), 0);

    // A newcomer makes the set differ; the victim goes at the chosen moment.
    auto newcomer = Spawn(other);
    ASSERT_TRUE(PollUntil([&] { return Exe(newcomer->pid()) == other; }));
    const pid_t victimPid = victim->pid();
    f.source.taken = 0;
    f.source.hookOn = m.snapshot;
    (m.afterListing ? f.source.beforeWalking : f.source.beforeTaking) = [&] { victim->Reap(); };
    f.window->Timer1_Timer();

    EXPECT_EQ(f.source.taken, 2) << "the check found a change and the list was rebuilt";
    EXPECT_EQ(f.RowOf(victimPid), 0);
    EXPECT_GT(f.RowOf(newcomer->pid()), 0);
    f.ExpectConsistent();
  }
}

}  // namespace
}  // namespace pelmora::fakes
