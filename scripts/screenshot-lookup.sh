#!/usr/bin/env bash
# Regenerates docs/image-tab-lookup.png: the image tab after a look-up on the
# test server (scripts/test-server, so run as root), on a virtual 96-dpi
# display. The program starts in a scratch working directory whose settings
# file points at that server (written as scripts/run.sh writes the demo's);
# then, with xdotool: AB10001 and Enter in the yellow code field, a source
# picture's path and Enter in the file field, "Set crop marks" and two corners
# on the source view. The screen is captured and cropped to the 600 x 400
# window; an argument names another output file than the one above. The
# server is stopped at the end.
# Needs a built program (scripts/build.sh) and what scripts/install-deps.sh
# installs (xvfb, xdotool, ImageMagick).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${FRAMLA_BUILD_DIR:-$top/build}"
out="${1:-$top/docs/image-tab-lookup.png}"

if [ -z "${FRAMLA_SCREENSHOT_DISPLAY:-}" ]; then
    export FRAMLA_SCREENSHOT_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" "$@"
fi

work=$(mktemp -d /tmp/framla-shot.XXXXXX)
chmod 700 "$work"
server="$work/server"
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    [ -e "$server/server.env" ] && "$top/scripts/test-server" stop "$server" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

export FRAMLA_BIN_DIR="$build"
"$top/scripts/test-server" start "$server"
fact() { sed -n "s/^$1=//p" "$server/server.env" | head -n 1; }
export PUTTYDIR
PUTTYDIR=$(fact PUTTYDIR)
(umask 077 && printf '%s\r\n' "Configuration file for 'Framla'." "Framla is an image filing clerk for" \
    "The Jewellery Tillsmith (Plus)." "" "[Address]" "$(fact FRAMLA_TEST_HOST)" "" \
    "[Port]" "$(fact FRAMLA_TEST_PORT)" "" "[Datapath]" "$(fact FRAMLA_TEST_DBPATH)" "" \
    "[Username]" "$(fact FRAMLA_TEST_USER)" "" "[Password]" "$(fact FRAMLA_TEST_PASSWORD)" \
    "" "(end of parameter file)" > "$work/Framla.cfg")
convert -size 800x600 plasma: "$work/photo.jpg"

cd "$work"
"$build/app/framla" > "$work/framla.log" 2>&1 &
pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Framla by Tillsmith Solutions CC$' |
    head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")" # X Y WIDTH HEIGHT

# Waits until the window's picture has held still for a second (at most 30 s).
settle() {
    local previous= now
    for _ in $(seq 60); do
        sleep 0.5
        import -window "$window" "$work/shot.ppm"
        now=$(sha256sum < "$work/shot.ppm")
        [ "$now" = "$previous" ] && return 0
        previous=$now
    done
}

# Points in the window, from the image tab's layout (the page lies 28 pixels
# below the window's top edge): the code field, the file field, "Set crop
# marks" and two corners inside the picture on the source view.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
look_up() {
    click 455 372
    xdotool type --delay 50 AB10001
    xdotool key Return
    settle
}
source_and_crop() {
    click 400 335
    xdotool type --delay 20 "$work/photo.jpg"
    xdotool key Return
    settle
    click 63 311
    sleep 0.5
    click 70 110
    sleep 0.5
    click 230 250
    settle
}
# The recorded picture and the preview share the small view on the right:
# what comes last is shown there. FRAMLA_SHOT_ORDER=lookup-last shows the
# recorded picture instead of the preview.
settle
if [ "${FRAMLA_SHOT_ORDER:-}" = lookup-last ]; then
    source_and_crop
    look_up
else
    look_up
    source_and_crop
fi

mkdir -p "$(dirname "$out")"
import -window root "$work/root.ppm"
convert "$work/root.ppm" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "$out"
echo "screenshot-lookup: wrote $out (${WIDTH}x${HEIGHT} at $X,$Y)"
