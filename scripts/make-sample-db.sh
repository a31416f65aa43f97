#!/usr/bin/env bash
# scripts/make-sample-db.sh DEST
# Writes the sample shop database (tables, images/, jtemp/, shuttle/,
# framaid.conf, framla.ok) into DEST. Uses make_sample from the build
# directory ($FRAMLA_BIN_DIR, else $FRAMLA_BUILD_DIR, else build/), building
# it there first when it is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:?usage: make-sample-db.sh DEST}
bin="${FRAMLA_BIN_DIR:-${FRAMLA_BUILD_DIR:-$top/build}}"
exe="$bin/framaid/make_sample"
if [ ! -x "$exe" ]; then
    cmake --build "$bin" --target make_sample >&2
fi
exec "$exe" "$dest"
