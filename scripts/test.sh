#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is needed, builds Pelmora and runs the whole test suite headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test
bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j2
# Further stages (sanitizer build, fuzzing, soak, packaging), in name order.
for step in scripts/test-steps/*.sh; do
  [[ -e "$step" ]] || continue
  echo "== ${step##*/}"
  bash "$step"
done
