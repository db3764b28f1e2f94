// SPDX-License-Identifier: MIT
// The yardstick for the program's own CPU use: only the reads of a tick, at
// a fixed interval, with nothing else around them. Each tick reads
// /proc/stat and /proc/meminfo, lists /proc and reads the exe link of every
// process; with --stat it also reads the stat of every process, as a
// rebuild of the process list does; with --stat --fds also the size of
// every process's fd directory (its open descriptors since Linux 6.2): all a
// rebuild must read. Ticks are spaced by absolute sleeps, so the interval
// does not drift by the time a tick takes. It runs until it is killed.
//   bare_tick INTERVAL_MS [--stat [--fds]]
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bare_reads.h"

int main(int argc, char** argv) {
  const long interval_ms = argc > 1 ? std::atol(argv[1]) : 0;
  const bool with_stat = argc > 2 && std::strcmp(argv[2], "--stat") == 0;
  const bool with_fds = with_stat && argc > 3 && std::strcmp(argv[3], "--fds") == 0;
  if (interval_ms <= 0 || (argc > 2 && !with_stat) || (argc > 3 && !with_fds) || argc > 4) {
    std::fprintf(stderr, "usage: bare_tick INTERVAL_MS [--stat [--fds]]\n");
    return 2;
  }
  const int proc_fd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc_fd < 0) {
    std::perror("bare_tick: /proc");
    return 1;
  }

  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (;;) {
    pelmora::bench::Tick(proc_fd, with_stat, with_fds);
    next.tv_nsec += (interval_ms % 1000) * 1000000;
    next.tv_sec += interval_ms / 1000 + next.tv_nsec / 1000000000;
    next.tv_nsec %= 1000000000;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
    }
  }
}
