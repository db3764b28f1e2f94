// SPDX-License-Identifier: MIT
#pragma once
// Reading /proc and /sys texts. Every text is read by one reader, ReadText:
// from offset 0, with pread, into a buffer the caller owns, taking at most
// the cap the caller names for that call. The kernel writes a /proc text
// afresh for a read at offset 0, and whole into a read that has room for
// it, so a text that fits the buffer costs one call. A text that fills the
// cap is reported as kCapped: the caller decides whether its first bytes
// will do. Directory listings go through getdents64 into a buffer of their
// own.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/linux/io/unique_fd.h"

namespace pelmora::platform::linux_os {

enum class ReadStatus {
  kOk,          // the whole text
  kCapped,      // the text filled the cap: its first cap bytes, it may go on
  kGone,        // the file or its process no longer exists (ENOENT, ESRCH)
  kUnreadable,  // it exists but may not be read (permissions, hidepid, ...)
  kNoRoom,      // no descriptor was free to open it (EMFILE, ENFILE)
};

// Whether the status gave bytes to look at (whole or capped).
inline bool HasText(ReadStatus status) {
  return status == ReadStatus::kOk || status == ReadStatus::kCapped;
}

// The status a failed call's errno stands for.
ReadStatus StatusOfErrno(int error);

// Reads the open file fd from offset 0 into the room bytes at data, with
// one pread; got is the number of bytes read. The cap is room: a text that
// fills it is kCapped.
ReadStatus ReadText(int fd, char* data, size_t room, size_t& got);

// Reads the open file fd from offset 0 into buffer, which ends up holding
// exactly the bytes read. The first read takes as many bytes as the buffer
// already holds room for (at least 1 KiB, at most cap); a text that fills
// that room is read again, from offset 0, into twice the room, up to cap.
// A caller that sizes its buffer to the cap before the call reads with one
// pread; the buffer's capacity is never grown beyond cap.
ReadStatus ReadText(int fd, std::string& buffer, size_t cap);

// ReadText of the file `name` below the directory dir_fd, opened for this
// read only.
ReadStatus ReadTextAt(int dir_fd, const char* name, std::string& buffer, size_t cap);

// A /proc or /sys text read again and again, each tick: its file stays
// open in fd between reads, and each read starts at offset 0, which makes
// the kernel write the text afresh. A file that went away (removed, or a
// read that fails) is opened again with reopen(status); kUnreadable, or
// the status reopen gave, when it cannot be.
ReadStatus ReadKept(UniqueFd& fd, const std::function<UniqueFd(ReadStatus&)>& reopen,
                    std::string& buffer, size_t cap);

// A kept text opened by its path.
class KeptFile {
 public:
  explicit KeptFile(std::string path = {}) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }
  // ReadText of the file; kUnreadable also where it cannot be opened.
  ReadStatus Read(std::string& buffer, size_t cap);

 private:
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
