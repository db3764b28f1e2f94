// SPDX-License-Identifier: MIT
#pragma once
// The /proc texts and trees the walk's tests are made of: one stat-line
// builder, one scratch /proc tree, and the two walks of a snapshot as the
// check and the rebuild take them.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/process_snapshot.h"
#include "support/scratch_dir.h"

namespace pelmora::testing_support {

inline constexpr const char* kUserFlags = "4194560";    // PF_RANDOMIZE | PF_SUPERPRIV
inline constexpr const char* kKernelFlags = "2129984";  // with PF_KTHREAD

// The fields of a stat line a test may set, as text (so a test can put in
// a word or a number too large); every other field is as a typical process
// has it.
struct StatFields {
  std::string pid = "4242";
  std::string comm = "sleep";
  std::string ppid = "1";
  std::string flags = kUserFlags;
  std::string priority = "20";
  std::string threads = "3";
  std::string starttime = "28851";
  std::string startBrk = "94313293008896";
  std::string argStart = "140727823874503";
};
// The stat line as a current kernel writes it, with its line end.
std::string StatLine(const StatFields& fields);
// The usual line of a process of this PID and command name: its start time
// and heap are 100 and 4096 times its PID, its threads PID % 7 + 1.
std::string StatLine(int64_t pid, const std::string& comm, const char* flags = kUserFlags);

// A /proc tree in a scratch directory: one directory per process, holding
// what the test writes.
class FakeProc {
 public:
  FakeProc();
  const std::string& Root() const { return root_; }
  std::string Dir(const std::string& pid) const { return root_ + "/" + pid; }

  void Write(const std::string& pid, const std::string& file, const std::string& text);
  void Link(const std::string& pid, const std::string& target);  // its exe
  void Fds(const std::string& pid, int count);
  void Remove(const std::string& pid);
  // A process named by its link, or (link empty) by its command line.
  void Process(int64_t pid, const std::string& comm, const std::string& link,
               const std::string& cmdline = {}, const char* flags = kUserFlags);

 private:
  ScratchDir dir_;
  std::string root_;
};

// The check's walk of a snapshot: the paths.
std::vector<std::string> CheckPaths(platform::ProcessSnapshot& snapshot);
// The rebuild's walk: every row.
std::vector<platform::ProcessEntry> Rows(platform::ProcessSnapshot& snapshot);
std::vector<std::string> RowPaths(platform::ProcessSnapshot& snapshot);

}  // namespace pelmora::testing_support
