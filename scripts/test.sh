#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
#   scripts/test.sh          normal build (build/)
#   scripts/test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
bash scripts/setup.sh --test
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
