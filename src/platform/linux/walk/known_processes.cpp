// SPDX-License-Identifier: MIT
#include "platform/linux/walk/known_processes.h"

#include <sys/resource.h>

#include <algorithm>

namespace pelmora::platform::linux_os {

void ProgramMark::Assign(const PidStat& stat) {
  startTime = stat.starttime;
  startBrk = stat.start_brk;
  argStart = stat.arg_start;
  envEnd = stat.env_end;
  comm.assign(stat.comm);
}

bool ProgramMark::Matches(const PidStat& stat) const {
  return startTime == stat.starttime && startBrk == stat.start_brk &&
         argStart == stat.arg_start && envEnd == stat.env_end && comm == stat.comm;
}

namespace {

size_t DecideHeldFileBudget() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  const rlim_t wanted = kMaxHeldFiles + kReserveFds;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    if (raised.rlim_cur > limit.rlim_cur && ::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
      limit = raised;
    }
  }
  if (limit.rlim_cur == RLIM_INFINITY) return kMaxHeldFiles;
  if (limit.rlim_cur <= kReserveFds) return 0;
  return std::min<size_t>(kMaxHeldFiles, limit.rlim_cur - kReserveFds);
}

}  // namespace

size_t HeldFileBudget() {
  static const size_t budget = DecideHeldFileBudget();
  return budget;
}

void KnownProcesses::Retain(const std::vector<int64_t>& pids) {
  processes_.erase(std::remove_if(processes_.begin(), processes_.end(),
                                  [&pids](const KnownProcess& p) {
                                    return !std::binary_search(pids.begin(), pids.end(), p.pid);
                                  }),
                   processes_.end());
  cursor_ = 0;
}

KnownProcess* KnownProcesses::Find(int64_t pid) {
  if (cursor_ > 0 && cursor_ <= processes_.size() && processes_[cursor_ - 1].pid >= pid) {
    cursor_ = 0;  // asked out of order: search from the start
  }
  while (cursor_ < processes_.size() && processes_[cursor_].pid < pid) ++cursor_;
  if (cursor_ < processes_.size() && processes_[cursor_].pid == pid) return &processes_[cursor_];
  return nullptr;
}

std::vector<KnownProcess>::iterator KnownProcesses::Slot(int64_t pid) {
  return std::lower_bound(processes_.begin(), processes_.end(), pid,
                          [](const KnownProcess& p, int64_t value) { return p.pid < value; });
}

KnownProcess* KnownProcesses::Keep(KnownProcess process) {
  const auto at = Slot(process.pid);
  if (at != processes_.end() && at->pid == process.pid) {
    *at = std::move(process);
    return &*at;
  }
  if (processes_.size() >= budget_) return nullptr;
  const auto index = static_cast<size_t>(at - processes_.begin());
  processes_.insert(at, std::move(process));
  if (index < cursor_) ++cursor_;
  return &processes_[index];
}

void KnownProcesses::Forget(int64_t pid) {
  const auto at = Slot(pid);
  if (at == processes_.end() || at->pid != pid) return;
  const auto index = static_cast<size_t>(at - processes_.begin());
  processes_.erase(at);
  if (index < cursor_) --cursor_;
}

void KnownProcesses::ForgetEnded() {
  polled_.clear();
  for (const KnownProcess& p : processes_) {
    if (p.pidfd.valid()) polled_.push_back({p.pidfd.get(), POLLIN, 0});
  }
  if (polled_.empty() || ::poll(polled_.data(), polled_.size(), 0) <= 0) return;
  size_t next = 0;  // the entry of polled_ for the next process with a pidfd
  processes_.erase(std::remove_if(processes_.begin(), processes_.end(),
                                  [this, &next](const KnownProcess& p) {
                                    return p.pidfd.valid() && polled_[next++].revents != 0;
                                  }),
                   processes_.end());
  cursor_ = 0;
}

}  // namespace pelmora::platform::linux_os
