#!/usr/bin/env bash
# Builds the engine, window and start-up tests with ThreadSanitizer in build-tsan and runs
# them; any data race or lock-order finding fails the run. Not part of scripts/test.sh: the
# instrumented build and the slower runs take several times as long as the sanitizer suite.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
targets=(engine_tests engine_processing_tests engine_fault_tests config_server_tests
         ui_tests ui_window_tests ui_dialog_tests ui_prompts_tests tvr aseemu)
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTVR_WERROR=ON -DTVR_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_C_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build-tsan -j "$jobs" --target "${targets[@]}"
cd build-tsan
export QT_QPA_PLATFORM=offscreen
export TVR_BIN_DIR="$PWD/bin" TVR_SOURCE_DIR="$(cd .. && pwd)"
# Qt's own lock-free structures (QBasicAtomic, the event dispatcher's wake-up) are not built
# with ThreadSanitizer and show as races inside Qt's libraries; only those are suppressed.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$TVR_SOURCE_DIR/tests/tsan.supp"
start=$SECONDS
for test in engine_tests engine_processing_tests engine_fault_tests config_server_tests \
            ui_tests ui_window_tests ui_dialog_tests ui_prompts_tests; do
    echo "== $test"
    "bin/$test" --gtest_brief=1
done
echo "ThreadSanitizer runs took $((SECONDS - start)) s"
