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

if [ -z "${FRAMLA_SCREENSHOT_DISPLAY:-}" ]; then
    export FRAMLA_SCREENSHOT_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" "$@"
fi

work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A settings file as the program writes it; plain port and password read
# back as they are. Nothing is looked up at start without a start code.
printf '%s\r\n' "Configuration file for 'Framla'." "Framla is an image filing clerk for" \
    "The Jewellery Tillsmith (Plus)." "" "[Address]" "shop.example" "" "[Port]" "22" "" \
    "[Datapath]" "/home/jewel" "" "[Username]" "clerk" "" "[Password]" "secret" "" \
    "(end of parameter file)" > "$work/Framla.cfg"

cd "$work"
"$build/app/framla" > "$work/framla.log" 2>&1 &
pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Framla by Tillsmith Solutions CC$' |
    head -n 1)

# Captures the window once its picture has stopped changing (and differs
# from the picture given, if any): two grabs in a row alike, within five
# seconds. PPM grabs carry no time stamps, so alike grabs are equal files.
capture() {
    local out=$1 before=${2:-} previous= now
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
