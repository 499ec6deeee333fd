#!/bin/sh
# Takes a screenshot of the program's main window on a virtual X display: starts Xvfb, runs
# build/bin/tvr (or the program given) on it with a scratch registry and Open Client folder,
# waits for the window, and writes the whole screen to a PNG file.
#
#   scripts/screenshot.sh [program] [output.png]
#
# Needs Xvfb, xwd, xwininfo and ImageMagick's convert (Debian xvfb, x11-apps, x11-utils,
# imagemagick); the build and the tests do not.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/bin/tvr}
output=${2:-$root/screenshot.png}
display=:$((90 + $$ % 9))
scratch=$(mktemp -d)
trap 'kill $app $xvfb 2>/dev/null || true; rm -rf "$scratch"' EXIT INT TERM

Xvfb "$display" -screen 0 800x700x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do xwininfo -display "$display" -root >/dev/null 2>&1 && break; sleep 0.1; done

mkdir -p "$scratch/sybase/ini" "$scratch/runtime"
chmod 700 "$scratch/runtime"
DISPLAY=$display QT_QPA_PLATFORM=xcb SYBASE=$scratch/sybase XDG_RUNTIME_DIR=$scratch/runtime \
    TVR_REGISTRY=$scratch/registry.reg "$program" >"$scratch/tvr.log" 2>&1 &
app=$!
for _ in $(seq 100); do
    xwininfo -display "$display" -root -tree 2>/dev/null | grep -q 'Travenor(TVR)' && break
    sleep 0.1
done
sleep 1  # let it paint
xwd -display "$display" -root -silent | convert xwd:- "$output"
echo "screenshot: $output"
