#!/usr/bin/env bash
# Installs the Debian 12 packages Framla needs to build, run and test.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libqt6sql6-sqlite
    # the server program's table library
    libxbase64-dev
    # metafile rendering
    libemf2svg-dev
    # the tools the program runs
    imagemagick putty-tools
    # the webcam capture tool reads cameras (and its synthetic test camera) through ffmpeg
    ffmpeg
    # the faces that stand in for Arial, Times New Roman and Courier (New):
    # Liberation Sans, Serif and Mono have the same advance widths, so the
    # window's captions fit their boxes as they were laid out
    fonts-liberation
    # fuzz targets: clang with libFuzzer and the sanitizers (clang 16: the
    # code needs std::source_location, which clang 14 cannot compile)
    clang-16 libclang-rt-16-dev
    # the format test: every C++ file as clang-format 16 writes it
    clang-format-16
    # packages: cpack's dependency scan (dpkg-shlibdeps)
    dpkg-dev
    # tests: a real SSH server, a virtual display and screenshots
    openssh-server xvfb xauth x11-utils xdotool procps
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: these packages are missing and need root: ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
