#!/usr/bin/env bash
# The "Save" and "Open" buttons with the platform's own dialog: a save through the dialog writes
# the chosen file, a cancelled one writes nothing, and closing the main window while either
# dialog is up ends the dialog and the program through the normal shutdown, which writes the
# automatic settings file. Runs under a virtual display.
# Arguments: the application binary, a folder for the screenshots.
set -euo pipefail

app="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

mkdir -p "$out"
rm -f "$out"/*.png "$out/app.log"

# The dialog is a process of its own, so it is found by its title alone; sets $dialog.
dialog_shown()
{
    dialog=$(xdotool search --all --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$dialog" ]
}

no_dialog_shown()
{
    ! dialog_shown "$1"
}

# Clicks the button at ($1, $2) in the main window and waits for the dialog titled $3.
open_dialog()
{
    click_in "$main" "$1" "$2"
    wait_for_effect 10 dialog_shown "$3" || fail "clicking at ($1, $2) showed no dialog titled $3"
}

# Closes the main window while the dialog titled $1 is up, and expects a clean quit that wrote
# the automatic settings file and took the dialog with it.
quit_with_dialog_up()
{
    shot_of root "$out/$2-dialog.png"
    wmctrl -i -c "$main"
    wait_for_exit 5
    [ "$exit_code" = 0 ] || fail "closed with the $1 dialog up, the application ended with $exit_code"
    [ -f "$settings" ] || fail "closed with the $1 dialog up, no automatic settings file was written"
    wait_until 5 no_dialog_shown "$1" || fail "the $1 dialog is still up after the application ended"
}

save_button_x=340 open_button_x=270 buttons_y=212
saves="$out/home/Documents/ZEM/Quillbank"
settings="$saves/autosave.zems"

# A save through the dialog, typed as a user would, with "Enabled" switched on first so that the
# file shows the state it was written in.
start_app "$app" "$out"
main="$window"
click_in "$main" 150 168
open_dialog $save_button_x $buttons_y "Save your configuration"
xdotool windowactivate --sync "$dialog" 2> /dev/null || true
xdotool type --delay 20 "$saves/chosen.zems"
xdotool key Return
wait_until 5 test -f "$saves/chosen.zems" || fail "saving through the dialog wrote no file"
wait_until 5 no_dialog_shown "Save your configuration" || fail "the Save dialog stayed up after saving"
[ "$(sed -n 4p "$saves/chosen.zems")" = 1 ] || fail "the saved file does not record \"Enabled\" on: $(cat "$saves/chosen.zems")"

# Cancelled: nothing is written.
before=$(ls -l --time-style=full-iso "$saves")
open_dialog $save_button_x $buttons_y "Save your configuration"
xdotool windowactivate --sync "$dialog" 2> /dev/null || true
xdotool key Escape
wait_until 5 no_dialog_shown "Save your configuration" || fail "the Save dialog did not close on Escape"
[ "$(ls -l --time-style=full-iso "$saves")" = "$before" ] || fail "a cancelled save changed the settings folder"

open_dialog $save_button_x $buttons_y "Save your configuration"
quit_with_dialog_up "Save your configuration" save
[ "$(sed -n 4p "$settings")" = 1 ] || fail "the automatic settings file does not record \"Enabled\" on: $(cat "$settings")"

start_app "$app" "$out"
main="$window"
open_dialog $open_button_x $buttons_y "Open your configuration"
quit_with_dialog_up "Open your configuration" open

echo "file dialogs: passed"
