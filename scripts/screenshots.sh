#!/usr/bin/env bash
# Regenerates docs/image-tab.png and docs/settings-tab.png: the program on a
# virtual 96-dpi display, started in a scratch working directory with a
# settings file for a shop database at /home/jewel, each tab page captured as
# the window shows it (600 x 400, without window-manager decorations).
# Needs a built program (scripts/build.sh) and what scripts/install-deps.sh
# installs (xvfb, xdotool, ImageMagick's import).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${FRAMLA_BUILD_DIR:-$top/build}"
docs="$top/docs"

shot_name=screenshots
# shellcheck source=scripts/screenshot-common.sh
. "$top/scripts/screenshot-common.sh"
on_virtual_display "$0" "$@"
make_work
# A settings file as the program writes it; plain port and password read
# back as they are. Nothing is looked up at start without a start code.
write_settings shop.example 22 /home/jewel clerk secret
start_program

# Captures the window (in place of the shared capture, which cuts the
# window out of the whole screen) once its picture has stopped changing (and
# differs from the picture given, if any): two grabs in a row alike, within
# five seconds. PPM grabs carry no time stamps, so alike grabs are equal
# files.
capture() {
    local out=$1 before=${2:-} previous='' now
    for _ in $(seq 50); do
        import -window "$window" "$work/shot.ppm"
        now=$(sha256sum < "$work/shot.ppm")
        [ "$now" = "$previous" ] && [ "$now" != "$before" ] && break
        previous=$now
        sleep 0.1
    done
    mkdir -p "$docs"
    convert "$work/shot.ppm" -strip "$out"
    shown=$now
    echo "screenshots: wrote $out"
}

capture "$docs/image-tab.png"
# The settings tab's header takes the right quarter of the header row along
# the top of the pages (28 pixels below the window's top edge).
xdotool mousemove --window "$window" 520 39 click 1
capture "$docs/settings-tab.png" "$shown"
