// SPDX-License-Identifier: MIT
#pragma once
// The reads of a tick done as plainly as possible, with nothing of Pelmora
// around them: the yardstick of bare_tick and bench_tick.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace pelmora::bench {

inline char g_file[64 * 1024];
inline char g_link[4096];
alignas(8) inline char g_dirents[32 * 1024];

struct LinuxDirent64 {
  unsigned long long d_ino;
  long long d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

// Reads the whole file name below dir_fd into g_file; the bytes read.
inline long ReadFile(int dir_fd, const char* name) {
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

inline bool IsPid(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

// One tick: /proc/stat, /proc/meminfo, a listing of /proc and the exe link
// of every process; with_stat adds each process's stat, with_fds the size
// of its fd directory. The number of processes listed.
inline int Tick(int proc_fd, bool with_stat, bool with_fds) {
  ReadFile(AT_FDCWD, "/proc/stat");
  ReadFile(AT_FDCWD, "/proc/meminfo");

  int processes = 0;
  if (lseek(proc_fd, 0, SEEK_SET) != 0) return processes;
  char path[300];
  for (;;) {
    const long n = syscall(SYS_getdents64, proc_fd, g_dirents, sizeof g_dirents);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (long at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const LinuxDirent64*>(g_dirents + at);
      at += entry->d_reclen;
      if (!IsPid(entry->d_name)) continue;
      ++processes;
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
  return processes;
}

}  // namespace pelmora::bench
