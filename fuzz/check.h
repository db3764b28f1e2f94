// SPDX-License-Identifier: MIT
#pragma once
// Invariant checks for the fuzz targets: a broken invariant prints what was
// expected and aborts, which libFuzzer reports as a finding with its input.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (0)

namespace pelmora::fuzz {

// True when part lies inside whole (the same bytes of memory).
inline bool ViewInside(std::string_view part, std::string_view whole) {
  return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

}  // namespace pelmora::fuzz
