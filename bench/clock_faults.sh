#!/usr/bin/env bash
# Runs the MTC timing benchmark under the two clock faults that MTC must survive:
#   wrap   the monotonic clock one hour past 2^32 ms (49.7 days of uptime), in a time namespace;
#   steps  the wall clock stepped forward and back by 2 s every 3 s, by libfaketime, while the
#          monotonic clock runs untouched.
# Usage: bench/clock_faults.sh wrap|steps [benchmark program, default build/plain/bench/mtc_timing]
# Needs root for the time namespace and the Debian packages faketime and libfaketime.
set -euo pipefail

mode="${1:?usage: $0 wrap|steps [benchmark]}"
bench="$(realpath "${2:-$(dirname "$0")/../build/plain/bench/mtc_timing}")"

case "$mode" in
    wrap)
        # The offset moves CLOCK_MONOTONIC (and CLOCK_BOOTTIME, which /proc/uptime shows) from
        # where it stands now to 2^32 ms + 1 h.
        offset=$(awk '{ printf "%d", 4294967.296 + 3600 - $1 }' /proc/uptime)
        unshare -T --monotonic "$offset" --boottime "$offset" \
            sh -c 'echo "uptime inside: $(cut -d" " -f1 /proc/uptime) s"; exec "$0"' "$bench"
        ;;
    steps)
        library=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
        [ -r "$library" ] || { echo "libfaketime is not installed" >&2; exit 1; }
        offsets=$(mktemp)
        trap 'kill "$stepper" 2> /dev/null || true; rm -f "$offsets"' EXIT
        echo "+0" > "$offsets"
        ( while sleep 3; do echo "+2" > "$offsets"; sleep 3; echo "+0" > "$offsets"; done ) &
        stepper=$!
        LD_PRELOAD="$library" FAKETIME_TIMESTAMP_FILE="$offsets" FAKETIME_NO_CACHE=1 \
            FAKETIME_DONT_FAKE_MONOTONIC=1 "$bench"
        ;;
    *)
        echo "unknown mode: $mode" >&2
        exit 2
        ;;
esac
