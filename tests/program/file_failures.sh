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
else
    chmod 000 "$out/theirs/private.zems"
    chmod 555 "$out/theirs/folder"
fi
private="$out/theirs/private.zems"
unwritable="$out/theirs/folder/show.zems"
ordinary_user_launcher "$app" "$out/run-as-user"

start_app "$launcher" "$out" keep-home
main="$window"
shot "$out/before.png"

answer_and_expect_message 270 212 "Open your configuration" "$private" "Could not open your configuration" open-failed
close_message_with_return
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
