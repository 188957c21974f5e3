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

# While the Save dialog is up, the main window still takes clicks: "Open" and "Save" start no
# second dialog, and the save writes what is on screen when it is answered. The dialog is moved
# aside so that the buttons are not covered. The dialog's process is the program's child and is
# started at the click, so once the later click on "Enabled" has shown its effect, a second
# dialog started by the earlier clicks would be running already.
dialogs_of_app()
{
    pgrep -c -P "$app_pid" zenity || true
}

status_now()
{
    shot_of "$main" "$1" && crop "$1" 10 45 100 40 "$1"
}

# A screenshot that fails is taken again at the next poll; one that cannot be compared fails.
status_differs_from()
{
    status_now "$out/status-now.png" || return 1
    pictures_differ "$1" "$out/status-now.png"
}

status_now "$out/status-before-second-clicks.png" || fail "no screenshot of the status"
open_dialog $save_button_x $buttons_y "Save your configuration"
save_dialog="$dialog"
xdotool windowmove --sync "$save_dialog" 900 0 2> /dev/null || xdotool windowmove "$save_dialog" 900 0
[ "$(dialogs_of_app)" = 1 ] || fail "clicking Save started $(dialogs_of_app) dialog processes"
click_in "$main" $open_button_x $buttons_y
click_in "$main" $save_button_x $buttons_y
click_in "$main" 150 168
wait_for_effect 5 status_differs_from "$out/status-before-second-clicks.png" \
    || fail "the click on Enabled with the Save dialog up had no effect"
shot_of root "$out/second-clicks.png"
[ "$(dialogs_of_app)" = 1 ] || fail "clicks on Open and Save with the Save dialog up started a second dialog: $(dialogs_of_app) running"
! dialog_shown "Open your configuration" || fail "an Open dialog is up beside the Save dialog"
xdotool windowactivate --sync "$save_dialog" 2> /dev/null || true
xdotool type --delay 20 "$saves/while-up.zems"
xdotool key Return
wait_until 5 test -f "$saves/while-up.zems" || fail "the Save dialog's answer wrote no file"
[ "$(tr '\n' ' ' < "$saves/while-up.zems")" = "1 1 1 0 No Output " ] \
    || fail "the save holds $(tr '\n' ' ' < "$saves/while-up.zems"), not what was on screen when it was answered"
wait_until 5 no_dialog_shown "Save your configuration" || fail "the Save dialog stayed up after saving"
[ "$(dialogs_of_app)" = 0 ] || fail "$(dialogs_of_app) dialogs are still running after the save"
status_now "$out/status-off.png" || fail "no screenshot of the status"
click_in "$main" 150 168
wait_for_effect 5 status_differs_from "$out/status-off.png" || fail "Enabled did not switch on again"

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
