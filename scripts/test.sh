#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and a Release tree beside it, warnings as errors in both, and runs
# every test in the sanitizer build. Any sanitizer finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/check-format.sh
jobs="$(nproc)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTVR_SANITIZE=ON -DTVR_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
# The optimiser reports warnings and errors a Debug build never shows, and users pick Release:
# its tree is built with the tests compiled, which run once, in the sanitizer build.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTVR_WERROR=ON >/dev/null
cmake --build build-release -j "$jobs"
cd build-asan
ctest --output-on-failure -j "$jobs" --timeout 600
