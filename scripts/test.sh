#!/usr/bin/env bash
# Installs what is needed, builds the plain, AddressSanitizer and ThreadSanitizer flavours and
# runs the whole test suite: every test of the plain build (the ones with windows under Xvfb),
# and the tests that need no display under both sanitizers. Fails on any failure or report.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install.sh

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"

status=0

echo "== plain build"
bash scripts/build.sh plain
echo "== plain: all tests (windows under Xvfb)"
bash scripts/with-display.sh ctest --test-dir build/plain --output-on-failure -LE soak || status=1

echo "== address and undefined-behaviour sanitizers"
bash scripts/build.sh address
ctest --test-dir build/address --output-on-failure -L unit || status=1

echo "== thread sanitizer"
bash scripts/build.sh thread
setarch "$(uname -m)" -R ctest --test-dir build/thread --output-on-failure -L unit || status=1

echo "== fuzzing the settings reader"
bash scripts/fuzz.sh 60 || status=1

exit $status
