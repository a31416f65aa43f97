#!/usr/bin/env bash
# Builds Framla and starts it in its working directory (~/.local/share/framla
# unless FRAMLA_WORKDIR says otherwise). Arguments go to the program:
# settings file stem, start inventory code, start account number.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh"
build="${FRAMLA_BUILD_DIR:-$top/build}"
work="${FRAMLA_WORKDIR:-${XDG_DATA_HOME:-$HOME/.local/share}/framla}"
mkdir -p "$work"
cd "$work"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display found; starting on a virtual display (xvfb-run)" >&2
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$build/app/framla" "$@"
fi
exec "$build/app/framla" "$@"
