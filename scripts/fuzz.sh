#!/usr/bin/env bash
# Builds the fuzz flavour and runs the settings reader's fuzz target for a bounded time
# (seconds as the first argument, 60 by default) on a copy of the seed corpus in the build
# folder: the parser, and the names it reads converted to the framework's text and matched
# against device names as the reader does. Fails on any crash, hang, excessive memory use or
# sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
dir="build/fuzz"

bash scripts/build.sh fuzz

corpus="$dir/corpus/settings"
artifacts="$dir/artifacts/settings/"
rm -rf "$corpus" "$artifacts"
mkdir -p "$corpus" "$artifacts"
cp fuzz/corpus/settings/* "$corpus/"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# The run's progress goes to a log; the summary, or the whole end of the log on a failure, is shown.
log="$dir/fuzz.log"

if ! "$dir/fuzz/settings_reader_fuzz" \
    -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts" "$corpus" > "$log" 2>&1; then
    tail -n 60 "$log"
    exit 1
fi

grep -E "INITED|DONE|^Done|stat::number_of_executed_units|stat::peak_rss_mb" "$log"
