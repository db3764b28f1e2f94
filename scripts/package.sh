#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package pelmora_VERSION_ARCH.deb into build-pkg/ (or the
# folder given): a release build of the program and its desktop files only.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-pkg}"
if [[ ! -f "$dir/build.ninja" ]]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF >/dev/null
fi
cmake --build "$dir" -j2
rm -f "$dir"/pelmora_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/pelmora_*.deb
