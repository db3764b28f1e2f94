#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what Pelmora needs to build, run and test, from Debian's packages.
# Packages already installed are skipped, so a second run takes a moment.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libbenchmark-dev
  fonts-noto-cjk
)
if [[ "${1:-}" == "--bench" ]]; then
  # bench/measure_overhead.sh: the program on Xvfb, top as a yardstick and
  # perf to count the ticks.
  packages+=(xvfb xdotool procps linux-perf)
fi
if [[ "${1:-}" == "--test" ]]; then
  # Headless X servers and tools to drive the program on them.
  packages+=(xvfb x11-utils xdotool)
  # Fuzzing: libFuzzer with the release's default clang and its runtime.
  packages+=(clang libclang-rt-dev)
  # The sanitizer build compiles GoogleTest from Debian's sources.
  packages+=(googletest)
  # The program on a real X server (tests/e2e), the desktop files' validators
  # and the Debian package's tools (scripts/test-steps/40-package.sh).
  packages+=(openbox wmctrl imagemagick python3 desktop-file-utils appstream dpkg-dev lintian)
  # The end-to-end test's run as an unprivileged user: that user's session
  # and accessibility buses, and the reader of the accessibility bus.
  packages+=(dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0)
  # A program run from a FUSE mount whose server stops answering
  # (tests/linux/dead_mount_test.cpp).
  packages+=(bindfs fuse3)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "pelmora: these packages are missing; run as root to install them: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
