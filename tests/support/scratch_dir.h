// SPDX-License-Identifier: MIT
#pragma once
// A temporary directory for tests that read files or run programs: created
// empty under /tmp, removed with everything in it when the object goes. Its
// mode is 0755 so children running as another user can reach what is inside.
#include <string>

namespace pelmora::testing_support {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  // Writes text to the file at relative, creating its directories; its path.
  std::string Write(const std::string& relative, const std::string& text) const;
  void Remove(const std::string& relative) const;

 private:
  std::string root_;
};

}  // namespace pelmora::testing_support
