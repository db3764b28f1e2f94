// SPDX-License-Identifier: MIT
#include "platform/linux/walk/process_record.h"

namespace pelmora::platform::linux_os {

void ProgramMark::Assign(const PidStat& stat) {
  startTime = stat.starttime;
  startBrk = stat.start_brk;
  argStart = stat.arg_start;
  envEnd = stat.env_end;
  comm.assign(stat.comm);
}

bool ProgramMark::SameProgram(const PidStat& stat) const {
  return startTime == stat.starttime && startBrk == stat.start_brk &&
         argStart == stat.arg_start && envEnd == stat.env_end && comm == stat.comm;
}

void ProcessRecord::Forget() {
  kernelThread = false;
  mark.Assign(PidStat{});
  source = NameSource::kLink;
  exeStatable = false;
  name = {};
  inode = 0;
  lastFigures = StatFigures{};
  lastDescriptors = 0;
  figuresUnread = false;
  verdict = Verdict::kUnread;
  figuresFromCheck = false;
}

}  // namespace pelmora::platform::linux_os
