#!/usr/bin/env bash
# A picture of the program at work: the demo runs on a virtual X display (Xvfb, which has no
# tray, so the window of the unattended start comes up), and after SECONDS seconds the screen
# is saved to FILE; then the program is ended and the demo finishes with its comparison.
#   scripts/demo-screenshot.sh [FILE] [SECONDS]     (default build/demo-screenshot.png, 45)
# Installs xvfb and imagemagick for its own use when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
file=$(realpath -m "${1:-build/demo-screenshot.png}")
seconds=${2:-45}

missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v import >/dev/null || missing+=(imagemagick)
if ((${#missing[@]})); then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1100x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
demo=""
cleanup() {
  [[ -z $demo ]] || kill "$demo" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

mkdir -p build
DISPLAY=$display ./scripts/demo.sh >build/demo-screenshot.log 2>&1 &
demo=$!
# The program is up once the demo has started it; the picture is taken a while later.
tvr=""
for _ in $(seq 1800); do
  tvr=$(ps -o pid=,args= --ppid "$demo" | awk '$2 ~ /\/bin\/tvr$/ { print $1 }' || true)
  [[ -n $tvr ]] && break
  kill -0 "$demo" 2>/dev/null || break
  sleep 0.5
done
[[ -n $tvr ]] || {
  cat build/demo-screenshot.log >&2
  exit 1
}
sleep "$seconds"
DISPLAY=$display import -window root "$file"
kill "$tvr"
wait "$demo" || true
demo=""
tail -n 3 build/demo-screenshot.log
echo "Screenshot: $file"
