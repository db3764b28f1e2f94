// SPDX-License-Identifier: MIT
#include "platform/linux/linux_single_instance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <string>

#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

// A name of this test run alone, so parallel runs do not meet.
std::string UniqueName(const char* what) {
  return "pelmora-test-" + std::to_string(::getpid()) + "-" + what;
}

TEST(SingleInstanceTest, SecondClaimInTheSameProcessSeesTheFirst) {
  const std::string name = UniqueName("same");
  auto first = std::make_unique<LinuxSingleInstance>(name);
  EXPECT_FALSE(first->PrevInstance());
  EXPECT_FALSE(first->PrevInstance());  // asking again changes nothing
  {
    LinuxSingleInstance second(name);
    EXPECT_TRUE(second.PrevInstance());
    EXPECT_TRUE(second.PrevInstance());
  }
  LinuxSingleInstance other_name(UniqueName("other"));
  EXPECT_FALSE(other_name.PrevInstance());

  first.reset();
  LinuxSingleInstance after(name);
  EXPECT_FALSE(after.PrevInstance());
}

TEST(SingleInstanceTest, KilledHolderDoesNotBlock) {
  const std::string name = UniqueName("killed");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    LinuxSingleInstance instance(name);
    const char answer = instance.PrevInstance() ? 'y' : 'n';
    (void)!::write(ready[1], &answer, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char answer = 0;
  ASSERT_EQ(::read(ready[0], &answer, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(answer, 'n');
  {
    LinuxSingleInstance while_held(name);
    EXPECT_TRUE(while_held.PrevInstance());
  }
  ::kill(holder, SIGKILL);
  int status = 0;
  ::waitpid(holder, &status, 0);
  LinuxSingleInstance after(name);
  EXPECT_FALSE(after.PrevInstance());
}

TEST(SingleInstanceTest, ProgramsStartedByTheInstanceDoNotHoldTheName) {
  const std::string name = UniqueName("exec");
  auto instance = std::make_unique<LinuxSingleInstance>(name);
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
  LinuxSingleInstance next(name);
  EXPECT_FALSE(next.PrevInstance());
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
}

TEST(SingleInstanceTest, UsersDoNotShareTheDefaultName) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
  LinuxSingleInstance mine;  // the default name of this user
  const bool already = mine.PrevInstance();
  const auto other = testing_support::RunAsUser(12345, [] {
    LinuxSingleInstance theirs;
    const bool first = theirs.PrevInstance();
    LinuxSingleInstance again;
    return std::string(first ? "y" : "n") + (again.PrevInstance() ? "y" : "n");
  });
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(*other, "ny");
  if (!already) {
    LinuxSingleInstance second_of_mine;
    EXPECT_TRUE(second_of_mine.PrevInstance());
  }
}

TEST(SingleInstanceTest, OverlongNameIsCutNotRejected) {
  const std::string name = UniqueName("long") + std::string(400, 'x');
  LinuxSingleInstance first(name);
  EXPECT_FALSE(first.PrevInstance());
  LinuxSingleInstance same_prefix(name.substr(0, 107) + "different tail");
  EXPECT_TRUE(same_prefix.PrevInstance());
}

}  // namespace
}  // namespace pelmora::platform::linux_os
