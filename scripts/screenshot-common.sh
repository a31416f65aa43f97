# shellcheck shell=bash disable=SC2154 # top, build and shot_name come from the script
# What the screenshot scripts share, sourced by them after they have set top
# (the source tree), build (the build directory) and shot_name (their name,
# for messages): a virtual 96-dpi display, a scratch working directory with
# a settings file, the test server (scripts/test-server, so run as root),
# the program started there, and waiting for a window to hold still and
# capturing it. Needs what scripts/install-deps.sh installs (xvfb, xdotool,
# ImageMagick).

say() { echo "$shot_name: $*" >&2; }
die() {
    say "$*"
    exit 1
}

# Runs the calling script again on a virtual 96-dpi display unless it
# already runs on one: on_virtual_display "$0" "$@".
on_virtual_display() {
    if [ -z "${FRAMLA_SCREENSHOT_DISPLAY:-}" ]; then
        export FRAMLA_SCREENSHOT_DISPLAY=1
        exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$@"
    fi
}

# Makes a scratch working directory (work), names the test server's
# directory in it (server, made only by start_test_server) and keeps the
# program's process (pid); at the end the program and the server are stopped
# and work is removed.
make_work() {
    work=$(mktemp -d /tmp/framla-shot.XXXXXX)
    chmod 700 "$work"
    server="$work/server"
    pid=
    trap cleanup EXIT
}
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    [ -e "$server/server.env" ] && "$top/scripts/test-server" stop "$server" >/dev/null 2>&1
    rm -rf "$work"
}

# Writes the settings file in work as the program writes it (and
# scripts/run.sh the demo's): address, port, data path, user, password.
write_settings() {
    (umask 077 && printf '%s\r\n' "Configuration file for 'Framla'." \
        "Framla is an image filing clerk for" "The Jewellery Tillsmith (Plus)." "" \
        "[Address]" "$1" "" "[Port]" "$2" "" "[Datapath]" "$3" "" "[Username]" "$4" "" \
        "[Password]" "$5" "" "(end of parameter file)" > "$work/Framla.cfg")
}

# One fact the test server wrote in its server.env.
fact() { sed -n "s/^$1=//p" "$server/server.env" | head -n 1; }

# Starts the test server in server, points the PuTTY tools at its keys and
# writes a settings file for it.
start_test_server() {
    export FRAMLA_BIN_DIR="$build"
    "$top/scripts/test-server" start "$server"
    export PUTTYDIR
    PUTTYDIR=$(fact PUTTYDIR)
    write_settings "$(fact FRAMLA_TEST_HOST)" "$(fact FRAMLA_TEST_PORT)" \
        "$(fact FRAMLA_TEST_DBPATH)" "$(fact FRAMLA_TEST_USER)" "$(fact FRAMLA_TEST_PASSWORD)"
}

# Starts the program in work and waits (up to 30 s) for its main window.
start_program() {
    cd "$work" || exit
    "$build/app/framla" > "$work/framla.log" 2>&1 &
    pid=$!
    window=$(timeout 30 xdotool search --sync --onlyvisible \
        --name '^Framla by Tillsmith Solutions CC$' | head -n 1)
}

# Waits until a window's picture has held still for a second, or for the
# seconds given (at most 30 s in all). The focused line edit's cursor
# blinks: the rectangle given ("x0,y0 x1,y1" in the window) is left out of
# the comparison; by default the main window's code field.
settle() {
    local w=${1:-$window} still=$((2 * ${2:-1})) mask=${3:-398,358 513,386}
    local previous='' now alike=0
    for _ in $(seq 60); do
        sleep 0.5
        import -window "$w" "$work/shot.ppm"
        now=$(convert "$work/shot.ppm" -fill black -draw "rectangle $mask" ppm:- | sha256sum)
        if [ "$now" = "$previous" ]; then
            alike=$((alike + 1))
            [ "$alike" -ge "$still" ] && return 0
        else
            alike=0
        fi
        previous=$now
    done
    say "the window $w did not hold still"
}

# Captures a window as it shows now, at its own size, into the file out.
capture() {
    # getwindowgeometry --shell sets WINDOW, X, Y, WIDTH, HEIGHT and SCREEN.
    # shellcheck disable=SC2034
    local w=$1 out=$2 WINDOW X Y WIDTH HEIGHT SCREEN
    eval "$(xdotool getwindowgeometry --shell "$w")"
    mkdir -p "$(dirname "$out")"
    import -window root "$work/root.ppm"
    convert "$work/root.ppm" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "$out"
    say "wrote $out (${WIDTH}x${HEIGHT} at $X,$Y)"
}
