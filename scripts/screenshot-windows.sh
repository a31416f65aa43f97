#!/usr/bin/env bash
# Regenerates docs/history-window.png and docs/batch-window.png on the test
# server (scripts/test-server, so run as root), on a virtual 96-dpi display.
# The program starts in a scratch working directory whose settings file
# points at that server (written as scripts/run.sh writes the demo's); then,
# with xdotool, on the image tab: AB10001 and Enter in the yellow code field,
# a source picture's path and Enter in the file field, "Set crop marks" and
# two corners, "Put it" and OK to "Replace existing image?". Once the
# server's AB10001.jpg is the new picture, Ctrl+H opens the History window
# (the replace, with a thumbnail of the picture it took off the server),
# which is captured and closed. Then Ctrl+B opens the batch window; a folder
# of photos named by the sample shop's codes is typed into its folder field
# and looked up, and the window is captured with the table, before anything
# is put. Each capture is the window alone, without window-manager
# decorations. Arguments name other output files than the two above
# (history first, then batch). The server is stopped at the end.
# Needs a built program (scripts/build.sh) and what scripts/install-deps.sh
# installs (xvfb, xdotool, ImageMagick).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${FRAMLA_BUILD_DIR:-$top/build}"
history_out="${1:-$top/docs/history-window.png}"
batch_out="${2:-$top/docs/batch-window.png}"

shot_name=screenshot-windows
# shellcheck source=scripts/screenshot-common.sh
. "$top/scripts/screenshot-common.sh"
on_virtual_display "$0" "$@"
make_work
start_test_server
convert -size 800x600 plasma: "$work/photo.jpg"

# The folder for the batch window: photos named by the sample shop's codes,
# each a picture of its own. AB10004 has no picture yet (put); ab12 is
# AB---12, which has one (skipped: replacing is not chosen); AB10001 twice
# gives one picture two ways (both refused); AB10002's picture was put by
# the web upload (refused); IMG_0042 gives no code.
photos="$work/delivery"
mkdir "$photos"
n=0
for name in AB10004.jpg ab12.jpg AB10001.jpg "AB10001 (2).jpg" AB10002.jpg IMG_0042.jpg; do
    n=$((n + 1))
    convert -size 400x300 "gradient:#$(printf '%02x' $((40 * n)))a0c0-navy" "$photos/$name"
done

picture="$(fact FRAMLA_TEST_DBPATH)/images/AB/AB10001.jpg"
before=$(sha256sum < "$picture")

start_program

# The visible window with this exact title (waits up to 30 s).
find_window() {
    timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1
}

# Points in the main window, from the image tab's layout (the page lies 28
# pixels below the window's top edge): the code field, the file field, "Set
# crop marks", two corners inside the picture on the source view, "Put it".
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
settle
click 455 372
xdotool type --delay 50 AB10001
xdotool key Return
settle
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
click 550 372
# "Replace existing image?" has Cancel for its default button: Shift+Tab
# takes the focus to OK, Space presses it.
box=$(find_window 'Confirm replace:') || die "no question about replacing AB10001's picture"
settle "$box" 1 "0,0 0,0"
xdotool windowfocus --sync "$box"
xdotool key shift+Tab
sleep 0.3
xdotool key space
for _ in $(seq 120); do
    [ "$(sha256sum < "$picture")" != "$before" ] && break
    sleep 0.5
done
[ "$(sha256sum < "$picture")" != "$before" ] || die "the put did not reach the server"
# The upload fetches the picture back and asks the server again before it
# journals the outcome; the window then shows what the server holds.
settle "$window" 3

# The History window, with the focus in the journal below its rows (not in
# the code field, whose cursor blinks; no row selected).
click 455 372
xdotool key ctrl+h
history=$(find_window History) || die "Ctrl+H opened no History window"
settle "$history" 1 "52,11 322,33"
xdotool mousemove --window "$history" 400 250 click 1
settle "$history" 1 "52,11 322,33"
capture "$history" "$history_out"
xdotool windowfocus --sync "$history"
xdotool key Escape
settle

# The batch window: the folder's path in its folder field (the window's
# top left), then Tab to "Look up" (past "Folder...", "Replace pictures
# on file", Bright, Gamma and Contrast) and Space.
click 455 372
xdotool key ctrl+b
batch=$(find_window 'File a folder of photos') || die "Ctrl+B opened no batch window"
settle "$batch" 1 "12,11 404,33"
xdotool mousemove --window "$batch" 100 20 click 1
xdotool type --delay 20 "$photos"
xdotool key Tab Tab Tab Tab Tab Tab
sleep 0.3
xdotool key space
# The look-ups run in the background; the table is filled once they are
# done: the first row's file name (below the header, right of the
# thumbnail) is no longer blank.
filled=0
for _ in $(seq 120); do
    sleep 0.5
    import -window "$batch" "$work/shot.ppm"
    filled=$(convert "$work/shot.ppm" -crop 90x30+84+68 +repage \
        -format '%[fx:standard_deviation>0.02]' info:)
    [ "$filled" = 1 ] && break
done
[ "$filled" = 1 ] || die "the batch window's table stayed empty"
settle "$batch" 1 "12,11 404,33"
capture "$batch" "$batch_out"
