// SPDX-License-Identifier: MIT
#pragma once
// The one rule for buffers kept from one tick to the next: a buffer gives
// back its room once it holds more than twice what it uses and a little
// over. One that grew for a crowd of long names or many processes does not
// keep its peak; one whose use merely varies keeps its room and allocates
// nothing.
#include <cstddef>

namespace pelmora::base {

inline constexpr std::size_t kRoomMarginBytes = 256;

// Whether `room` elements of elementBytes each are too many for `used`.
inline bool TooMuchRoom(std::size_t room, std::size_t used, std::size_t elementBytes) {
  return room > 2 * used + kRoomMarginBytes / elementBytes + 1;
}

// Whether buffer holds too much room for `used` elements (a spare buffer is
// measured against what its twin uses).
template <typename Buffer>
bool HoldsTooMuchRoom(const Buffer& buffer, std::size_t used) {
  return TooMuchRoom(buffer.capacity(), used, sizeof(typename Buffer::value_type));
}

// Gives back the room buffer holds beyond its size, when it holds too
// much for `used`.
template <typename Buffer>
void GiveBackRoom(Buffer& buffer, std::size_t used) {
  if (HoldsTooMuchRoom(buffer, used)) buffer.shrink_to_fit();
}

template <typename Buffer>
void GiveBackRoom(Buffer& buffer) {
  GiveBackRoom(buffer, buffer.size());
}

}  // namespace pelmora::base
