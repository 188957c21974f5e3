#!/usr/bin/env bash
# What a user sets survives a restart: the two frame rates, "Enabled" and the frame offset are
# chosen through the controls, the clean quit writes them to the automatic settings file, and the
# next start shows them all again. A second quit without changes writes the same bytes.
# Runs under a virtual display. Arguments: the application binary, a folder for the screenshots.
set -euo pipefail

app="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

mkdir -p "$out"
rm -f "$out"/*.png "$out/app.log" "$out/autosave-first.zems"

# Regions of the main window (x y w h) that show what was chosen.
input_box="135 120 95 24"
output_box="385 120 90 24"
enable_toggle="132 156 105 24"
status="10 45 100 40"
# The slider with its text box on the "Offset" page, below the 30 pixels of the tab bar.
offset_slider="160 80 300 30"

# Whether the region of window $window now differs from the same region of a screenshot.
changed_since()
{
    local reference="$1" x="$2" y="$3" w="$4" h="$5" now="$out/changed-since.png"
    import -window "$window" "$now" 2>/dev/null || return 1
    pictures_differ "$now[${w}x$h+$x+$y]" "$reference[${w}x$h+$x+$y]"
}

open_offset_page()
{
    click_until "$main" 180 212 app_window_shown Preferences || fail "clicking Preferences showed no preferences window"
    wait_for_app_window Preferences 1
    prefs="$found"
    window="$prefs"
    file="$out/$1"
    wait_until 5 shows_tab 0 || fail "the preferences window did not open on its first tab"
    mapfile -t tabs < <(tabs_of "$file")
    [ "${#tabs[@]}" = 4 ] || fail "the tab bar shows ${#tabs[@]} tabs, not 4"
    read -r start end _ <<< "${tabs[2]}"
    click_until "$prefs" $(((start + end) / 2)) 15 shows_tab 2 || fail "the Offset tab did not become the current one"
}

close_preferences()
{
    wmctrl -i -c "$prefs"
    wait_for_effect 5 window_is_unmapped "$prefs" || fail "the preferences window did not close"
    window="$main"
}

quit_cleanly()
{
    wmctrl -i -c "$main"
    wait_for_exit 5
    [ "$exit_code" = 0 ] || fail "the application ended with $exit_code"
}

# First run, from a fresh home: change everything through the controls.
start_app "$app" "$out"
main="$window"
park_pointer
shot "$out/first-start.png"

# The boxes open the framework's popup menu; its items are chosen by their row (see choose_item).
# "29.97 ND" is the fourth of the input box's four items, "30 FPS" the second of the output box's two.
choose_item "$main" 182 132 3 4
wait_for_effect 5 changed_since "$out/first-start.png" $input_box || fail "the input box did not change"
choose_item "$main" 430 132 1 2
wait_for_effect 5 changed_since "$out/first-start.png" $output_box || fail "the output box did not change"
click_until "$main" 150 168 changed_since "$out/first-start.png" $enable_toggle || fail "Enabled did not change when clicked"
# Taken before the preferences window, which overlaps the main window, is ever shown.
park_pointer
shot_until 2 "$main" "$out/main-before-quit.png" true

# The offset goes into the slider's text box: a click opens its editor with the whole text
# selected, the typed value replaces it, and Return ends the edit.
open_offset_page "offset-first-start.png"
click_in "$prefs" 420 95
wait_for_effect 5 changed_since "$file" 380 85 80 20 || fail "the slider's text box did not open an editor"
xdotool type --delay 30 -- "-5"
xdotool key Return
wait_for_effect 5 changed_since "$file" 160 80 200 30 || fail "the slider did not move after typing -5"
park_pointer
shot_until 2 "$prefs" "$out/offset-before-quit.png" true
close_preferences
quit_cleanly

# The settings folder holds the automatic settings file and nothing else: no audio device set-up
# was chosen and no MIDI input was switched, so there is no set-up file to write.
folder="$HOME/Documents/ZEM/Quillbank"
contents=$(ls -A "$folder")
[ "$contents" = autosave.zems ] || fail "the settings folder holds: $(tr '\n' ' ' <<< "$contents")"
settings="$folder/autosave.zems"
cp "$settings" "$out/autosave-first.zems"
echo "autosave.zems after the first run:"
sed 's/^/    /' "$settings"

# Five head lines (input rate id, output rate id, offset, Enabled, output name), then four lines
# for each row of the "Midi Merger" page: the rows of this machine's MIDI inputs, untouched.
[ "$(tail -c 1 "$settings" | od -An -c | tr -d ' ')" = '\n' ] || fail "the settings file does not end with a line feed"
! grep -q $'\r' "$settings" || fail "the settings file holds carriage returns"
mapfile -t lines < "$settings"
[ "${#lines[@]}" -ge 5 ] || fail "the settings file has ${#lines[@]} lines"
[ "${lines[0]}" = 4 ] || fail "line 1 (input rate) is '${lines[0]}', not 4 for 29.97 ND"
[ "${lines[1]}" = 2 ] || fail "line 2 (output rate) is '${lines[1]}', not 2 for 30 FPS"
[ "${lines[2]}" = -5 ] || fail "line 3 (offset) is '${lines[2]}', not -5"
[ "${lines[3]}" = 1 ] || fail "line 4 (Enabled) is '${lines[3]}', not 1"
[ "${lines[4]}" = "No Output" ] || fail "line 5 (MIDI output) is '${lines[4]}', not No Output"
[ $(((${#lines[@]} - 5) % 4)) = 0 ] || fail "after the head the file has $((${#lines[@]} - 5)) lines, not whole rows"
for ((row = 5; row < ${#lines[@]}; row += 4)); do
    [ -n "${lines[row]}" ] || fail "row $(((row - 5) / 4)) has no device name"
    [ "${lines[row + 1]},${lines[row + 2]},${lines[row + 3]}" = "0,0,0" ] \
        || fail "row ${lines[row]} holds ${lines[row + 1]},${lines[row + 2]},${lines[row + 3]}, not the untouched 0,0,0"
done

# Second run over the same home: everything is shown as it was left.
start_app "$app" "$out" keep-home
main="$window"
park_pointer
shot_until 2 "$main" "$out/main-after-restart.png" true
for region in "$input_box" "$output_box" "$enable_toggle" "$status"; do
    # shellcheck disable=SC2086
    expect_same_region "$out/main-before-quit.png" "$out/main-after-restart.png" $region "main window after the restart"
done

open_offset_page "offset-after-restart.png"
park_pointer
shot_until 2 "$prefs" "$out/offset-after-restart.png" true
# shellcheck disable=SC2086
expect_same_region "$out/offset-before-quit.png" "$out/offset-after-restart.png" $offset_slider "the offset slider after the restart"
close_preferences

# A quit without changes writes exactly what was read.
quit_cleanly
cmp -s "$out/autosave-first.zems" "$settings" \
    || fail "the second run wrote different settings: $(diff "$out/autosave-first.zems" "$settings" | tr '\n' ' ')"
[ "$(ls -A "$folder")" = autosave.zems ] || fail "the settings folder holds: $(ls -A "$folder" | tr '\n' ' ')"
echo "restart restores: passed"
