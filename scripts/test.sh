#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. Any sanitizer finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTVR_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$(nproc)"
cd build-asan
ctest --output-on-failure -j "$(nproc)" --timeout 600
