// SPDX-License-Identifier: MIT
#include "soak_support.h"

#include <dirent.h>

#include <fstream>
#include <string>

namespace pelmora::soak {

int OpenDescriptors() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return -1;
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(dir);
  return count - 1;  // the directory stream's own descriptor
}

int64_t ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      int64_t kb = -1;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 20, '\n');
  }
  return -1;
}

}  // namespace pelmora::soak
