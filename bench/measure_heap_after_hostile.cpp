// SPDX-License-Identifier: MIT
// The heap the window keeps after processes with hostile command lines have
// come and gone. The real window, on the real /proc process source and the
// real CPU, memory and resource figures, ticks at 0.2 s as uid 65534
// (nobody) beside COUNT sleeping processes of uid 65533 whose argv[0] is an
// absolute path-like string of LENGTH bytes, and one more such process every
// 0.5 s; nobody cannot read their executable links, so the window shows
// argv[0] as their path. After SECONDS the processes are ended, the window
// ticks on for 2 s (one rebuild of its list at least), and the heap in use
// is printed (mallinfo2: uordblks + hblkhd), with the peak seen while they
// ran. Run it once with short names and once with long ones: the heap after
// the long ones should come back to within 1 MB of the heap after the short
// ones.
//   measure_heap_after_hostile [length] [count] [seconds]   (as root)
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "platform/linux/linux_services.h"
#include "qt/window_on_fakes.h"

namespace {

constexpr uid_t kViewer = 65534;
constexpr uid_t kOther = 65533;

size_t HeapInUse() {
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
}

long StatusKb(const char* key) {
  FILE* in = std::fopen("/proc/self/status", "r");
  if (!in) return 0;
  char line[256];
  long kb = 0;
  const size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, in)) {
    if (std::strncmp(line, key, n) == 0) kb = std::atol(line + n);
  }
  std::fclose(in);
  return kb;
}

// A sleeping process of the other user with argv[0] = name; it is killed
// when this program ends, however it ends.
pid_t SpawnHostile(const std::string& name, const char* seconds) {
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (::setgid(kOther) != 0 || ::setuid(kOther) != 0) ::_exit(126);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(0);
  char* argv[] = {const_cast<char*>(name.c_str()), const_cast<char*>(seconds), nullptr};
  char* envp[] = {nullptr};
  ::execve("/bin/sleep", argv, envp);
  ::_exit(127);
}

void Reap(std::vector<pid_t>& pids) {
  for (pid_t pid : pids) ::kill(pid, SIGKILL);
  for (pid_t pid : pids) ::waitpid(pid, nullptr, 0);
  pids.clear();
}

// The window as nobody: ticks while the hostile processes run, tells the
// parent (byte on `out`), waits for their end (byte on `in`), ticks on, and
// prints what it measured.
int Viewer(int argc, char** argv, int seconds, int in, int out) {
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  (void)argc;
  pelmora::platform::linux_os::LinuxServices os;
  pelmora::fakes::WindowOnFakes run([&](pelmora::fakes::FakeServices& fake) {
    fake.use.cpuTime = &os.cpuTime;
    fake.use.clock = &os.clock;
    fake.use.memory = &os.memory;
    fake.use.resources = &os.resources;
    fake.use.processes = &os.processes;
  });
  run.window.Load();
  run.window.show();
  run.window.HScroll1->setValue(1);  // 0.2 s

  size_t peak = 0;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] { peak = std::max(peak, HeapInUse()); });
  sampler.start(250);
  QTimer::singleShot(seconds * 1000, [&] {
    sampler.stop();
    const long rssDuring = StatusKb("VmRSS:");
    char byte = 1;
    if (::write(out, &byte, 1) != 1 || ::read(in, &byte, 1) != 1) {
      QApplication::exit(1);
      return;
    }
    QTimer::singleShot(2000, [&, rssDuring] {
      std::printf(
          "heap in use: peak %.2f MB while they ran, %.2f MB after they ended; "
          "RSS %.1f MB while they ran, %.1f MB after\n",
          peak / 1048576.0, HeapInUse() / 1048576.0, rssDuring / 1024.0,
          StatusKb("VmRSS:") / 1024.0);
      std::fflush(stdout);
      QApplication::quit();
    });
  });
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  const size_t length = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 131071;
  const int count = argc > 2 ? std::atoi(argv[2]) : 300;
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 20;
  if (::geteuid() != 0) {
    std::fprintf(stderr,
                 "measure_heap_after_hostile: runs as root (it runs processes as "
                 "two other users)\n");
    return 1;
  }
  if (length < 2 || length > 131071) {
    std::fprintf(stderr, "measure_heap_after_hostile: length from 2 to 131071\n");
    return 2;
  }
  std::string name = "/hostile";
  while (name.size() < length)
    name += "/xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
  name.resize(length);

  std::printf("%d processes with a %zu-byte argv[0], one more every 0.5 s, for %d s\n", count,
              length, seconds);
  std::fflush(stdout);
  std::vector<pid_t> hostile;
  for (int i = 0; i < count; ++i) hostile.push_back(SpawnHostile(name, "100000"));

  int toParent[2], toViewer[2];
  if (::pipe(toParent) != 0 || ::pipe(toViewer) != 0) return 1;
  const pid_t parent = ::getpid();
  const pid_t viewer = ::fork();
  if (viewer == 0) {
    ::close(toParent[0]);
    ::close(toViewer[1]);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(0);
    if (::setgid(kViewer) != 0 || ::setuid(kViewer) != 0) ::_exit(126);
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("HOME", "/nonexistent", 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    ::_exit(Viewer(argc, argv, seconds, toViewer[0], toParent[1]));
  }
  ::close(toParent[1]);
  ::close(toViewer[0]);
  ::signal(SIGPIPE, SIG_IGN);  // a viewer that failed early has closed its pipe

  // One more every 0.5 s until the viewer asks for their end.
  std::vector<pid_t> passing;
  pollfd asked{toParent[0], POLLIN, 0};
  while (::poll(&asked, 1, 500) == 0) passing.push_back(SpawnHostile(name, "10"));
  Reap(hostile);
  Reap(passing);
  char byte = 1;
  (void)!::write(toViewer[1], &byte, 1);
  int status = 0;
  ::waitpid(viewer, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
