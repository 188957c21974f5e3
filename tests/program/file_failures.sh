#!/usr/bin/env bash
# "Save" and "Open" through the platform's own dialog on files that cannot be written or read: the
# program says so in a message naming the file, and changes nothing; a quit while the message is up
# ends cleanly and saves what is on screen. Runs as an ordinary user would, without the right to
# pass over file permissions (as root, that right is given up for the program and its dialogs), so
# that another user's file cannot be read and another user's folder cannot be written.
# Runs under a virtual display. Arguments: the application binary, a folder for the screenshots.
set -euo pipefail

app="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

mkdir -p "$out"
rm -rf "$out"/*.png "$out/app.log" "$out/theirs" "$out/home"

# 30 and 30 fps, offset 7, "Enabled" on.
on_screen="2 2 7 1 No Output "
mkdir -p "$out/home/Documents/ZEM/Quillbank"
settings="$out/home/Documents/ZEM/Quillbank/autosave.zems"
printf '2\n2\n7\n1\nNo Output\n' > "$settings"

# Another user's folder and file, or, when this is an ordinary user already, their own made
# unreadable and unwritable.
mkdir -p "$out/theirs/folder"
printf '1\n1\n-3\n0\nNo Output\n' > "$out/theirs/private.zems"
chmod 600 "$out/theirs/private.zems"
if [ "$(id -u)" = 0 ]; then
    chown -R 65534:65534 "$out/theirs"
    runner=(setpriv --bounding-set -dac_override,-dac_read_search --)
else
    chmod 000 "$out/theirs/private.zems"
    chmod 555 "$out/theirs/folder"
    runner=()
fi
private="$out/theirs/private.zems"
unwritable="$out/theirs/folder/show.zems"

message_shown()
{
    message=$(find_app_window "$1")
    [ -n "$message" ]
}

# Presses Return in the dialog titled $1 until it closes. The open dialog lets a Return go that
# comes at once after the typing, for good (seen here: one Return then kept it up for 15 s, five
# times in five), while one that comes a fifth of a second later answers it within about 0.6 s.
# So Return is pressed again while the dialog is up and still the active window, each time after
# giving the one before it 5 s to take effect, so that none can reach the message that follows.
answer_with_return()
{
    local attempt
    for attempt in 1 2 3; do
        [ "$(xdotool getactivewindow 2>/dev/null)" = "$dialog" ] || xdotool windowactivate --sync "$dialog" 2> /dev/null || true
        xdotool key Return
        wait_until 5 no_dialog_shown "$1" && return 0
    done
    return 1
}

# Answers the dialog that the button at ($1, $2) opens with the path $4, and expects the message
# titled $5 in its place.
answer_and_expect_message()
{
    local x="$1" y="$2" title="$3" path="$4" expected="$5" name="$6"
    open_dialog "$x" "$y" "$title"
    xdotool windowactivate --sync "$dialog" 2> /dev/null || true
    xdotool type --delay 20 "$path"
    answer_with_return "$title" || { shot_of root "$out/$name-dialog-stayed.png"; fail "the dialog $title stayed up after answering it with $path"; }
    wait_for_effect 10 message_shown "$expected" || fail "no message titled $expected after answering $title with $path"
    # The message is written over the main window: it must name the file, so it is wide.
    content_geometry "$message"
    [ "$content_w" -gt 300 ] || fail "the message is only $content_w pixels wide"
    shot_of "$message" "$out/$name.png"
    expect_bright_pixels "$out/$name.png" 10 10 $((content_w - 20)) $((content_h - 20)) "the message $expected" 60
}

# The program is started through a small script that execs it, so the window's process is ours.
launcher="$app"
if [ ${#runner[@]} != 0 ]; then
    launcher="$out/run-as-user"
    printf '#!/bin/sh\nexec %s "%s" "$@"\n' "${runner[*]}" "$app" > "$launcher"
    chmod +x "$launcher"
fi

start_app "$launcher" "$out" keep-home
main="$window"
shot "$out/before.png"

answer_and_expect_message 270 212 "Open your configuration" "$private" "Could not open your configuration" open-failed
# The message has the keyboard; Return is its button's key.
[ "$(xdotool getactivewindow 2>/dev/null)" = "$message" ] || xdotool windowactivate --sync "$message" 2> /dev/null || true
xdotool key Return
wait_for_effect 5 window_is_unmapped "$message" || fail "the message did not close on Return"
park_pointer
shot_until 2 "$main" "$out/after-open.png" true
for region in "135 120 95 24" "385 120 90 24" "132 156 105 24"; do
    # shellcheck disable=SC2086
    expect_same_region "$out/before.png" "$out/after-open.png" $region "the main window after the failed open"
done

answer_and_expect_message 340 212 "Save your configuration" "$unwritable" "Could not save your configuration" save-failed
[ -z "$(ls -A "$out/theirs/folder")" ] || fail "the failed save left files behind: $(ls -A "$out/theirs/folder")"

# Quit with the message up.
wmctrl -i -c "$main"
wait_for_exit 5
[ "$exit_code" = 0 ] || fail "closed with the message up, the application ended with $exit_code"
[ "$(tr '\n' ' ' < "$settings")" = "$on_screen" ] \
    || fail "the automatic settings file holds $(tr '\n' ' ' < "$settings"), not what was on screen: $on_screen"
echo "file failures: passed"
