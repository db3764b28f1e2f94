// SPDX-License-Identifier: MIT
#include "support/scratch_dir.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace pelmora::testing_support {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string pattern = "/tmp/pelmora-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  ::chmod(pattern.c_str(), 0755);
  root_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::string ScratchDir::Write(const std::string& relative, const std::string& text) const {
  const std::string path = Path(relative);
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  return path;
}

void ScratchDir::Remove(const std::string& relative) const {
  std::error_code ignored;
  fs::remove(Path(relative), ignored);
}

}  // namespace pelmora::testing_support
