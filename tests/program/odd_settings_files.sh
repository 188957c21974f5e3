#!/usr/bin/env bash
# Settings files that are not regular files do not stop the program. At start, an automatic
# settings file or an audio device set-up file that is a FIFO or a link to /dev/zero is passed
# over as a missing file would be: the window comes up as it does without any file, a close
# through the window's button ends the program with exit status 0, and the odd file is left as it
# was. An Open of a FIFO through the platform's dialog shows the message and changes nothing, and
# the automatic file written at exit holds what was on screen. Everything runs twice: as this user
# and, when that is root, as an ordinary user would (without the right to pass over file
# permissions).
# Runs under a virtual display. Arguments: the application binary, a folder for the screenshots.
set -euo pipefail

app="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

mkdir -p "$out"
rm -rf "$out"/*.png "$out/app.log" "$out/home"

folder="$out/home/Documents/ZEM/Quillbank"
settings="$folder/autosave.zems"
ordinary_user_launcher "$app" "$out/run-as-user"
launchers=("$app")
[ "$launcher" = "$app" ] || launchers+=("$launcher")

# What the path names: its kind, its inode and where a link leads.
node_of()
{
    stat -c '%F %i' "$1"
    readlink "$1" || true
}

quit_through_close_button()
{
    wmctrl -i -c "$main"
    wait_for_exit 10
    [ "$exit_code" = 0 ] || fail "$1: the application ended with $exit_code"
    app_pid=""
}

# short name|file in the settings folder|how it is made there
cases=(
    "autosave-fifo|autosave.zems|mkfifo"
    "autosave-zero|autosave.zems|ln -s /dev/zero"
    "setup-fifo|audioConfig.zems|mkfifo"
    "setup-zero|audioConfig.zems|ln -s /dev/zero"
)

for start in "${launchers[@]}"; do
    who=$([ "$start" = "$app" ] && echo "as $(id -un)" || echo "as an ordinary user")
    tag=$([ "$start" = "$app" ] && echo self || echo user)
    echo "odd settings files, $who:"

    # The window as the defaults of a first start show it.
    start_app "$start" "$out"
    main="$window"
    park_pointer
    shot "$out/$tag-defaults.png"
    quit_through_close_button "a first start"

    for entry in "${cases[@]}"; do
        IFS='|' read -r short name make <<< "$entry"
        what="$name made by $make"
        rm -rf "$out/home"
        mkdir -p "$folder"
        $make "$folder/$name"
        node_before=$(node_of "$folder/$name")

        start_app "$start" "$out" keep-home
        main="$window"
        park_pointer
        shot_until 2 "$main" "$out/$tag-$short.png" true || fail "$what, $who: no screenshot of the window"
        expect_same_region "$out/$tag-defaults.png" "$out/$tag-$short.png" 0 0 500 250 "$what, $who: the window"
        quit_through_close_button "$what, $who"

        [ "$(node_of "$folder/$name")" = "$node_before" ] || fail "$what, $who: the file was changed: $(node_of "$folder/$name")"
        if [ "$name" = audioConfig.zems ]; then
            [ "$(tr '\n' ' ' < "$settings")" = "1 1 1 0 No Output " ] \
                || fail "$what, $who: the automatic settings file holds $(tr '\n' ' ' < "$settings")"
        else
            [ "$(ls -A "$folder")" = autosave.zems ] || fail "$what, $who: the exit wrote $(ls -A "$folder")"
        fi
        echo "    $what: window as without a file, exit 0, the file left as it was"
    done

    # 30 and 30 fps, offset 7, "Enabled" on; then an Open of a FIFO.
    on_screen="2 2 7 1 No Output "
    rm -rf "$out/home"
    mkdir -p "$folder"
    printf '2\n2\n7\n1\nNo Output\n' > "$settings"
    mkfifo "$folder/pipe.zems"
    start_app "$start" "$out" keep-home
    main="$window"
    park_pointer
    shot "$out/$tag-before-open.png"
    answer_and_expect_message 270 212 "Open your configuration" "$folder/pipe.zems" "Could not open your configuration" \
        "$tag-open-fifo"
    close_message_with_return
    park_pointer
    shot_until 2 "$main" "$out/$tag-after-open.png" true || fail "no screenshot of the window after opening a FIFO"
    expect_same_region "$out/$tag-before-open.png" "$out/$tag-after-open.png" 0 0 500 250 "the window after opening a FIFO, $who"
    quit_through_close_button "opening a FIFO, $who"
    [ "$(tr '\n' ' ' < "$settings")" = "$on_screen" ] \
        || fail "opening a FIFO, $who: the automatic settings file holds $(tr '\n' ' ' < "$settings"), not $on_screen"
    [ -p "$folder/pipe.zems" ] || fail "opening a FIFO, $who: the FIFO is gone"
    echo "    Open of a FIFO: the message, nothing changed, exit 0"
done
echo "odd settings files: passed"
