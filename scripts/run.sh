#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is needed, builds Pelmora and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "pelmora: no display to show the window on (DISPLAY is not set)" >&2
  exit 1
fi
# The build speaks only when it fails.
if ! log=$(bash scripts/build.sh build 2>&1); then
  printf '%s\n' "$log" >&2
  exit 1
fi
exec build/src/app/qt/pelmora
