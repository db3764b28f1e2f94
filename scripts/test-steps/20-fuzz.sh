#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every fuzz target for a few seconds; a finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash fuzz/run.sh "${PELMORA_FUZZ_SECONDS:-5}"
