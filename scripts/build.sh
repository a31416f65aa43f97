#!/usr/bin/env bash
# scripts/build.sh [TARGET...]
# Installs what is missing, then configures and builds Framla in build/:
# everything, or only the targets named (scripts/run.sh names what it runs).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
build="${FRAMLA_BUILD_DIR:-$top/build}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" ${1:+--target "$@"}
