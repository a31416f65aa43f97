#!/usr/bin/env bash
# Builds Framla and starts it in its working directory (~/.local/share/framla
# unless FRAMLA_WORKDIR says otherwise). Arguments go to the program:
# settings file stem, start inventory code, start account number.
#
# When nothing else is configured (no Framla.cfg of the operator's own in the
# working directory) and we run as root, a demo server is started first: a
# real SSH server on 127.0.0.1 with the sample shop database and framaid
# (scripts/test-server), and the program is pointed at it. It is stopped when
# the program ends, or, when the run was killed, at the next start of this
# script. FRAMLA_DEMO=off never starts it. The demo's description
# box says which code to try, and Find opens on sample photos
# (sample-photos/ in the working directory); on a machine without a webcam,
# Capture takes a synthetic one.
#
# Settings the demo wrote, or the program saved for the demo's server, stay
# the demo's: the next run starts a fresh demo server and points them at it.
# Settings for any other server are never touched. Ending this script (Ctrl+C,
# SIGTERM, or SIGHUP when its terminal closes) ends the program with it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# Only what a run needs: the program, the capture tool, and framaid and the
# sample shop's maker for the demo. scripts/test.sh builds everything else.
echo "run: building the program, the capture tool and framaid" \
    "(the first run takes a few minutes)" >&2
"$top/scripts/build.sh" framla commandcam framaid make_sample
build="${FRAMLA_BUILD_DIR:-$top/build}"
work="${FRAMLA_WORKDIR:-${XDG_DATA_HOME:-$HOME/.local/share}/framla}"
# The working directory holds the settings file with the server's password:
# one made here is for the operator's account alone; one that is there
# already keeps the mode its owner gave it. Folders above it are ordinary ones.
# shellcheck disable=SC2174
[ -d "$work" ] || mkdir -p -m 700 -- "$work"
cd "$work"
# The webcam tool is built with the program.
export PATH="$build/tools/commandcam:$PATH"

program=("$build/app/framla" "$@")
# --help and --version print a text and end: they need no display.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] &&
    ! [[ $# -eq 1 && "$1" =~ ^(--help|-h|--version)$ ]]; then
    echo "run: no display found; starting on a virtual display (xvfb-run)" >&2
    program=(xvfb-run -a -s "-screen 0 1280x1024x24" "${program[@]}")
fi

# The program runs in a session of its own, beside this script: a signal that
# ends the script first closes the window as the operator would (and with it
# the virtual display), then the demo server goes. A program still held up
# after ten seconds (a message box open) is ended outright.
child=""
alive() { # a process that is gone, or a zombie, counts as ended
    local state
    state=$(sed -E 's/^.*\) ([A-Z]).*/\1/' "/proc/$1/stat" 2>/dev/null) && [ "$state" != Z ] && [ "$state" != X ]
}
stop_program() {
    trap '' TERM INT HUP
    [ -n "$child" ] || exit 143
    pkill -TERM -s "$child" -x framla || kill -TERM -- "-$child" 2>/dev/null || true
    local i
    for i in $(seq 100); do alive "$child" || return 0; sleep 0.1; done
    kill -KILL -- "-$child" 2>/dev/null || true
}
trap stop_program TERM INT HUP
run_program() {
    # Started from this non-interactive script, the child leads no process
    # group, so setsid makes it the leader of a new session without forking.
    setsid "${program[@]}" &
    child=$!
    local status=0
    wait "$child" || status=$?
    # A signal ends the first wait early, while the program is still closing.
    while alive "$child"; do wait "$child" || status=$?; done
    return "$status"
}

cfg="$work/Framla.cfg"
demo="$work/demo-server"
marker="$work/.demo-settings" # the address, database and account of the demo's settings
# A value of the settings file: the line after its tag, as the program reads
# it (the port and the password are scrambled once the program saves them).
setting() {
    LC_ALL=C awk -v tag="[$1]" '{ sub(/\r$/, "") } found { print; exit } toupper($0) == toupper(tag) { found = 1 }' "$cfg"
}
where() { printf '%s\n' "$(setting Address)" "$(setting Datapath)" "$(setting Username)"; }
# The demo's settings, whether as the demo wrote them or as the program saved
# them; an older demo recorded the checksum of the file it wrote.
ours() {
    [ -e "$marker" ] && { [ "$(where)" = "$(cat "$marker")" ] || [ "$(sha256sum < "$cfg")" = "$(cat "$marker")" ]; }
}
# Which run a demo server belongs to: the run script's pid and start time (a
# reused pid has another start time; a run that is gone, or a zombie, none).
runner() {
    echo "$1 $(sed -E 's/^.*\) //' "/proc/$1/stat" 2>/dev/null | awk '$1 !~ /^[ZX]$/ { print $20 }')"
}
# A demo whose run was killed outright still has its account and password
# login: it is ended at every start, whether or not this run starts a demo.
# One whose run is still going is left alone.
if [ -e "$demo/server.env" ]; then
    owner=$(cat "$demo/runner" 2>/dev/null || true)
    if [ -z "$owner" ] || [ "$(runner "${owner%% *}")" != "$owner" ]; then
        rm -f "$demo/runner"
        "$top/scripts/test-server" stop "$demo" >/dev/null 2>&1 ||
            echo "run: the demo server left in $demo by an earlier run could not be stopped" >&2
    fi
fi
if [ "${FRAMLA_DEMO:-auto}" != off ] && [ $# -eq 0 ] && [ "$(id -u)" -eq 0 ] &&
    { [ ! -e "$cfg" ] || ours; }; then
    export FRAMLA_BIN_DIR="$build"
    [ -e "$demo/server.env" ] && "$top/scripts/test-server" stop "$demo" >/dev/null 2>&1 || true
    mkdir -p "$demo"
    runner $$ > "$demo/runner"
    trap 'rm -f "$demo/runner"; "$top/scripts/test-server" stop "$demo" >/dev/null 2>&1 || true' EXIT
    "$top/scripts/test-server" start "$demo"
    fact() { sed -n "s/^$1=//p" "$demo/server.env" | head -n 1; }
    # The settings file as the program writes it; a plain port and password
    # read back as they are.
    rm -f "$cfg"
    (umask 077 && printf '%s\r\n' "Configuration file for 'Framla'." "Framla is an image filing clerk for" \
        "The Jewellery Tillsmith (Plus)." "" "[Address]" "$(fact FRAMLA_TEST_HOST)" "" \
        "[Port]" "$(fact FRAMLA_TEST_PORT)" "" "[Datapath]" "$(fact FRAMLA_TEST_DBPATH)" "" \
        "[Username]" "$(fact FRAMLA_TEST_USER)" "" "[Password]" "$(fact FRAMLA_TEST_PASSWORD)" \
        "" "(end of parameter file)" > "$cfg")
    where > "$marker"
    export PUTTYDIR
    PUTTYDIR=$(fact PUTTYDIR)
    # What a newcomer tries first: the description box names a code of the
    # sample shop, and Find opens on a few product photos to file.
    export FRAMLA_DEMO_CODE=AB12 FRAMLA_PHOTOS="$work/sample-photos"
    # Without a webcam, Capture takes the capture tool's synthetic camera.
    compgen -G '/dev/video*' >/dev/null || export FRAMLA_COMMANDCAM_SYNTHETIC=1
    if [ ! -d "$FRAMLA_PHOTOS" ]; then
        mkdir -p "$FRAMLA_PHOTOS"
        "$build/framaid/make_sample" --photos "$FRAMLA_PHOTOS" ||
            echo "run: the sample photos could not be made" >&2
    fi
    echo "run: demo server on $(fact FRAMLA_TEST_HOST):$(fact FRAMLA_TEST_PORT)," \
        "database $(fact FRAMLA_TEST_DBPATH)" >&2
    run_program
    exit $?
fi
run_program
