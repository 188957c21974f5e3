#!/usr/bin/env bash
# The built application on a real audio device: JACK's dummy driver, with LTC from a WAV file
# (written by libltc) played into the application's JACK input. The window must show
# "[Running LTC]" with the running time, and "[Waiting for LTC]" again once the LTC stops.
# Arguments: the application binary, a folder for the screenshots. QUILLBANK_WRITE_LTC_WAV names
# the program that writes the WAV file. Runs under a virtual display.
set -euo pipefail

app="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

writer="${QUILLBANK_WRITE_LTC_WAV:-}"
[ -x "$writer" ] || fail "QUILLBANK_WRITE_LTC_WAV does not name the LTC writer: '$writer'"

mkdir -p "$out"
rm -f "$out"/*.png

jackd_pid=""
play_pid=""

trap stop_test_processes EXIT

"$writer" "$out/ltc.wav" 24 01:00:00:00 20 48000 || fail "could not write the LTC file"

start_dummy_jack "quillbank-test-$$" "$out/jackd.log"

# Input "24 FPS", output "24 FPS", no offset, "Enabled" on.
export HOME="$out/home"
rm -rf "$HOME"
mkdir -p "$HOME/Documents/ZEM/Quillbank"
printf '1\n1\n0\n1\nNo Output\n' > "$HOME/Documents/ZEM/Quillbank/autosave.zems"

"$app" > "$out/app.log" 2>&1 &
app_pid=$!
window=""
for _ in $(seq 1 100); do
    window=$(xdotool search --sync --onlyvisible --pid "$app_pid" --name "^ZEM Quillbank$" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    kill -0 "$app_pid" 2>/dev/null || fail "the application ended at start: $(cat "$out/app.log")"
    sleep 0.1
done
[ -n "$window" ] || fail "no window titled ZEM Quillbank appeared"

input_port="ZEM Quillbank:in_1"
for _ in $(seq 1 50); do
    jack_lsp | grep -qx "$input_port" && break
    sleep 0.1
done
jack_lsp | grep -qx "$input_port" || fail "the application opened no JACK input: $(jack_lsp | tr '\n' ' ')"

# The status reads "[Waiting for LTC]" from the first paint on, since "Enabled" is on.
wait_until 5 window_shows_colour "$window" 250 20 555555 || fail "the main window was not painted"
shot "$out/waiting.png"
crop "$out/waiting.png" 10 45 100 40 "$out/status-waiting.png"
expect_bright_pixels "$out/waiting.png" 10 45 100 40 "status [Waiting for LTC]"

# Whether the region ($2, $3, $4, $5) of a new screenshot, kept as $1, differs from the same region
# of the screenshot $6 (or, with "same" as $7, equals it).
region_compared()
{
    local file="$1" x="$2" y="$3" w="$4" h="$5" reference="$6" want="${7:-differs}"
    shot "$file" 2> /dev/null || return 1
    if pictures_differ "$file[${w}x$h+$x+$y]" "$reference[${w}x$h+$x+$y]"; then
        [ "$want" != same ]
    else
        [ "$want" = same ]
    fi
}

jack_play_connected()
{
    jack_lsp -c > "$out/connections.txt" 2> /dev/null && grep -q "jack-play" "$out/connections.txt"
}

JACK_PLAY_CONNECT_TO="ZEM Quillbank:in_%d" jack-play "$out/ltc.wav" > "$out/jack-play.log" 2>&1 &
play_pid=$!
wait_until 10 jack_play_connected || fail "jack-play is not connected: $(cat "$out/connections.txt")"

region_changed_to_running()
{
    region_compared "$out/running.png" 10 45 100 40 "$out/waiting.png" \
        && [ "$(bright_pixels "$out/running.png" 111 45 389 50)" -gt 5 ]
}
wait_until 10 region_changed_to_running || fail "the status still reads as before the LTC, or no time is shown"
expect_bright_pixels "$out/running.png" 10 45 100 40 "status [Running LTC]"
wait_until 5 region_compared "$out/running-later.png" 111 45 389 50 "$out/running.png" \
    || fail "the time did not move on while the LTC ran"

# LTC gone: the status returns to waiting, as it read before.
kill "$play_pid" 2>/dev/null || true
wait "$play_pid" 2>/dev/null || true
play_pid=""
wait_until 5 region_compared "$out/stopped.png" 10 45 100 40 "$out/waiting.png" same \
    || fail "the status did not return to waiting"

wmctrl -i -c "$window"
wait_for_exit 5
[ "$exit_code" = 0 ] || fail "the application ended with $exit_code"
app_pid=""
echo "jack ltc: passed"
