#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
# The program refuses to start without an Open Client folder; a machine without one gets
# an empty folder of the build's own.
if [[ -z "${SYBASE:-}" ]]; then
  export SYBASE="$PWD/build/demo/sybase"
  mkdir -p "$SYBASE"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: running the window on Qt's offscreen platform for a few seconds."
  QT_QPA_PLATFORM=offscreen timeout 5 ./build/bin/tvr || [[ $? -eq 124 ]]
else
  exec ./build/bin/tvr
fi
