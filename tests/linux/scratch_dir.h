// SPDX-License-Identifier: MIT
#pragma once
// A temporary directory tree for tests that read files: created empty,
// removed with everything in it when the object goes.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace pelmora::testing_linux {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelmora-test-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  // Writes text to the file at relative, creating its directories.
  void Write(const std::string& relative, const std::string& text) const {
    std::filesystem::path path = Path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }
  void Remove(const std::string& relative) const { std::filesystem::remove(Path(relative)); }

 private:
  std::string root_;
};

}  // namespace pelmora::testing_linux
