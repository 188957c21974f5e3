#!/usr/bin/env bash
# The preferences window as a user meets it: opened from the main window, its size and place,
# the tab bar and the four pages, and that closing and opening it again keeps its place and its
# current page. Ends with a clean quit through the main window. Runs under a virtual display.
# Arguments: the application binary, a folder for the screenshots.
set -euo pipefail

app="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

mkdir -p "$out"
rm -f "$out"/*.png "$out/app.log"
start_app "$app" "$out"
main="$window"

# The window exists from the start but is not shown until "Preferences" is clicked, not even for
# a moment: a window manager frames every window it has had on screen, so frame extents on the
# hidden window betray a flash during start-up.
[ -z "$(find_app_window Preferences)" ] || fail "the preferences window is showing before Preferences was clicked"
hidden=$(xdotool search --all --pid "$app_pid" --name "^Preferences\$" 2>/dev/null | head -n 1 || true)
[ -n "$hidden" ] || fail "the application has no hidden preferences window at start"
if xprop -id "$hidden" _NET_FRAME_EXTENTS | grep -q =; then
    fail "the preferences window was on screen during start-up (the window manager framed it)"
fi
click_until "$main" 180 212 app_window_shown Preferences || fail "clicking Preferences showed no preferences window"
wait_for_app_window Preferences 1
prefs="$found"
window="$prefs"

content_geometry "$prefs"
frame_extents "$prefs"
echo "preferences content at $content_x,$content_y size ${content_w}x$content_h, frame $frame_left,$frame_right,$frame_top,$frame_bottom"
[ "$content_w" = 550 ] && [ "$content_h" = 350 ] || fail "the preferences content is ${content_w}x$content_h, not 550x350"
first_x="$content_x"
first_y="$content_y"

# The window asks the window manager for (200, 200). A window that was never on screen does not
# know the frame's size, so the manager puts the frame's corner there rather than the content's;
# either is where the user sees the window.
if ! { [ "$content_x" = 200 ] && [ "$content_y" = 200 ]; } \
    && ! { [ $((content_x - frame_left)) = 200 ] && [ $((content_y - frame_top)) = 200 ]; }; then
    fail "the preferences window is at $content_x,$content_y (frame $((content_x - frame_left)),$((content_y - frame_top))), not at 200,200"
fi

# Not resizable: the window manager offers no resizing, neither by the edges nor by a corner.
if xprop -id "$prefs" _NET_WM_ALLOWED_ACTIONS | grep -q _NET_WM_ACTION_RESIZE; then
    fail "the window manager lets the user resize the preferences window"
fi

page_is_painted()
{
    [ "$(colour_at "$1" 30 200)" = 555555 ]
}

names=("midi-merger" "audio-input" "offset" "about")

shot_until 5 "$prefs" "$out/prefs-${names[0]}.png" current_tab_is 0 \
    || fail "the first tab is not the current one on opening: $(tabs_of "$out/prefs-${names[0]}.png" | tr '\n' ';')"
tab_list=$(tabs_of "$out/prefs-${names[0]}.png")
echo "tabs (start end colour): $(tr '\n' ';' <<< "$tab_list")"
[ "$(wc -l <<< "$tab_list")" = 4 ] || fail "the tab bar shows $(wc -l <<< "$tab_list") tabs, not 4"
mapfile -t tab_starts < <(awk '{print $1}' <<< "$tab_list")
mapfile -t tab_ends < <(awk '{print $2}' <<< "$tab_list")

# Each tab carries its name; nothing is written in the bar beyond the last tab. The tab bar's
# rows 0 to 29 belong to it, and the page starts right below with the dark grey.
for i in 0 1 2 3; do
    expect_bright_pixels "$out/prefs-${names[0]}.png" "${tab_starts[$i]}" 8 $((tab_ends[i] - tab_starts[i])) 15 \
        "name of tab $i" 70
done
expect_no_bright_pixels "$out/prefs-${names[0]}.png" $((tab_ends[3] + 3)) 0 $((546 - tab_ends[3])) 30 "tab bar after the last tab" 60
[ "${tab_ends[3]}" -lt 350 ] || fail "the four tabs reach x = ${tab_ends[3]}"
[ "$(convert "$out/prefs-${names[0]}.png" -crop 550x1+0+30 +repage -format "%k" info:)" = 1 ] \
    && [ "$(colour_at "$out/prefs-${names[0]}.png" 275 30)" = 555555 ] || fail "row 30, the page's first, is not all dark grey"

# Names that are wider occupy wider tabs: the first two ("Midi Merger", "Audio Input") are
# wider than the last two ("Offset", "About").
for wide in 0 1; do
    for narrow in 2 3; do
        [ $((tab_ends[wide] - tab_starts[wide])) -gt $((tab_ends[narrow] - tab_starts[narrow] + 10)) ] \
            || fail "tab $wide is not wider than tab $narrow: the order of the tabs is wrong"
    done
done

check_page_common()
{
    local file="$1" name="$2"
    expect_colour "$file" 30 200 555555 "$name: background"
    expect_colour "$file" 40 300 555555 "$name: background"
    # The logo's tile, clipped by the lower right corner: 69 x 69 of it show.
    local logo
    logo=$(colour_box "$file" 420 220 130 130 2b6f8f)
    [ "$logo" = "69x69+481+281" ] || fail "$name: the logo's tile is at $logo, not 69x69+481+281"
}

check_midi_merger()
{
    local file="$1"
    check_page_common "$file" "Midi Merger"
    expect_bright_pixels "$file" 20 45 180 22 "header Inputs to Merge"
    expect_bright_pixels "$file" 220 37 110 20 "header Convert, first line"
    expect_bright_pixels "$file" 220 58 110 20 "header Convert, second line"
    expect_bright_pixels "$file" 345 45 180 22 "header Destination Channel"
    expect_no_bright_pixels "$file" 20 70 180 10 "below Inputs to Merge"
    expect_no_bright_pixels "$file" 345 70 180 10 "below Destination Channel"
}

check_audio_input()
{
    local file="$1"
    check_page_common "$file" "Audio Input"
    # The device selector's first row: a caption, then a box in the application's box colour.
    expect_colour "$file" 330 56 393939 "Audio Input: the device type box"
    expect_bright_pixels "$file" 0 45 175 22 "Audio Input: caption of the device type box"
}

check_offset()
{
    local file="$1"
    check_page_common "$file" "Offset"
    expect_bright_pixels "$file" 20 85 140 20 "caption Frame Delay"
    # The slider: a black track across most of its width, with the white thumb on it, and the
    # value in the text box at its right.
    local track
    track=$(convert "$file" -crop 200x1+170+94 +repage -fill black -fuzz 1% +opaque "#000000" -fill white -opaque "#000000" \
        -format "%[fx:int(mean*w)]" info:)
    [ "$track" -gt 150 ] || fail "Offset: the slider's track shows $track black pixels of 200 on row 94"
    [ "$(colour_box "$file" 165 80 210 30 ffffff | cut -d+ -f1)" != "0x0" ] || fail "Offset: no white thumb on the slider"
    expect_bright_pixels "$file" 380 85 80 20 "Offset: the slider's text box"
}

check_about()
{
    local file="$1"
    check_page_common "$file" "About"
    # The emblem, drawn into (175, 20, 200, 200) of the page: its tile, 691 of its 750 pixels,
    # shrinks to 184 pixels 8 pixels in from the corner of that square.
    local emblem
    emblem=$(colour_box "$file" 165 40 220 220 2b6f8f)
    [ "$emblem" = "184x184+183+58" ] || fail "About: the emblem's tile is at $emblem, not 184x184+183+58"
    expect_bright_pixels "$file" 125 255 300 20 "About: the version line"
    expect_bright_pixels "$file" 90 320 290 15 "About: the line about updates"
    expect_bright_pixels "$file" 381 317 57 20 "About: the link"
}

checks=(check_midi_merger check_audio_input check_offset check_about)
"${checks[0]}" "$out/prefs-${names[0]}.png"

for i in 1 2 3 0; do
    file="$out/prefs-${names[$i]}.png"
    click_until "$prefs" $(((tab_starts[i] + tab_ends[i]) / 2)) 15 shows_tab "$i" || fail "tab $i did not become the current one"
    shot_until 2 "$prefs" "$file" page_is_painted || true
    "${checks[$i]}" "$file"
done

# Close on the "Offset" page; it comes back on that page, at the same place.
file="$out/prefs-before-close.png"
click_until "$prefs" $(((tab_starts[2] + tab_ends[2]) / 2)) 15 shows_tab 2 || fail "the Offset tab did not become current"
wmctrl -i -c "$prefs"
wait_for_effect 5 window_is_unmapped "$prefs" || fail "the preferences window did not close"
kill -0 "$app_pid" 2>/dev/null || fail "closing the preferences window ended the application"

window="$main"
click_until "$main" 180 212 app_window_shown Preferences || fail "clicking Preferences again showed no preferences window"
wait_for_app_window Preferences 1
[ "$found" = "$prefs" ] || fail "a different preferences window ($found, not $prefs) appeared"
content_geometry "$prefs"
[ "$content_x,$content_y" = "$first_x,$first_y" ] \
    || fail "the preferences window came back at $content_x,$content_y, not at $first_x,$first_y"
[ "${content_w}x$content_h" = 550x350 ] || fail "the preferences window came back ${content_w}x$content_h"
shot_until 5 "$prefs" "$out/prefs-reopened.png" current_tab_is 2 \
    || fail "the preferences window came back on another tab: $(tabs_of "$out/prefs-reopened.png" | tr '\n' ';')"
check_offset "$out/prefs-reopened.png"
expect_same_region "$out/prefs-before-close.png" "$out/prefs-reopened.png" 0 30 550 320 "the Offset page after reopening"

# Quit through the main window's close button; the preferences window may still be open.
wmctrl -i -c "$main"
wait_for_exit 5
[ "$exit_code" = 0 ] || fail "the application ended with $exit_code"
echo "preferences window: passed"
