#!/usr/bin/env bash
# Builds Framla and runs every test suite (unit, gui, e2e, fuzz) with CTest.
# Extra arguments go to ctest, e.g. `scripts/test.sh -L unit`.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh"
build="${FRAMLA_BUILD_DIR:-$top/build}"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@" </dev/null
