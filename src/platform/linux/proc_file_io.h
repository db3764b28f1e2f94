// SPDX-License-Identifier: MIT
#pragma once
// Thin, allocation-free readers of /proc files, relative to directory file
// descriptors. The buffers are owned by the caller and only ever grow, so a
// warmed-up reader makes no allocation.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace pelmora::platform::linux_os {

enum class ReadStatus {
  kOk,
  kGone,        // the file or its process no longer exists
  kUnreadable,  // it exists but may not be read (permissions, hidepid, ...)
};

// Reads the file `name` below `dir_fd` into `storage` and points `content`
// at the bytes read. Reading stops at end of file (a read that does not
// fill the room it was given), after max_bytes, or, when stop_at_nul is
// set, after the first chunk that holds a NUL byte.
ReadStatus ReadFileAt(int dir_fd, const char* name, std::string& storage, std::string_view& content,
                      size_t max_bytes, bool stop_at_nul = false);

// Reads a small file (a /proc or /sys text) whole into buffer, once: the
// KeptFile below, for a text read only now. False when the file cannot be
// opened or read.
bool ReadSmallFile(const std::string& path, std::string& buffer);

// A small /proc or /sys text read again and again, each tick: its file
// stays open between reads, and each read starts at offset 0, which makes
// the kernel write the text afresh. A file that went away (removed, or a
// read that fails) is opened again by its path.
class KeptFile {
 public:
  explicit KeptFile(std::string path = {}) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }
  // Reads the whole text into buffer, which keeps its capacity between
  // calls. False when the file cannot be opened or read.
  bool Read(std::string& buffer);

 private:
  bool ReadOpen(std::string& buffer);

  std::string path_;
  UniqueFd fd_;
};

// A getdents64 buffer, aligned for the kernel's records.
using DirentBuffer = std::vector<uint64_t>;

// Calls visit(name) for every entry of the open directory dir_fd but "." and
// "..", from its start. False when the directory cannot be read.
template <typename Visit>
bool ForEachDirEntry(int dir_fd, DirentBuffer& buffer, Visit&& visit);

// The number of entries of the directory `name` below dir_fd ("." and ".."
// not counted); -1 when it cannot be opened or read.
int64_t CountDirEntriesAt(int dir_fd, const char* name, DirentBuffer& buffer);

// Low level: one getdents64 call into buffer; bytes filled, 0 at the end,
// -1 on error. Used by ForEachDirEntry.
long ReadDirents(int dir_fd, DirentBuffer& buffer);

// The name of the dirent64 record at offset `at` of the filled buffer, and
// the length of that record.
std::string_view DirentName(const DirentBuffer& buffer, size_t at, size_t& record_length);

template <typename Visit>
bool ForEachDirEntry(int dir_fd, DirentBuffer& buffer, Visit&& visit) {
  for (;;) {
    const long filled = ReadDirents(dir_fd, buffer);
    if (filled < 0) return false;
    if (filled == 0) return true;
    size_t at = 0;
    while (at < static_cast<size_t>(filled)) {
      size_t length = 0;
      const std::string_view name = DirentName(buffer, at, length);
      if (length == 0) return false;
      if (name != "." && name != "..") visit(name);
      at += length;
    }
  }
}

}  // namespace pelmora::platform::linux_os
