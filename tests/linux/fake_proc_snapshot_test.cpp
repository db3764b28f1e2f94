// SPDX-License-Identifier: MIT
// The snapshot against a /proc tree written by the test: the cases a live
// system shows only by chance.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/walk/linux_process_snapshot.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

namespace fs = std::filesystem;
using testing_support::ScratchDir;

constexpr const char* kUserFlags = "4194560";    // PF_RANDOMIZE | PF_SUPERPRIV
constexpr const char* kKernelFlags = "2129984";  // with PF_KTHREAD

std::string Stat(int64_t pid, const std::string& comm, const char* flags = kUserFlags,
                 int64_t ppid = 1) {
  return std::to_string(pid) + " (" + comm + ") S " + std::to_string(ppid) + " 1 1 0 -1 " + flags +
         " 0 0 0 0 0 0 0 0 20 0 " + std::to_string(pid % 7 + 1) + " 0 " +
         std::to_string(pid * 100) + " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 17 0 0 0 0 0 0 0 0 " +
         std::to_string(pid * 4096) + " 0 0 0 0 0\n";
}

class FakeProc {
 public:
  explicit FakeProc(const std::string& root) : root_(root) {}

  std::string Dir(const std::string& name) const { return root_ + "/" + name; }

  void Write(const std::string& pid, const std::string& file, const std::string& text) {
    fs::create_directories(Dir(pid));
    std::ofstream(Dir(pid) + "/" + file, std::ios::binary) << text;
  }
  void Link(const std::string& pid, const std::string& target) {
    fs::create_directories(Dir(pid));
    fs::create_symlink(target, Dir(pid) + "/exe");
  }
  void Fds(const std::string& pid, int count) {
    fs::create_directories(Dir(pid) + "/fd");
    for (int i = 0; i < count; ++i)
      fs::create_symlink("/dev/null", Dir(pid) + "/fd/" + std::to_string(i));
  }

 private:
  std::string root_;
};

std::vector<std::pair<int64_t, std::string>> FullWalk(ProcessSnapshot& snapshot) {
  std::vector<std::pair<int64_t, std::string>> seen;
  ProcessEntry entry;
  for (bool ok = snapshot.Process32First(entry); ok; ok = snapshot.Process32Next(entry)) {
    seen.emplace_back(entry.th32ProcessID, entry.szExeFile);
  }
  return seen;
}

std::vector<std::string> PathWalk(ProcessSnapshot& snapshot) {
  std::vector<std::string> paths;
  std::string path;
  for (bool ok = snapshot.PathFirst(path); ok; ok = snapshot.PathNext(path)) paths.push_back(path);
  return paths;
}

class FakeProcTest : public testing::Test {
 protected:
  void SetUp() override {
    program_ = dir_.Root() + "/Program";
    std::ofstream(program_) << "binary";
    struct stat st {};
    ASSERT_EQ(::stat(program_.c_str(), &st), 0);
    program_inode_ = st.st_ino;
    fs::create_directories(root_);
  }

  ScratchDir dir_;
  std::string root_ = dir_.Root() + "/proc";
  FakeProc proc_{root_};
  std::string program_;
  uint64_t program_inode_ = 0;
};

TEST_F(FakeProcTest, EveryKindOfEntry) {
  // Normal process with a readable link and four descriptors.
  proc_.Link("100", program_);
  proc_.Write("100", "stat", Stat(100, "Program"));
  proc_.Fds("100", 4);
  // Kernel thread: no link, PF_KTHREAD.
  proc_.Write("2", "stat", Stat(2, "kthreadd", kKernelFlags, 0));
  proc_.Write("2", "cmdline", "");
  // No link (as for a zombie), absolute argv[0].
  proc_.Write("9", "stat", Stat(9, "worker"));
  proc_.Write("9", "cmdline", std::string("/opt/App Dir/worker\0--flag\0", 27));
  // Link unreadable (not a link at all), relative argv[0]: the command
  // name, blanks and all.
  proc_.Write("20", "exe", "");
  proc_.Write("20", "stat", Stat(20, "my ) name"));
  proc_.Write("20", "cmdline", std::string("worker\0", 7));
  // Link readable, stat garbled: listed with zeros.
  proc_.Link("30", "/usr/bin/Garbled");
  proc_.Write("30", "stat", "nonsense");
  // No link, an absolute argv[0] and a garbled stat: no kernel thread has
  // an argv[0], so it is listed with zeros like the one above.
  proc_.Write("31", "stat", "nonsense");
  proc_.Write("31", "cmdline", std::string("/bin/x\0", 7));
  // No link, a relative argv[0] and a garbled stat: cannot tell what it
  // is, skipped.
  proc_.Write("32", "stat", "nonsense");
  proc_.Write("32", "cmdline", std::string("x\0", 2));
  // Dangling link: the path stands, the inode is unknown.
  proc_.Link("40", dir_.Root() + "/gone");
  proc_.Write("40", "stat", Stat(40, "gone"));
  // Not processes.
  fs::create_directories(proc_.Dir("sys"));
  fs::create_directories(proc_.Dir("007"));
  fs::create_symlink("100", proc_.Dir("self"));
  std::ofstream(proc_.Dir("42")) << "a file, not a directory";

  LinuxProcessSnapshotSource source(root_);
  auto snapshot = source.CreateToolhelp32Snapshot();
  const std::vector<std::pair<int64_t, std::string>> expected = {
      {9, "/opt/App Dir/worker"},  {20, "my ) name"}, {30, "/usr/bin/Garbled"}, {31, "/bin/x"},
      {40, dir_.Root() + "/gone"}, {100, program_}};
  EXPECT_EQ(FullWalk(*snapshot), expected);
  std::vector<std::string> expected_paths;
  for (const auto& e : expected) expected_paths.push_back(e.second);
  EXPECT_EQ(PathWalk(*snapshot), expected_paths);

  ProcessEntry entry;
  ASSERT_TRUE(snapshot->Process32First(entry));  // 9
  EXPECT_EQ(entry.cntUsage, 0);                  // no fd directory
  EXPECT_EQ(entry.th32ModuleID, 0u);
  EXPECT_EQ(entry.cntThreads, 9 % 7 + 1);
  EXPECT_EQ(entry.startTime, 900u);
  EXPECT_EQ(entry.th32DefaultHeapID, 9u * 4096);
  ASSERT_TRUE(snapshot->Process32Next(entry));  // 20
  ASSERT_TRUE(snapshot->Process32Next(entry));  // 30, stat garbled
  EXPECT_EQ(entry.th32ProcessID, 30);
  EXPECT_EQ(entry.cntThreads, 0);
  EXPECT_EQ(entry.th32ParentProcessID, 0);
  EXPECT_EQ(entry.startTime, 0u);
  EXPECT_EQ(entry.pcPriClassBase, 0);
  ASSERT_TRUE(snapshot->Process32Next(entry));  // 31, stat garbled
  EXPECT_EQ(entry.cntThreads, 0);
  ASSERT_TRUE(snapshot->Process32Next(entry));  // 40, dangling
  EXPECT_EQ(entry.th32ModuleID, 0u);
  EXPECT_EQ(entry.th32DefaultHeapID, 40u * 4096);
  ASSERT_TRUE(snapshot->Process32Next(entry));  // 100
  EXPECT_EQ(entry.cntUsage, 4);
  EXPECT_EQ(entry.th32ModuleID, program_inode_);
  EXPECT_EQ(entry.pcPriClassBase, 20);
  EXPECT_EQ(entry.th32ParentProcessID, 1);
  EXPECT_FALSE(snapshot->Process32Next(entry));
  EXPECT_FALSE(snapshot->Process32Next(entry));  // stays at the end
}

TEST_F(FakeProcTest, ProcessGoneBetweenListingAndReading) {
  for (const char* pid : {"5", "6", "7"}) {
    proc_.Link(pid, program_);
    proc_.Write(pid, "stat", Stat(std::stoi(pid), "Program"));
  }
  LinuxProcessSnapshotSource source(root_);
  auto full = source.CreateToolhelp32Snapshot();
  LinuxProcessSnapshotSource second_source(root_);
  auto paths = second_source.CreateToolhelp32Snapshot();
  fs::remove_all(proc_.Dir("6"));

  const std::vector<std::pair<int64_t, std::string>> expected = {{5, program_}, {7, program_}};
  EXPECT_EQ(FullWalk(*full), expected);
  EXPECT_EQ(PathWalk(*paths), std::vector<std::string>({program_, program_}));
}

TEST_F(FakeProcTest, StatVanishedMidReadSkipsTheProcess) {
  // The link was read, then the stat was gone: the process ended meanwhile.
  proc_.Link("5", program_);
  proc_.Link("6", program_);
  proc_.Write("6", "stat", Stat(6, "Program"));
  LinuxProcessSnapshotSource source(root_);
  auto snapshot = source.CreateToolhelp32Snapshot();
  const std::vector<std::pair<int64_t, std::string>> expected = {{6, program_}};
  EXPECT_EQ(FullWalk(*snapshot), expected);
}

TEST_F(FakeProcTest, LongestLinkTheKernelCanHoldIsReadWhole) {
  // A link target holds at most 4095 bytes, the most /proc ever reports.
  std::string target = "/";
  while (target.size() < 4095) target += "a/";
  target.resize(4095);
  target.back() = 'Z';
  proc_.Link("3", target);
  proc_.Write("3", "stat", Stat(3, "Z"));
  LinuxProcessSnapshotSource source(root_);
  auto snapshot = source.CreateToolhelp32Snapshot();
  const std::vector<std::pair<int64_t, std::string>> expected = {{3, target}};
  EXPECT_EQ(FullWalk(*snapshot), expected);
  EXPECT_EQ(PathWalk(*snapshot), std::vector<std::string>({target}));
}

TEST_F(FakeProcTest, HugeCommandLineAndStatDoNotBreakTheWalk) {
  // argv[0] of 200 KiB with no NUL, no path: the command name; and a stat
  // padded to 1 MiB, its line whole within the first bytes.
  proc_.Write("8", "cmdline", "/" + std::string(200 * 1024, 'x'));
  proc_.Write("8", "stat", Stat(8, "x") + std::string(1 << 20, ' '));
  proc_.Write("9", "stat", "9 (" + std::string(100 * 1024, ')') + ") S 1");
  proc_.Link("10", program_);
  proc_.Write("10", "stat", Stat(10, "Program"));
  LinuxProcessSnapshotSource source(root_);
  auto snapshot = source.CreateToolhelp32Snapshot();
  const auto seen = FullWalk(*snapshot);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].first, 8);
  EXPECT_EQ(seen[0].second, "x");
  EXPECT_EQ(seen[1].first, 10);
  EXPECT_EQ(PathWalk(*snapshot).size(), 2u);
}

TEST_F(FakeProcTest, MissingRootGivesAnEmptyWalk) {
  LinuxProcessSnapshotSource source(dir_.Root() + "/no-such-proc");
  auto snapshot = source.CreateToolhelp32Snapshot();
  ProcessEntry entry;
  entry.th32ProcessID = 77;
  EXPECT_FALSE(snapshot->Process32First(entry));
  EXPECT_EQ(entry.th32ProcessID, 77);  // untouched
  std::string path;
  EXPECT_FALSE(snapshot->PathFirst(path));
}

TEST_F(FakeProcTest, EachSnapshotSeesTheTreeAsItIsThen) {
  proc_.Link("5", program_);
  proc_.Write("5", "stat", Stat(5, "Program"));
  LinuxProcessSnapshotSource source(root_);
  auto before = source.CreateToolhelp32Snapshot();
  proc_.Link("4", "/bin/New");
  proc_.Write("4", "stat", Stat(4, "New"));
  // A snapshot still open while the next is taken keeps its own listing.
  auto after = source.CreateToolhelp32Snapshot();
  EXPECT_EQ(PathWalk(*before), std::vector<std::string>({program_}));
  EXPECT_EQ(PathWalk(*after), std::vector<std::string>({"/bin/New", program_}));
  before.reset();
  after.reset();
  auto third = source.CreateToolhelp32Snapshot();
  EXPECT_EQ(PathWalk(*third), std::vector<std::string>({"/bin/New", program_}));
}

}  // namespace
}  // namespace pelmora::platform::linux_os
