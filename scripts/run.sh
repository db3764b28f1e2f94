#!/usr/bin/env bash
# Installs what is needed, builds Pelmora and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build >/dev/null
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "pelmora: no display to show the window on (DISPLAY is not set)" >&2
  exit 1
fi
exec build/src/app/pelmora
