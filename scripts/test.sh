#!/usr/bin/env bash
# Installs what is needed, checks the C++ files' layout against .clang-format, builds the plain,
# AddressSanitizer and ThreadSanitizer flavours and runs the whole test suite: every test of the
# plain build (the ones with windows under Xvfb), the end-to-end show runs on their own, the tests
# that need no display under both sanitizers and the in-process window tests under the address
# sanitizer too, a bounded fuzz run of the settings reader, and the 10-minute soak run, which runs
# in the background while the sanitizer flavours build. Fails on any failure, sanitizer report or
# file that clang-format would change.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install.sh

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"

status=0
started=$SECONDS
stage() { echo "== $1 ($((SECONDS - started)) s)"; }

stage "format check"
bash scripts/check-format.sh || status=1

stage "plain build"
bash scripts/build.sh plain

# The show runs and the soak run measure real time: each runs with no other test beside it and
# with cores left free, and each keeps its own log, so that every run prints their figures.
stage "plain: unit, window and program tests (windows under Xvfb)"
bash scripts/with-display.sh ctest --test-dir build/plain --output-on-failure -LE "soak|e2e" -j4 || status=1

stage "plain: the show runs, four at a time"
showLog="build/plain/shows.log"
if ! bash scripts/with-display.sh ctest --test-dir build/plain -L e2e -j4 -V > "$showLog" 2>&1; then
    status=1
    cat "$showLog"
fi
grep -E "^[0-9]+: \[show" "$showLog" || true
grep -E "tests passed|tests failed" "$showLog" || true

stage "soak run started in the background"
soakLog="build/plain/soak.log"
bash scripts/with-display.sh ctest --test-dir build/plain -L soak -V > "$soakLog" 2>&1 &
soak=$!

# The builds yield to the soak run's real-time threads.
stage "address and undefined-behaviour sanitizers"
nice -n 10 bash scripts/build.sh address
bash scripts/with-display.sh ctest --test-dir build/address --output-on-failure -L "unit|gui" || status=1

stage "thread sanitizer"
nice -n 10 bash scripts/build.sh thread
setarch "$(uname -m)" -R ctest --test-dir build/thread --output-on-failure -L unit || status=1

stage "fuzzing the settings reader"
bash scripts/fuzz.sh 60 || status=1

stage "waiting for the soak run"
if wait "$soak"; then
    grep -E "^[0-9]+: \[soak\]" "$soakLog" || true
else
    status=1
    cat "$soakLog"
fi

stage "done"
exit $status
