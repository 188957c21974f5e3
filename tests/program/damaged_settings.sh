#!/usr/bin/env bash
# An automatic settings file whose names are not valid UTF-8, hold a NUL or are very long does not
# stop the program: for each such file it starts, shows its window, quits cleanly (exit 0) and
# writes a fresh automatic file in which every other line of the damaged one still holds. Nor
# does an audio device set-up file that is not well-formed text, which stays as it was, nor an
# argument that is not UTF-8.
# Runs under a virtual display. Arguments: the application binary, a folder for the logs.
set -euo pipefail

app="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

mkdir -p "$out"
rm -f "$out/app.log" "$out"/*.zems

port=" Port 1 of the USB MIDI Interface 2x2"
head='2\n2\n5\n1\n'

# printf formats: the head, then a MIDI output line and row records with the damaged names.
cases=(
    "lone continuation byte|${head}A\\x80${port}\\nA\\x80${port}\\n1\\n0\\n3\\n"
    "0xFF|${head}Out\\xff${port}\\n\\xff\\n1\\n0\\n3\\n"
    "sequences cut at the end of the line|${head}Out\\xf0\\x9f\\x98\\nA\\xe2\\x82\\n1\\n0\\n3\\n"
    "overlong forms|${head}Out\\xc0\\x80${port}\\n\\xc1\\x81\\n1\\n0\\n3\\n\\xe0\\x80\\x80${port}\\n1\\n1\\n2\\n"
    "encoded surrogates|${head}Out\\xed\\xa0\\x80\\n\\xed\\xbf\\xbf${port}\\n1\\n0\\n3\\n"
    "NUL inside a name|${head}No Output\\0put\\nMidi Through Port-0\\0put\\n1\\n0\\n3\\n"
    "carriage returns before the line feeds|2\\r\\n2\\r\\n5\\r\\n1\\r\\nNo Output\\r\\nA\\r\\n1\\r\\n0\\r\\n3\\r\\n"
)

folder_of_home()
{
    echo "$out/home/Documents/ZEM/Quillbank"
}

run_case()
{
    local what="$1"
    local folder settings marker
    folder=$(folder_of_home)
    settings="$folder/autosave.zems"
    marker="$out/written-marker"

    # The damaged file is older than the marker; the file the quit writes is newer.
    touch -d '2001-01-01' "$settings"
    touch "$marker"
    cp "$settings" "$out/$(tr -c 'a-zA-Z0-9' '-' <<< "$what" | tr -s '-').zems"

    start_app "$app" "$out" keep-home
    wmctrl -i -c "$window"
    wait_for_exit 5
    [ "$exit_code" = 0 ] || fail "$what: the application ended with $exit_code"

    [ -n "$(find "$settings" -newer "$marker")" ] || fail "$what: no fresh automatic settings file was written"

    # The head lines that read still apply; the names matched nothing, so "No Output" stays and
    # no row was made.
    [ "$(cat -v "$settings" | tr '\n' ' ')" = "2 2 5 1 No Output " ] \
        || fail "$what: the written file holds $(cat -v "$settings" | tr '\n' ' ')"
    echo "    $what: exit 0, fresh file written"
}

prepare_home()
{
    rm -rf "$out/home"
    mkdir -p "$(folder_of_home)"
}

echo "damaged settings:"
for entry in "${cases[@]}"; do
    prepare_home
    # shellcheck disable=SC2059
    printf "${entry#*|}" > "$(folder_of_home)/autosave.zems"
    run_case "${entry%%|*}"
done

# A line of a mebibyte, as the output name and as a device name.
prepare_home
{
    printf "$head"
    head -c 1048576 /dev/zero | tr '\0' 'x'
    printf '\n'
    head -c 1048576 /dev/zero | tr '\0' '\200'
    printf '\n1\n0\n3\n'
} > "$(folder_of_home)/autosave.zems"
run_case "1 MiB lines"

prepare_home
setup="$(folder_of_home)/audioConfig.zems"
printf "${head}No Output\\n" > "$(folder_of_home)/autosave.zems"
printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<DEVICESETUP deviceType="\xff' > "$setup"
cp "$setup" "$out/audioConfig-damaged.zems"
run_case "audio set-up file ending inside a sequence"
cmp -s "$setup" "$out/audioConfig-damaged.zems" || fail "the damaged audio set-up file was changed"

# An argument that is not UTF-8, as a launcher may pass a file name: the program reads none.
prepare_home
printf "${head}No Output\\n" > "$(folder_of_home)/autosave.zems"
launcher="$out/launch-with-argument"
printf '#!/usr/bin/env bash\nexec "%s" "$(printf "A\\x80%s")"\n' "$app" "$(printf "%.0s$port" $(seq 100))" > "$launcher"
chmod +x "$launcher"
app="$launcher"
run_case "an argument that is not UTF-8"

echo "damaged settings: passed"
