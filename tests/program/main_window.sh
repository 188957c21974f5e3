#!/usr/bin/env bash
# The built application as a user meets it: its window, its look, the "Enabled" switch, and a
# clean quit through the close button that saves the state. Runs under a virtual display.
# Arguments: the application binary, a folder for the screenshots.
set -euo pipefail

app="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

mkdir -p "$out"
start_app "$app" "$out"

geometry=$(xdotool getwindowgeometry --shell "$window")
eval "$geometry"
echo "window $WINDOW at $X,$Y size ${WIDTH}x$HEIGHT"
[ "$WIDTH" = 500 ] && [ "$HEIGHT" = 250 ] || fail "content is ${WIDTH}x$HEIGHT, not 500x250"

shot "$out/main-window.png"

# Dark grey background, the logo's tile at the lower right, lighter text of the captions.
expect_colour "$out/main-window.png" 250 20 "555555" "background"
expect_colour "$out/main-window.png" 437 222 "2b6f8f" "logo tile"
expect_bright_pixels "$out/main-window.png" 15 123 120 20 "caption Input Framerate"
expect_bright_pixels "$out/main-window.png" 130 200 100 25 "button Preferences"

# Click "Enabled" and see the status change. PNG files of equal pixels still differ in their
# time stamps, so the pixels are compared.
status_changed()
{
    shot "$out/main-window-enabled.png" 2> /dev/null || return 1
    pictures_differ "$out/main-window-enabled.png[100x40+10+45]" "$out/main-window.png[100x40+10+45]"
}
click_at 150 168
wait_for_effect 5 status_changed || fail "the status did not change after clicking Enabled"

# Close through the window manager, as the close button does.
wmctrl -i -c "$window"
wait_for_exit 5
[ "$exit_code" = 0 ] || fail "the application ended with $exit_code"

settings="$HOME/Documents/ZEM/Quillbank/autosave.zems"
[ -f "$settings" ] || fail "no automatic settings file was written"
[ "$(sed -n 4p "$settings")" = 1 ] || fail "\"Enabled\" was not saved as on: $(cat "$settings")"
echo "main window: passed"
