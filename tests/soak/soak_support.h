// SPDX-License-Identifier: MIT
#pragma once
// What a soak run measures about its own process: open descriptors,
// resident memory, time.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace pelmora::soak {

// Entries of /proc/self/fd (the descriptor of the listing itself excluded).
int OpenDescriptors();
// VmRSS of /proc/self/status in kB; -1 when it cannot be read.
int64_t ResidentKb();

// The full length when PELMORA_SOAK_LONG is set, the bounded one otherwise.
inline int64_t Ticks(int64_t bounded, int64_t full) {
  const char* flag = std::getenv("PELMORA_SOAK_LONG");
  return flag && *flag && std::string(flag) != "0" ? full : bounded;
}

// Resident memory is checked only without AddressSanitizer, whose quarantine
// keeps freed memory on purpose; LeakSanitizer checks that build instead.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kCheckResidentMemory = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kCheckResidentMemory = false;
#else
inline constexpr bool kCheckResidentMemory = true;
#endif
#else
inline constexpr bool kCheckResidentMemory = true;
#endif

// Growth of resident memory allowed after the warm-up.
inline constexpr int64_t kResidentGrowthLimitKb = 2048;

class Stopwatch {
 public:
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace pelmora::soak
