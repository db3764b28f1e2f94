#!/usr/bin/env bash
# Installs what is needed, builds Pelmora and runs the whole test suite headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test
bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j2
