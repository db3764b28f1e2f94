#pragma once
#include <string>

namespace pelmora::platform::linux_os {

// Reads a small file (a /proc or /sys text) whole into buffer with
// open/read/close. The buffer keeps its capacity between calls, so once it
// has grown to the file's size a read allocates nothing. False when the file
// cannot be opened or read; the buffer's contents are then unspecified.
bool ReadSmallFile(const std::string& path, std::string& buffer);

}  // namespace pelmora::platform::linux_os
