#!/usr/bin/env bash
# shellcheck disable=SC2119 # settle is called without arguments: the defaults fit
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

shot_name=screenshot-lookup
# shellcheck source=scripts/screenshot-common.sh
. "$top/scripts/screenshot-common.sh"
on_virtual_display "$0" "$@"
make_work
start_test_server
convert -size 800x600 plasma: "$work/photo.jpg"
start_program

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
    settle "$window" 1 "200,323 605,347" # the focus stays in the file field
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

capture "$window" "$out"
