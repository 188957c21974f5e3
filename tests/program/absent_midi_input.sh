#!/usr/bin/env bash
# A MIDI input that the audio device set-up file lists but that is not connected at start stays
# listed when the program writes the file again at exit, also when the saved audio device opens:
# JACK's dummy driver stands in for the show machine's sound card. This machine has no MIDI
# devices, so the listed input is absent, which is the case under test. Two runs: the second
# starts from the file that the first one wrote. Runs under a virtual display.
# Arguments: the application binary, a folder for the logs.
set -euo pipefail

app="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

mkdir -p "$out"
rm -f "$out/app.log" "$out"/audioConfig-*.zems

jackd_pid=""
trap stop_test_processes EXIT
start_dummy_jack "quillbank-test-$$" "$out/jackd.log"

export HOME="$out/home"
rm -rf "$HOME"
folder="$HOME/Documents/ZEM/Quillbank"
mkdir -p "$folder"
setup="$folder/audioConfig.zems"
printf '%s\r\n' '<?xml version="1.0" encoding="UTF-8"?>' '' \
    '<DEVICESETUP deviceType="JACK" audioOutputDeviceName="" audioInputDeviceName="system">' \
    '  <MIDIINPUT name="Stage Keys MIDI 1" identifier="stage-keys-20-0"/>' \
    '</DEVICESETUP>' > "$setup"

input_port="ZEM Quillbank:in_1"

jack_input_open()
{
    jack_lsp 2> /dev/null | grep -qx "$input_port"
}

for run in 1 2; do
    start_app "$app" "$out" keep-home
    # The saved device opened: the program is a JACK client with its one input.
    wait_until 10 jack_input_open || fail "run $run: the saved JACK device did not open: $(jack_lsp | tr '\n' ' ')"
    wmctrl -i -c "$window"
    wait_for_exit 5
    [ "$exit_code" = 0 ] || fail "run $run: the application ended with $exit_code"
    cp "$setup" "$out/audioConfig-run$run.zems"

    # Rewritten by the framework from the open device (it names the device's rate only then),
    # with the absent input still listed.
    grep -q 'deviceType="JACK"' "$setup" && grep -q 'audioInputDeviceName="system"' "$setup" \
        && grep -q 'audioDeviceRate="48000' "$setup" \
        || fail "run $run: the set-up file was not written from the open JACK device: $(cat "$setup")"
    [ "$(grep -c '<MIDIINPUT' "$setup")" = 1 ] \
        && grep -q '<MIDIINPUT name="Stage Keys MIDI 1" identifier="stage-keys-20-0"/>' "$setup" \
        || fail "run $run: the absent MIDI input is no longer listed: $(cat "$setup")"
done

echo "absent MIDI input: passed"
