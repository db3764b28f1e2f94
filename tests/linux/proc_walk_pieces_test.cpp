// SPDX-License-Identifier: MIT
// The pieces of the /proc walk, each through itself: the reader's cap, the
// per-process directory, the held stat files and the inode cache's key;
// and the check of a scratch tree where a process starts a new program or
// a kernel thread's PID is taken over.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/walk/exe_inode_cache.h"
#include "platform/linux/walk/known_processes.h"
#include "platform/linux/walk/linux_process_snapshot.h"
#include "platform/linux/io/pidfd.h"
#include "platform/linux/walk/process_reader.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

namespace fs = std::filesystem;
using testing_support::ScratchDir;

std::string Stat(int64_t pid, const std::string& comm, bool kernel = false) {
  return std::to_string(pid) + " (" + comm + ") S 1 1 1 0 -1 " + (kernel ? "2129984" : "4194560") +
         " 0 0 0 0 0 0 0 0 20 0 1 0 " + std::to_string(pid * 100) +
         " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 17 0 0 0 0 0 0 0 0 4096 0 0 0 0 0\n";
}

void Write(const std::string& dir, const std::string& file, const std::string& text) {
  fs::create_directories(dir);
  std::ofstream(dir + "/" + file, std::ios::binary) << text;
}

std::vector<std::string> Check(LinuxProcessSnapshotSource& source) {
  auto snapshot = source.CreateToolhelp32Snapshot();
  std::vector<std::string> paths;
  std::string path;
  for (bool ok = snapshot->PathFirst(path); ok; ok = snapshot->PathNext(path)) paths.push_back(path);
  return paths;
}

// A rebuild started by a check, or (checkFirst false) a fresh one, as 更新 asks.
std::vector<std::string> Rebuild(LinuxProcessSnapshotSource& source, bool checkFirst = true) {
  auto snapshot = source.CreateToolhelp32Snapshot();
  std::vector<std::string> paths;
  std::string path;
  for (bool ok = checkFirst && snapshot->PathFirst(path); ok; ok = snapshot->PathNext(path)) {
  }
  ProcessEntry entry;
  for (bool ok = snapshot->Process32First(entry); ok; ok = snapshot->Process32Next(entry)) {
    paths.push_back(entry.szExeFile);
  }
  return paths;
}

TEST(ProcReader, ATextThatFillsTheCapIsReportedAndAMissingOneIsGone) {
  ScratchDir dir;
  Write(dir.Root(), "short", "0 1 2\n");
  Write(dir.Root(), "long", std::string(10000, 'x'));
  const UniqueFd root(::open(dir.Root().c_str(), O_RDONLY | O_DIRECTORY));
  std::string buffer;
  EXPECT_EQ(ReadTextAt(root.get(), "short", buffer, 4096), ReadStatus::kOk);
  EXPECT_EQ(buffer, "0 1 2\n");
  EXPECT_EQ(ReadTextAt(root.get(), "long", buffer, 4096), ReadStatus::kCapped);
  EXPECT_EQ(buffer, std::string(4096, 'x'));
  EXPECT_EQ(ReadTextAt(root.get(), "long", buffer, 20000), ReadStatus::kOk);
  EXPECT_EQ(buffer.size(), 10000u);
  EXPECT_EQ(ReadTextAt(root.get(), "none", buffer, 4096), ReadStatus::kGone);
  EXPECT_TRUE(buffer.empty());
}

TEST(ProcReader, AStatFileOpenedForOneProcessNeverReadsAnother) {
  // A real process: once it is reaped, its stat file opened before says
  // so, whoever takes the PID next.
  testing_support::Child child("/bin/sleep");
  const UniqueFd proc(::open("/proc", O_RDONLY | O_DIRECTORY));
  ProcessFiles files(proc.get(), child.pid());
  ReadStatus status;
  const UniqueFd stat = OpenStat(files, status);
  ReadBuffers buffers;
  ASSERT_TRUE(ReadStatFd(stat.get(), buffers, status).has_value());
  child.Signal(SIGKILL);
  child.Reap();
  EXPECT_FALSE(ReadStatFd(stat.get(), buffers, status).has_value());
  EXPECT_EQ(status, ReadStatus::kGone);
}

TEST(ProcWalkRebuild, APidTakenOverAfterTheCheckNeverMixesTwoProcesses) {
  // "5" is known from a rebuild; after the check read its link, another
  // process takes the PID. The rebuild shows neither process's figures
  // under the other's name: the row waits for the next rebuild.
  ScratchDir dir;
  const std::string root = dir.Root() + "/proc";
  Write(root + "/5", "stat", Stat(5, "first"));
  fs::create_symlink("/bin/first", root + "/5/exe");
  LinuxProcessSnapshotSource source(root, 16);
  EXPECT_EQ(Rebuild(source, false), std::vector<std::string>({"/bin/first"}));

  auto snapshot = source.CreateToolhelp32Snapshot();
  std::string path;
  ASSERT_TRUE(snapshot->PathFirst(path));
  EXPECT_EQ(path, "/bin/first");
  fs::remove_all(root + "/5");
  Write(root + "/5", "stat", Stat(5, "second"));
  fs::create_symlink("/bin/second", root + "/5/exe");
  ProcessEntry entry;
  EXPECT_FALSE(snapshot->Process32First(entry)) << entry.szExeFile;
  snapshot.reset();
  EXPECT_EQ(Rebuild(source), std::vector<std::string>({"/bin/second"}));
}

TEST(KnownProcessesTest, HeldFilesStayWithinTheBudgetAndLeaveWithTheirProcess) {
  KnownProcesses known(2);
  for (int64_t pid : {30, 10, 20}) {
    KnownProcess p;
    p.pid = pid;
    p.stat = UniqueFd(::open("/dev/null", O_RDONLY));
    EXPECT_EQ(known.Keep(std::move(p)) != nullptr, pid != 20) << pid;
  }
  known.Retain({10, 20, 40});
  EXPECT_EQ(known.size(), 1u);
  ASSERT_NE(known.Find(10), nullptr);
  EXPECT_EQ(known.Find(30), nullptr);
  KnownProcess again;
  again.pid = 20;
  EXPECT_NE(known.Keep(std::move(again)), nullptr);
  EXPECT_NE(known.Find(10), nullptr) << "asked again out of order";
  EXPECT_NE(known.Find(20), nullptr);

  // Held by a pidfd: one poll forgets it once it ends, and only then.
  testing_support::Child child("/bin/sleep");
  known.Retain({10, child.pid()});
  KnownProcess thread;
  thread.pid = child.pid();
  thread.pidfd = PidfdOpen(child.pid());
  ASSERT_TRUE(thread.pidfd.valid());
  ASSERT_NE(known.Keep(std::move(thread)), nullptr);
  known.ForgetEnded();
  EXPECT_NE(known.Find(child.pid()), nullptr);
  child.Signal(SIGKILL);
  child.Reap();
  known.ForgetEnded();
  EXPECT_EQ(known.Find(child.pid()), nullptr);
  EXPECT_NE(known.Find(10), nullptr);
}

TEST(ExeInodeCacheTest, AnyOfTheSixFieldsTellsANewProgram) {
  PidStat stat;
  stat.pid = 7;
  stat.starttime = 100;
  stat.start_brk = 0x1000;
  stat.arg_start = 0x2000;
  stat.env_end = 0x3000;
  ExeInodeCache cache;
  cache.BeginRebuild();
  cache.Record(stat, "/bin/a", 42);
  cache.EndRebuild();
  const auto lookup = [&cache](const PidStat& s, std::string_view path) {
    cache.BeginRebuild();
    const uint64_t inode = cache.Find(s, path);
    return inode;
  };
  EXPECT_EQ(lookup(stat, "/bin/a"), 42u);
  EXPECT_EQ(lookup(stat, "/bin/b"), 0u);
  for (uint64_t PidStat::*field :
       {&PidStat::starttime, &PidStat::start_brk, &PidStat::arg_start, &PidStat::env_end}) {
    PidStat other = stat;
    other.*field += 1;
    EXPECT_EQ(lookup(other, "/bin/a"), 0u);
  }
}

TEST(ProcWalkCheck, NewProgramsAndATakenOverKernelThreadShowAtTheNextCheck) {
  ScratchDir dir;
  const std::string root = dir.Root() + "/proc";
  Write(root + "/7", "stat", Stat(7, "kworker", true));
  Write(root + "/9", "stat", Stat(9, "worker"));
  Write(root + "/9", "cmdline", std::string("/opt/a\0", 7));
  LinuxProcessSnapshotSource source(root, 16);
  EXPECT_EQ(Check(source), std::vector<std::string>({"/opt/a"}));
  EXPECT_EQ(source.HeldFiles(), 2u);

  // argv[0] rewritten in place: the same program, named as before by the
  // checks until a rebuild reads it again; the checks after it agree. A
  // rebuild soon after that one keeps the name; a fresh one (更新) reads it.
  Write(root + "/9", "cmdline", std::string("/opt/renamed\0", 13));
  EXPECT_EQ(Check(source), std::vector<std::string>({"/opt/a"}));
  EXPECT_EQ(Rebuild(source), std::vector<std::string>({"/opt/renamed"}));
  EXPECT_EQ(Check(source), std::vector<std::string>({"/opt/renamed"}));
  Write(root + "/9", "cmdline", std::string("/opt/again\0", 11));
  EXPECT_EQ(Rebuild(source), std::vector<std::string>({"/opt/renamed"}));
  EXPECT_EQ(Rebuild(source, false), std::vector<std::string>({"/opt/again"}));

  // A new program under another command name, at the next check.
  Write(root + "/9", "stat", Stat(9, "other"));
  Write(root + "/9", "cmdline", std::string("/opt/b\0", 7));
  EXPECT_EQ(Check(source), std::vector<std::string>({"/opt/b"}));

  // The kernel thread ends and a user process takes its PID.
  fs::remove_all(root + "/7");
  Write(root + "/7", "stat", Stat(7, "app"));
  fs::create_symlink("/usr/bin/app", root + "/7/exe");
  EXPECT_EQ(Check(source), std::vector<std::string>({"/usr/bin/app", "/opt/b"}));
  EXPECT_EQ(source.HeldFiles(), 1u);
}

}  // namespace
}  // namespace pelmora::platform::linux_os
