// SPDX-License-Identifier: MIT
#include "platform/linux/instance/linux_single_instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

namespace fs = std::filesystem;
using testing_support::ScratchDir;

constexpr uid_t kOtherUser = 12345;

// A name of this test run alone, so parallel runs do not meet.
std::string UniqueName(const char* what) {
  return "pelmora-test-" + std::to_string(::getpid()) + "-" + what;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  return names;
}

// A forked process that runs `claim`, reports its answer in one byte and
// then stays, holding whatever it claimed, until it is killed.
class Holder {
 public:
  explicit Holder(const std::function<char()>& claim) {
    int report[2];
    if (::pipe(report) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(report[0]);
      const char answer = claim();
      (void)!::write(report[1], &answer, 1);
      for (;;) ::pause();
    }
    ::close(report[1]);
    report_ = report[0];
  }
  ~Holder() {
    Kill();
    if (report_ >= 0) ::close(report_);
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

  char Answer() {
    char answer = 0;
    return ::read(report_, &answer, 1) == 1 ? answer : 0;
  }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int report_ = -1;
};

// In a Holder: claims and keeps the claim until the process is killed.
char ClaimAndHold(const std::string& name, const std::string& dir) {
  auto* instance = new LinuxSingleInstance(name, dir);  // lives until the kill
  return instance->PrevInstance() ? 'y' : 'n';
}

// In a Holder: takes the abstract name as another user, listening or not.
char SquatAs(uid_t uid, const std::string& name, bool listening) {
  if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(uid, uid, uid) != 0) return 'u';
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::copy(name.begin(), name.end(), address.sun_path + 1);
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) return 'b';
  if (listening && ::listen(fd, 8) != 0) return 'l';
  return 'k';
}

// A socket listening at a path; closed, it leaves its file behind, as a
// killed instance does.
class PathSocket {
 public:
  explicit PathSocket(const std::string& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = Address(path);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 8) != 0) {
      Close();
    }
  }
  ~PathSocket() { Close(); }
  PathSocket(const PathSocket&) = delete;
  PathSocket& operator=(const PathSocket&) = delete;

  bool listening() const { return fd_ >= 0; }
  static bool Accepts(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = Address(path);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  static sockaddr_un Address(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    return address;
  }
  int fd_ = -1;
};

// Where the instances claim: in a runtime directory of this user (and
// under the abstract name), or, without one, under the abstract name alone.
class SingleInstanceTest : public testing::TestWithParam<bool> {
 protected:
  bool InDirectory() const { return GetParam(); }
  std::string Dir() const { return InDirectory() ? dir_.Root() : std::string(); }
  std::unique_ptr<LinuxSingleInstance> Make(const std::string& name) const {
    return std::make_unique<LinuxSingleInstance>(name, Dir());
  }
  ScratchDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Places, SingleInstanceTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "RuntimeDirectory" : "AbstractNameOnly";
                         });

TEST_P(SingleInstanceTest, SecondClaimInTheSameProcessSeesTheFirst) {
  const std::string name = UniqueName("same");
  auto first = Make(name);
  EXPECT_FALSE(first->PrevInstance());
  EXPECT_FALSE(first->PrevInstance());  // asking again changes nothing
  if (InDirectory()) {
    EXPECT_EQ(Entries(Dir()), std::vector<std::string>{name});
  }
  {
    auto second = Make(name);
    EXPECT_TRUE(second->PrevInstance());
    EXPECT_TRUE(second->PrevInstance());
  }
  EXPECT_FALSE(Make(UniqueName("other"))->PrevInstance());

  first.reset();
  if (InDirectory()) {
    EXPECT_TRUE(Entries(Dir()).empty()) << "a normal end leaves nothing behind";
  }
  EXPECT_FALSE(Make(name)->PrevInstance());
}

TEST_P(SingleInstanceTest, KilledHolderDoesNotBlock) {
  const std::string name = UniqueName("killed");
  Holder holder([&] { return ClaimAndHold(name, Dir()); });
  EXPECT_EQ(holder.Answer(), 'n');
  EXPECT_TRUE(Make(name)->PrevInstance());
  holder.Kill();
  // Its socket file stays, and refuses connections.
  if (InDirectory()) {
    EXPECT_EQ(Entries(Dir()), std::vector<std::string>{name});
  }
  auto after = Make(name);
  EXPECT_FALSE(after->PrevInstance());
  if (InDirectory()) {
    EXPECT_TRUE(PathSocket::Accepts(Dir() + "/" + name)) << "the stale file is replaced";
  }
}

TEST_P(SingleInstanceTest, ProgramsStartedByTheInstanceDoNotHoldTheName) {
  const std::string name = UniqueName("exec");
  auto instance = Make(name);
  ASSERT_FALSE(instance->PrevInstance());
  // A child that execs with every descriptor it inherited still open.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("600"), nullptr};
    ::execv("/bin/sleep", argv);
    ::_exit(127);
  }
  ASSERT_TRUE(testing_support::PollUntil(
      [&] { return testing_support::ExeTarget(child).find("sleep") != std::string::npos; }));
  instance.reset();
  EXPECT_FALSE(Make(name)->PrevInstance());
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
}

TEST_P(SingleInstanceTest, OverlongNameIsCutNotRejected) {
  const std::string name = UniqueName("long") + std::string(400, 'x');
  auto first = Make(name);
  EXPECT_FALSE(first->PrevInstance());
  EXPECT_TRUE(Make(name.substr(0, 107) + "different tail")->PrevInstance());
}

TEST(SingleInstanceTest, StartsWithAndWithoutARuntimeDirectoryMeet) {
  ScratchDir dir;
  for (const bool first_in_directory : {true, false}) {
    const std::string name = UniqueName(first_in_directory ? "dir-first" : "abstract-first");
    LinuxSingleInstance first(name, first_in_directory ? dir.Root() : "");
    ASSERT_FALSE(first.PrevInstance());
    LinuxSingleInstance second(name, first_in_directory ? "" : dir.Root());
    EXPECT_TRUE(second.PrevInstance()) << name;
  }
}

// A start that cannot check the socket file, here for want of a descriptor
// once the directory is open, removes nothing: the live instance keeps its
// file. The start itself goes on.
TEST(SingleInstanceTest, AFailedCheckRemovesNothing) {
  ScratchDir dir;
  const std::string name = UniqueName("starved");
  LinuxSingleInstance live(name, dir.Root());
  ASSERT_FALSE(live.PrevInstance());
  Holder starved([&] {
    const rlimit limit{64, 64};
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return 'r';
    std::vector<int> taken;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) taken.push_back(fd);
    if (taken.empty()) return 'f';
    ::close(taken.back());  // one left, for the directory
    taken.pop_back();
    std::optional<LinuxSingleInstance> start(std::in_place, name, dir.Root());
    const bool previous = start->PrevInstance();
    // Descriptors back before the start is destroyed: the sanitizers'
    // runtime needs some of its own.
    for (int fd : taken) ::close(fd);
    start.reset();
    return previous ? 'y' : 'n';
  });
  EXPECT_EQ(starved.Answer(), 'n');
  EXPECT_EQ(Entries(dir.Root()), std::vector<std::string>{name});
  EXPECT_TRUE(PathSocket::Accepts(dir.Path(name))) << "the live instance's socket";
}

// A directory that another user may write to, or that is not this user's,
// is not used, whatever it holds: here a live socket under the very name.
TEST(SingleInstanceTest, UnsuitableRuntimeDirectoryIsNotUsed) {
  ScratchDir scratch;
  struct Case {
    const char* what;
    mode_t mode;
    bool foreign_owner;
  };
  const Case cases[] = {
      {"writable by others", 0777, false},
      {"sticky and writable by others", 01777, false},
      {"writable by the group", 0775, false},
      {"owned by another user", 0700, true},
  };
  int index = 0;
  for (const Case& c : cases) {
    if (c.foreign_owner && ::geteuid() != 0) continue;
    const std::string name = UniqueName("unsuitable") + std::to_string(index);
    const std::string dir = scratch.Root() + "/" + std::to_string(index++);
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    PathSocket live(dir + "/" + name);
    ASSERT_TRUE(live.listening()) << c.what;
    ASSERT_EQ(::chmod(dir.c_str(), c.mode), 0);
    if (c.foreign_owner) {
      ASSERT_EQ(::chown(dir.c_str(), kOtherUser, kOtherUser), 0);
    }

    LinuxSingleInstance first(name, dir);
    EXPECT_FALSE(first.PrevInstance()) << c.what;
    EXPECT_TRUE(LinuxSingleInstance(name, "").PrevInstance()) << c.what << ": the abstract name";
  }
  for (const char* dir : {"relative/dir", "/nonexistent/pelmora", "/dev/null"}) {
    const std::string name = UniqueName("unusable");
    LinuxSingleInstance first(name, dir);
    EXPECT_FALSE(first.PrevInstance()) << dir;
    EXPECT_TRUE(LinuxSingleInstance(name, "").PrevInstance()) << dir << ": the abstract name";
  }
}

TEST(SingleInstanceTest, AnotherUsersHolderOfTheAbstractNameDoesNotCount) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
  ScratchDir dir;
  for (const bool listening : {true, false}) {
    const std::string name = UniqueName(listening ? "squat-listen" : "squat-bound");
    Holder squatter([&] { return SquatAs(kOtherUser, name, listening); });
    ASSERT_EQ(squatter.Answer(), 'k');
    for (const std::string& runtime_dir : {std::string(), dir.Root()}) {
      LinuxSingleInstance mine(name, runtime_dir);
      EXPECT_FALSE(mine.PrevInstance()) << name << " in '" << runtime_dir << "'";
    }
    // With a runtime directory a second start of this user is still refused.
    LinuxSingleInstance first(name, dir.Root());
    ASSERT_FALSE(first.PrevInstance());
    EXPECT_TRUE(LinuxSingleInstance(name, dir.Root()).PrevInstance()) << name;
  }
  // And this user's instance does not count for the other user.
  const std::string name = UniqueName("mine");
  LinuxSingleInstance mine(name, "");
  ASSERT_FALSE(mine.PrevInstance());
  const auto theirs = testing_support::RunAsUser(kOtherUser, [&] {
    return std::string(LinuxSingleInstance(name, "").PrevInstance() ? "y" : "n");
  });
  EXPECT_EQ(theirs, "n");
}

// Several starts at once all try to claim; one of them wins, the others
// see it. With a runtime directory they start after a crash, so all find
// the stale socket file, and another user holds the abstract name, so only
// the directory can tell them apart.
TEST_P(SingleInstanceTest, SimultaneousStartsLeaveOneInstance) {
  if (InDirectory() && ::geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
  const std::string name = UniqueName("race");
  std::unique_ptr<Holder> squatter;
  if (InDirectory()) {
    squatter = std::make_unique<Holder>([&] { return SquatAs(kOtherUser, name, true); });
    ASSERT_EQ(squatter->Answer(), 'k');
    PathSocket crashed(Dir() + "/" + name);
    ASSERT_TRUE(crashed.listening());
  }  // closed, its file stays behind

  constexpr int kRounds = 25;
  constexpr int kStarts = 4;
  for (int round = 0; round < kRounds; ++round) {
    int barrier[2];
    ASSERT_EQ(::pipe(barrier), 0);
    std::vector<std::unique_ptr<Holder>> starts;
    for (int i = 0; i < kStarts; ++i) {
      starts.push_back(std::make_unique<Holder>([&] {
        ::close(barrier[1]);
        char ignored;
        (void)!::read(barrier[0], &ignored, 1);  // returns when every start is ready
        return ClaimAndHold(name, Dir());
      }));
    }
    ::close(barrier[0]);
    ::close(barrier[1]);
    int first_instances = 0;
    for (auto& start : starts) first_instances += start->Answer() == 'n';
    ASSERT_EQ(first_instances, 1) << "round " << round;
    starts.clear();  // all killed: a file of the instance is stale for the next round
  }
}

}  // namespace
}  // namespace pelmora::platform::linux_os
