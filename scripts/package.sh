#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package pelmora_VERSION_ARCH.deb into build-pkg/ (or the
# folder given): a release build of the program and its desktop files only,
# with Debian's hardening flags.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-pkg}"
# Hardened as Debian's own packages are: fortified functions, stack
# protector, read-only relocations bound at start (relro, bindnow), PIE.
# CMake reads no CPPFLAGS and the environment's flags only at the first
# configure, so they are given on every configure: a folder configured before
# gets them too, and is rebuilt only when they changed.
if ! command -v dpkg-buildflags >/dev/null; then
  echo "pelmora: dpkg-buildflags is missing: bash scripts/setup.sh --test installs dpkg-dev" >&2
  exit 1
fi
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build "$dir" -j2
rm -f "$dir"/pelmora_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/pelmora_*.deb
