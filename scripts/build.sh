#!/usr/bin/env bash
# Builds one flavour into build/<flavour>: plain (application, tests, benchmarks),
# address or thread (the tests that need no display, under that sanitizer), fuzz (clang).
set -euo pipefail
cd "$(dirname "$0")/.."

flavour="${1:-plain}"
shift || true
jobs="${QUILLBANK_JOBS:-$(nproc)}"
dir="build/$flavour"

case "$flavour" in
    plain)   options=(-DQUILLBANK_SANITIZER=) ;;
    address) options=(-DQUILLBANK_SANITIZER=address -DQUILLBANK_BUILD_APP=OFF -DQUILLBANK_BUILD_BENCH=OFF) ;;
    thread)  options=(-DQUILLBANK_SANITIZER=thread -DQUILLBANK_BUILD_APP=OFF -DQUILLBANK_BUILD_BENCH=OFF) ;;
    fuzz)    options=(-DQUILLBANK_SANITIZER=address -DQUILLBANK_BUILD_APP=OFF -DQUILLBANK_BUILD_BENCH=OFF
                      -DQUILLBANK_BUILD_TESTS=OFF -DQUILLBANK_BUILD_FUZZ=ON
                      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac

# The framework's sources are the same for every checkout; a compiler cache shares them.
if command -v ccache > /dev/null; then
    export CCACHE_NOHASHDIR=1 CCACHE_BASEDIR="$PWD"
    options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

mkdir -p build
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$jobs" "$@"
