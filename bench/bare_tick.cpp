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
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char g_file[64 * 1024];
char g_link[4096];
alignas(8) char g_dirents[32 * 1024];

struct LinuxDirent64 {
  unsigned long long d_ino;
  long long d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

// Reads the whole file name below dir_fd into g_file; the bytes read.
long ReadFile(int dir_fd, const char* name) {
  const int fd = openat(dir_fd, name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  long total = 0;
  for (;;) {
    const ssize_t n = read(fd, g_file, sizeof g_file);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  close(fd);
  return total;
}

bool IsPid(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

void Tick(int proc_fd, bool with_stat, bool with_fds) {
  ReadFile(AT_FDCWD, "/proc/stat");
  ReadFile(AT_FDCWD, "/proc/meminfo");

  if (lseek(proc_fd, 0, SEEK_SET) != 0) return;
  char path[64];
  for (;;) {
    const long n = syscall(SYS_getdents64, proc_fd, g_dirents, sizeof g_dirents);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (long at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const LinuxDirent64*>(g_dirents + at);
      at += entry->d_reclen;
      if (!IsPid(entry->d_name)) continue;
      std::snprintf(path, sizeof path, "%s/exe", entry->d_name);
      (void)readlinkat(proc_fd, path, g_link, sizeof g_link);
      if (with_stat) {
        std::snprintf(path, sizeof path, "%s/stat", entry->d_name);
        ReadFile(proc_fd, path);
      }
      if (with_fds) {
        struct stat st {};
        std::snprintf(path, sizeof path, "%s/fd", entry->d_name);
        (void)fstatat(proc_fd, path, &st, 0);
      }
    }
  }
}

}  // namespace

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
    Tick(proc_fd, with_stat, with_fds);
    next.tv_nsec += (interval_ms % 1000) * 1000000;
    next.tv_sec += interval_ms / 1000 + next.tv_nsec / 1000000000;
    next.tv_nsec %= 1000000000;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
    }
  }
}
