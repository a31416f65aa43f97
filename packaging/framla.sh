#!/bin/sh
# /usr/bin/framla: starts Framla in the operator's own working directory,
# where it keeps its settings file, its options and its working files
# (~/.local/share/framla, or $FRAMLA_WORKDIR). The directory is made private
# (0700) when it is made: the settings file holds the server password.
# Arguments go to the program: settings file stem, start inventory code,
# start account number; --help and --version as well.
set -eu
# The launcher's own directory, found before the working directory is
# entered: $0 may be a path relative to where it was started
# (cd /usr/bin && ./framla).
here=$(dirname "$(readlink -f "$0")")
work="${FRAMLA_WORKDIR:-${XDG_DATA_HOME:-$HOME/.local/share}/framla}"
if [ ! -d "$work" ]; then
    mkdir -p "$(dirname "$work")"
    mkdir -m 700 "$work"
fi
cd "$work"
exec "$here/../lib/framla/framla" "$@"
