#!/usr/bin/env bash
# Builds the tests where threads meet (the worker, the window and its dialogs, the program's
# start, the engine's passes and faults, the whole program as a process) with ThreadSanitizer
# in build-tsan and runs them; any data race, lock-order or thread-leak finding fails the run.
# Not part of scripts/test.sh: the instrumented tree builds in about as long as the sanitizer
# tree and its tests run several times slower.
#   scripts/tsan.sh            build and run every test binary below
#   scripts/tsan.sh ui_tests   build and run only the named ones (extra arguments after --
#                              go to each binary, e.g. -- --gtest_filter='Window*')
set -euo pipefail
cd "$(dirname "$0")/.."
tests=(engine_tests engine_processing_tests engine_fault_tests config_server_tests
       ui_tests ui_window_tests ui_dialog_tests ui_prompts_tests e2e_tests)
args=()
if (($#)); then
    tests=()
    while (($#)) && [[ "$1" != "--" ]]; do tests+=("$1"); shift; done
    (($#)) && shift
    args=("$@")
fi
jobs="${TVR_JOBS:-2}"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTVR_WERROR=ON -DTVR_BENCH=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_C_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" >/dev/null
start=$SECONDS
# The tests start the program and the emulator as processes: build them instrumented too.
nice -n 5 cmake --build build-tsan -j "$jobs" --target "${tests[@]}" tvr tvr_first_setup aseemu
echo "ThreadSanitizer build took $((SECONDS - start)) s"
cd build-tsan
export QT_QPA_PLATFORM=offscreen
export TVR_BIN_DIR="$PWD/bin" TVR_SOURCE_DIR="$(cd .. && pwd)"
# Every process writes its findings to a file of its own: the program and the emulator the tests
# start report there too, where no test would see them. Every finding of a process is reported
# (not only its first), and the process then exits with 66.
reports="$PWD/tsan-reports"
rm -rf "$reports" && mkdir -p "$reports"
export TSAN_OPTIONS="halt_on_error=0:exitcode=66:second_deadlock_stack=1:history_size=4:log_path=$reports/report:suppressions=$TVR_SOURCE_DIR/tests/tsan.supp"
start=$SECONDS
failed=()
for test in "${tests[@]}"; do
    echo "== $test"
    t=$SECONDS
    if ! "bin/$test" --gtest_brief=1 "${args[@]}"; then failed+=("$test"); fi
    echo "== $test: $((SECONDS - t)) s"
done
echo "ThreadSanitizer runs took $((SECONDS - start)) s"
found=$(cat "$reports"/report.* 2>/dev/null | grep -c '^WARNING: ThreadSanitizer' || true)
if ((found)); then
    cat "$reports"/report.*
    echo "ThreadSanitizer: $found finding(s), in $reports"
fi
if ((${#failed[@]})); then echo "Failed: ${failed[*]}"; fi
((found == 0 && ${#failed[@]} == 0)) || exit 1
echo "ThreadSanitizer: no finding"
