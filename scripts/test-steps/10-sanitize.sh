#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The whole test suite again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer. The build folder is kept, so a second run only
# builds what changed.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=build-asan
if [[ ! -f "$dir/build.ninja" ]]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELMORA_SANITIZE=ON -DPELMORA_BENCH=OFF >/dev/null
fi
cmake --build "$dir" -j2
# Leaks are looked for in our code only: the suppressions name third-party
# libraries (Qt's platform plug-ins, fontconfig) and nothing of ours.
export LSAN_OPTIONS="suppressions=$PWD/scripts/test-steps/lsan.supp:print_suppressions=0"
# strict_string_checks is left off: it trips over string calls inside the X11
# keyboard library as the program starts on a real display.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$dir" --output-on-failure -j2
