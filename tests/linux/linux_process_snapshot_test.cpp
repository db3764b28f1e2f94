// SPDX-License-Identifier: MIT
#include "platform/linux/walk/linux_process_snapshot.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fakes/form_harness.h"
#include "platform/linux/control/linux_process_control.h"
#include "platform/linux/parsers/proc_pid_parsers.h"
#include "processes/process_table.h"
#include "support/fake_proc.h"
#include "support/walk_source.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

using testing_support::Child;
using testing_support::ChildOptions;
using testing_support::CopyProgram;
using testing_support::ExeTarget;
using testing_support::PollUntil;
using testing_support::ProcessState;
using testing_support::ScratchDir;

std::vector<ProcessEntry> FullWalk(ProcessSnapshot& snapshot) {
  return testing_support::Rows(snapshot);
}
std::vector<std::string> PathWalk(ProcessSnapshot& snapshot) {
  return testing_support::CheckPaths(snapshot);
}

std::optional<ProcessEntry> Find(const std::vector<ProcessEntry>& entries, int64_t pid) {
  for (const auto& e : entries) {
    if (e.th32ProcessID == pid) return e;
  }
  return std::nullopt;
}

// Waits until the child runs the given executable and sleeps in it.
bool StartedAs(const Child& child, const std::string& exe) {
  return PollUntil(
      [&] { return ExeTarget(child.pid()) == exe && testing_support::Asleep(child.pid()); });
}

class RealSnapshotTest : public testing::Test {
 protected:
  void SetUp() override {
    program_ = dir_.Root() + "/PelmoraTest";
    inode_ = CopyProgram(program_);
  }

  ScratchDir dir_;
  std::string program_;
  uint64_t inode_ = 0;
  fakes::FakeTickClock clock_;
  testing_support::WalkSource source_{"/proc", 4096, clock_};
};

TEST_F(RealSnapshotTest, ChildrenOfOneExecutable) {
  Child first(program_);
  ChildOptions nicer;
  nicer.nice = 5;
  Child second(program_, nicer);
  ASSERT_TRUE(StartedAs(first, program_));
  ASSERT_TRUE(StartedAs(second, program_));

  // A second thread of this process, parked until the walk is done.
  std::mutex mutex;
  std::condition_variable cv;
  bool release = false;
  std::thread parked([&] {
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return release; });
  });
  auto snapshot = source_.CreateToolhelp32Snapshot();
  const auto entries = FullWalk(*snapshot);
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  cv.notify_one();
  parked.join();

  for (const Child* child : {&first, &second}) {
    const auto e = Find(entries, child->pid());
    ASSERT_TRUE(e.has_value()) << child->pid();
    EXPECT_EQ(e->szExeFile, program_);
    EXPECT_EQ(e->th32ParentProcessID, ::getpid());
    EXPECT_EQ(e->cntThreads, 1);
    EXPECT_EQ(e->cntUsage, 3);  // stdin, stdout and stderr only
    EXPECT_EQ(e->th32ModuleID, inode_);
    EXPECT_NE(e->th32DefaultHeapID, 0u);
  }
  // The second is niced 5 more than the first, up to 19, whatever the
  // niceness the test runs at.
  const int inherited = ::getpriority(PRIO_PROCESS, 0);
  EXPECT_EQ(Find(entries, first.pid())->pcPriClassBase + std::min(19, inherited + 5) - inherited,
            Find(entries, second.pid())->pcPriClassBase);

  const auto self = Find(entries, ::getpid());
  ASSERT_TRUE(self.has_value());
  EXPECT_EQ(self->cntThreads, 2);
  EXPECT_LE(self->startTime, Find(entries, first.pid())->startTime);
  EXPECT_LE(Find(entries, first.pid())->startTime, Find(entries, second.pid())->startTime);

  for (size_t i = 1; i < entries.size(); ++i) {
    EXPECT_LT(entries[i - 1].th32ProcessID, entries[i].th32ProcessID);
  }
  // Kernel threads (kthreadd and its children) are left out.
  int kernel_threads = 0;
  for (const auto& dir : std::filesystem::directory_iterator("/proc")) {
    if (!ParsePidName(dir.path().filename().string())) continue;
    std::ifstream in(dir.path() / "stat");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto stat = ParsePidStat(text);
    if (stat && stat->IsKernelThread()) {
      ++kernel_threads;
      EXPECT_FALSE(Find(entries, stat->pid).has_value()) << stat->comm;
    }
  }
  RecordProperty("kernel_threads", kernel_threads);

  // The path-only walk of the same snapshot finds the same two.
  const auto paths = PathWalk(*snapshot);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), program_), 2);
}

TEST_F(RealSnapshotTest, AChildEndingAfterTheListingIsSkippedByTheCheckAndTheRebuild) {
  for (const bool afterCheck : {false, true}) {
    SCOPED_TRACE(afterCheck ? "between the check and the rebuild" : "before the check");
    Child leaving(program_);
    Child staying(program_);
    ASSERT_TRUE(StartedAs(leaving, program_));
    ASSERT_TRUE(StartedAs(staying, program_));
    auto snapshot = source_.CreateToolhelp32Snapshot();
    std::vector<std::string> paths;
    if (afterCheck) paths = PathWalk(*snapshot);
    // Both PIDs are listed now; the process goes before it is read again.
    leaving.Signal(SIGKILL);
    leaving.Reap();
    if (!afterCheck) paths = PathWalk(*snapshot);
    EXPECT_EQ(std::count(paths.begin(), paths.end(), program_), afterCheck ? 2 : 1);
    const auto entries = FullWalk(*snapshot);
    EXPECT_FALSE(Find(entries, leaving.pid()).has_value());
    EXPECT_TRUE(Find(entries, staying.pid()).has_value());
  }
}

TEST_F(RealSnapshotTest, ZombieKeepsItsCommandName) {
  // A name of its own: other tests running beside this one start programs
  // whose command name is PelmoraTest.
  const std::string program = dir_.Root() + "/PelmoraZombie";
  CopyProgram(program);
  Child zombie(program);
  ASSERT_TRUE(StartedAs(zombie, program));
  zombie.Signal(SIGKILL);
  ASSERT_TRUE(PollUntil([&] { return ProcessState(zombie.pid()) == 'Z'; }));

  auto snapshot = source_.CreateToolhelp32Snapshot();
  const auto e = Find(FullWalk(*snapshot), zombie.pid());
  ASSERT_TRUE(e.has_value());
  // No executable and an empty command line: the name from stat.
  EXPECT_EQ(e->szExeFile, "PelmoraZombie");
  EXPECT_EQ(e->th32ModuleID, 0u);
  EXPECT_EQ(e->th32ParentProcessID, ::getpid());
  const auto paths = PathWalk(*snapshot);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "PelmoraZombie"), 1);
}

TEST_F(RealSnapshotTest, DeletedExecutableKeepsTheKernelsMark) {
  Child child(program_);
  ASSERT_TRUE(StartedAs(child, program_));
  ASSERT_EQ(::unlink(program_.c_str()), 0);

  auto snapshot = source_.CreateToolhelp32Snapshot();
  const auto e = Find(FullWalk(*snapshot), child.pid());
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->szExeFile, program_ + " (deleted)");
  EXPECT_EQ(e->th32ModuleID, inode_);
  const auto paths = PathWalk(*snapshot);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), program_ + " (deleted)"), 1);
}

// A directory chain deeper than the kernel can name in a link (4095 bytes).
class LongPathTest : public RealSnapshotTest {
 protected:
  void SetUp() override {
    RealSnapshotTest::SetUp();
    const std::string part(200, 'd');
    deep_ = dir_.Root();
    int fd = ::open(dir_.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (deep_.size() < 4300) {
      ASSERT_EQ(::mkdirat(fd, part.c_str(), 0755), 0);
      const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ::close(fd);
      fd = next;
      deep_ += "/" + part;
    }
    deep_fd_ = fd;
    // Copy the program into the deep directory through its descriptor.
    const int in = ::open(program_.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::openat(deep_fd_, "PelmoraTest", O_WRONLY | O_CREAT | O_CLOEXEC, 0755);
    char buffer[65536];
    for (ssize_t n; (n = ::read(in, buffer, sizeof buffer)) > 0;) {
      ASSERT_EQ(::write(out, buffer, static_cast<size_t>(n)), n);
    }
    ::close(in);
    ::close(out);
    struct stat st {};
    ASSERT_EQ(::fstatat(deep_fd_, "PelmoraTest", &st, 0), 0);
    deep_inode_ = st.st_ino;
  }
  void TearDown() override { ::close(deep_fd_); }

  std::string deep_;
  int deep_fd_ = -1;
  uint64_t deep_inode_ = 0;
};

TEST_F(LongPathTest, PathBeyondTheLinkLimitComesFromTheCommandLineUpToPathMax) {
  const std::string full = deep_ + "/PelmoraTest";
  ASSERT_GT(full.size(), 4096u);
  // The longest argv[0] that is a path: 4095 bytes and its NUL. One of
  // PATH_MAX bytes or more is no path, whatever it looks like.
  const std::string longest = "/" + std::string(4094, 'p');
  ChildOptions options;
  options.exec_dir_fd = deep_fd_;
  options.argv0 = full;
  Child beyond("PelmoraTest", options);
  options.argv0 = longest;
  Child absolute("PelmoraTest", options);
  options.argv0 = "PelmoraTest";
  Child relative("PelmoraTest", options);
  for (const Child* child : {&beyond, &absolute, &relative}) {
    ASSERT_TRUE(PollUntil([&] {
      const auto e = Find(FullWalk(*source_.CreateToolhelp32Snapshot()), child->pid());
      return e && e->th32ModuleID == deep_inode_;
    }));
  }

  auto snapshot = source_.CreateToolhelp32Snapshot();
  const auto paths = PathWalk(*snapshot);
  const auto entries = FullWalk(*snapshot);
  EXPECT_EQ(Find(entries, beyond.pid())->szExeFile, "PelmoraTest");
  EXPECT_EQ(Find(entries, absolute.pid())->szExeFile, longest);
  EXPECT_EQ(Find(entries, relative.pid())->szExeFile, "PelmoraTest");
  // The check names them as the rebuild does. Tests running beside this
  // one may have processes of the same name, so the two are compared.
  const auto named = [&](const std::string& name) {
    return std::count_if(entries.begin(), entries.end(),
                         [&](const ProcessEntry& e) { return e.szExeFile == name; });
  };
  EXPECT_EQ(std::count(paths.begin(), paths.end(), longest), 1);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "PelmoraTest"), named("PelmoraTest"));
}

TEST_F(RealSnapshotTest, AnotherUsersProcessSeenWithoutPrivilege) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
  Child child(program_);
  ASSERT_TRUE(StartedAs(child, program_));
  const pid_t pid = child.pid();
  // Walk as an ordinary user: the root-owned child's exe link, heap and
  // module are out of reach, its command line is not.
  const auto report = testing_support::RunAsUser(12345, [pid] {
    fakes::FakeTickClock clock;
    testing_support::WalkSource source("/proc", 64, clock);
    const auto entries = FullWalk(*source.CreateToolhelp32Snapshot());
    const auto e = Find(entries, pid);
    if (!e) return std::string("missing");
    return std::string(e->szExeFile.view()) + "|" + std::to_string(e->th32ModuleID) + "|" +
           std::to_string(e->th32DefaultHeapID) + "|" + std::to_string(e->cntUsage) + "|" +
           std::to_string(e->th32ParentProcessID);
  });
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(*report, program_ + "|0|0|0|" + std::to_string(::getpid()));
}

// The check and the rebuild agree, in a PID namespace of the test's own
// where nothing else comes or goes: the rebuild that a check starts shows
// what the check named, under the same name, and the check after it finds
// nothing changed. The report: the row of `pid`, then "same" or "differs"
// (the rebuild against the check), then "unchanged" or "changed" (the
// second check against the rebuild).
std::string CheckRebuildCheck(LinuxProcessSnapshotSource& source, pid_t pid) {
  auto snapshot = source.CreateToolhelp32Snapshot();
  const std::vector<std::string> checked = PathWalk(*snapshot);
  const std::vector<ProcessEntry> rows = FullWalk(*snapshot);
  snapshot.reset();
  const std::vector<std::string> again = PathWalk(*source.CreateToolhelp32Snapshot());
  std::vector<std::string> shown;
  std::string row = "missing";
  for (const ProcessEntry& e : rows) {
    shown.emplace_back(e.szExeFile.view());
    if (e.th32ProcessID == pid) {
      row = "[" + std::string(e.szExeFile.view()) + "] threads " + std::to_string(e.cntThreads);
    }
  }
  return row + (shown == checked ? " same" : " differs") +
         (again == shown ? " unchanged" : " changed");
}

class AgreementTest : public RealSnapshotTest {
 protected:
  void SetUp() override {
    if (const std::string why = testing_support::WhyNoPidNamespace(); !why.empty()) {
      if (testing_support::PidNamespaceRequired()) FAIL() << why;
      GTEST_SKIP() << why;
    }
    RealSnapshotTest::SetUp();
  }
  // The report of body, run in a namespace of its own.
  std::string InNamespace(const std::function<std::string()>& body) {
    const auto report = testing_support::RunInOwnPidNamespace(body);
    return report ? *report : "the body in the namespace failed";
  }
};

// A process that runs `program 600` as uid, under pid where one is given
// (free now: clone3's set_tid); its PID once it sleeps in it, else -1.
pid_t Spawn(const std::string& program, uid_t uid, pid_t pid = 0) {
  clone_args args{};
  args.exit_signal = SIGCHLD;
  args.set_tid = pid != 0 ? reinterpret_cast<uint64_t>(&pid) : 0;
  args.set_tid_size = pid != 0;
  const long cloned = ::syscall(SYS_clone3, &args, sizeof args);
  if (cloned == 0) {
    ::close_range(3, ~0U, 0);
    if (::setgid(65534) != 0 || ::setuid(uid) != 0) ::_exit(126);
    ::execl(program.c_str(), program.c_str(), "600", nullptr);
    ::_exit(127);
  }
  const auto started = [&] { return ExeTarget(cloned) == program && testing_support::Asleep(cloned); };
  return cloned > 0 && PollUntil(started) ? static_cast<pid_t>(cloned) : -1;
}

// A process ends and another takes over its PID: one of another program
// shows by its path; one of the same program, to another user, by the held
// stat that says its process is gone, to its owner by 停止's refusal. Each
// check and 停止 after it, until 停止 ends the new process where it may.
TEST_F(AgreementTest, APidTakenOverIsShownAndCanBeEnded) {
  const std::string second = dir_.Root() + "/PelmoraSecond";
  CopyProgram(second);
  const auto takeover = [&](const std::string& next, uid_t viewer, uid_t owner) {
    return InNamespace([&] {
      const pid_t pid = Spawn(program_, owner);
      if (pid < 0 || ::seteuid(viewer) != 0) return std::string("no first");
      // Two clock ticks: the new process starts later, as one that reuses a PID does.
      std::this_thread::sleep_for(std::chrono::milliseconds(2000 / ::sysconf(_SC_CLK_TCK)));
      fakes::FakeTickClock clock;
      testing_support::WalkSource source("/proc", 64, clock);
      LinuxProcessControl control(source.door);
      fakes::FakeControls form(false);
      processes::ProcessTable table({form.list, form.statusBar, form.msgBox, form.text});
      table.Command1_Click(source);  // holds each stat from now on
      ::seteuid(0);
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      if (Spawn(next, owner, pid) != pid || ::seteuid(viewer) != 0) return std::string("no takeover");
      std::string out;  // the namespace's end ends the new process
      for (int tick = 0; tick < 2 && !out.ends_with("しました。 "); ++tick) {
        if (auto changed = table.CheckProcessSet(source)) {
          table.Refresh(std::move(changed));  // ... which the next check agrees with
          out += table.CheckProcessSet(source) ? "rebuilt twice " : "rebuilt ";
        } else {
          out += "same ";
        }
        const auto& ids = table.ProcessIds;
        form.list.selected = std::find(ids.begin() + 1, ids.end(), pid) - ids.begin();
        table.ListView1_Click();
        table.Command2_Click(control);
        out += form.msgBox.announced.back() + " ";
      }
      return out;
    });
  };
  EXPECT_EQ(takeover(second, 0, 0), "rebuilt pelmorasecondを強制終了しました。 ");
  EXPECT_EQ(takeover(program_, 0, 0),
            "same pelmoratestを強制終了できませんでした。 rebuilt pelmoratestを強制終了しました。 ");
  EXPECT_EQ(takeover(program_, 12345, 65534),
            "rebuilt pelmoratestを強制終了できませんでした。 same pelmoratestを強制終了できませんでした。 ")
      << "not ours to end: refused, and nothing rebuilt for it";
}

TEST_F(AgreementTest, AnEmptyCommandNameNamesAnotherUsersProcess) {
  // A child of root that names itself "" and empties its argv[0]: seen by
  // an ordinary user, whose check names it by its command name, and beyond
  // the held-file budget (0) as within it.
  const std::string report = InNamespace([] {
    int ready[2];
    if (::pipe(ready) != 0) return std::string("no pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::prctl(PR_SET_NAME, "", 0, 0, 0);
      std::ifstream in("/proc/self/stat");
      const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const auto stat = ParsePidStat(text);
      if (stat && stat->arg_start != 0) *reinterpret_cast<char*>(stat->arg_start) = '\0';
      ::write(ready[1], "x", 1);
      ::pause();
      ::_exit(0);
    }
    char byte;
    ::read(ready[0], &byte, 1);
    std::string out;
    for (const size_t budget : {64, 0}) {
      const auto seen = testing_support::RunAsUser(12345, [pid, budget] {
        fakes::FakeTickClock clock;
        testing_support::WalkSource source("/proc", budget, clock);
        return CheckRebuildCheck(source, pid);
      });
      out += (seen ? *seen : "no report") + ";";
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return out;
  });
  EXPECT_EQ(report, "[] threads 1 same unchanged;[] threads 1 same unchanged;");
}

TEST_F(AgreementTest, ShortOfDescriptorsARowKeepsItsNameAndWhatWasReadOfItLast) {
  // The limit lowered from outside below what the walk holds: it gives its
  // files back at the next listing. Then every descriptor is taken: a
  // process read before shows what was read of it last, a newcomer its name
  // and zeros, and the check after the rebuild finds nothing changed. Once
  // the limit is raised again the walk holds files again.
  const std::string report = InNamespace([&] {
    fakes::FakeTickClock clock;
    testing_support::WalkSource source("/proc", 64, clock);
    Child known(program_);
    if (!StartedAs(known, program_)) return std::string("known did not start");
    FullWalk(*source.CreateToolhelp32Snapshot());
    if (source.HeldFiles() == 0) return std::string("nothing held");
    Child newcomer(program_);
    if (!StartedAs(newcomer, program_)) return std::string("newcomer did not start");
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    rlimit low = limit;
    low.rlim_cur = 64;
    ::setrlimit(RLIMIT_NOFILE, &low);
    PathWalk(*source.CreateToolhelp32Snapshot());
    std::string out = "held " + std::to_string(source.HeldFiles()) + ";";
    std::vector<int> filler;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) filler.push_back(fd);
    out += CheckRebuildCheck(source, known.pid()) + ";" +
           CheckRebuildCheck(source, newcomer.pid()) + ";";
    for (const int fd : filler) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    // The next check finds the rows it could not read outdated.
    auto after = source.CreateToolhelp32Snapshot();
    PathWalk(*after);
    out += after->RowsOutdated() ? "outdated " : "up to date ";
    const auto e = Find(FullWalk(*after), newcomer.pid());
    out += "threads " + std::to_string(e ? e->cntThreads : -1);
    return out + (source.HeldFiles() > 0 ? " held again" : " none held");
  });
  EXPECT_EQ(report, "held 0;[" + program_ + "] threads 1 same unchanged;[" + program_ +
                        "] threads 0 same unchanged;outdated threads 1 held again");
}

}  // namespace
}  // namespace pelmora::platform::linux_os
