# Shared steps of the program tests: a private home, starting the application, finding its
# window, screenshots and pixel probes. Needs an X display with a window manager.

fail()
{
    echo "FAILED: $*" >&2
    [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
    exit 1
}

# Starts the application with a fresh private home; with "keep-home" as third argument it keeps
# the home of an earlier start, so that what that run saved is read again.
start_app()
{
    local binary="$1" folder="$2" keep="${3:-}"
    export HOME="$folder/home"
    if [ "$keep" != keep-home ]; then
        rm -rf "$HOME"
        mkdir -p "$HOME"
    fi
    "$binary" >> "$folder/app.log" 2>&1 &
    app_pid=$!

    # No --sync: it would wait for ever on an application that died before showing its window.
    window=""
    for _ in $(seq 1 150); do
        window=$(find_app_window "ZEM Quillbank")
        [ -n "$window" ] && break
        kill -0 "$app_pid" 2>/dev/null || fail "the application ended at start: $(cat "$folder/app.log")"
        sleep 0.1
    done
    [ -n "$window" ] || fail "no window titled ZEM Quillbank appeared"
    # The first paint follows the mapping; wait for the dark grey instead of a fixed pause.
    wait_until 5 window_shows_colour "$window" 250 20 555555 || fail "the main window was not painted"
}

# Prints the id of the application's mapped window with exactly this title, or nothing. Without
# --all, xdotool takes any window that meets one of the conditions.
find_app_window()
{
    xdotool search --all --onlyvisible --pid "$app_pid" --name "^$1\$" 2>/dev/null | head -n 1 || true
}

# Polls for at most $1 seconds until the rest of the arguments, run as a command, succeed.
wait_until()
{
    local limit="$1"
    shift
    local deadline=$(($(date +%s%N) / 1000000 + limit * 1000))
    until "$@"; do
        [ "$(($(date +%s%N) / 1000000))" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

# Waits until the application has a mapped window with this title and puts its id in $found.
wait_for_app_window()
{
    local title="$1" limit="${2:-5}"
    found=""
    local deadline=$(($(date +%s%N) / 1000000 + limit * 1000))
    while [ -z "$found" ]; do
        found=$(find_app_window "$title")
        [ -n "$found" ] && return 0
        [ "$(($(date +%s%N) / 1000000))" -lt "$deadline" ] || fail "no window titled $title appeared within $limit s"
        sleep 0.05
    done
}

window_is_unmapped()
{
    local info
    info=$(xwininfo -id "$1" 2>/dev/null) || return 0
    ! grep -q "IsViewable" <<< "$info"
}

window_shows_colour()
{
    local probe
    probe=$(mktemp --suffix .png)
    import -window "$1" "$probe" 2>/dev/null || { rm -f "$probe"; return 1; }
    local got
    got=$(colour_at "$probe" "$2" "$3")
    rm -f "$probe"
    [ "$got" = "$4" ]
}

# Sets content_x, content_y, content_w, content_h: where the window's content lies on the screen.
content_geometry()
{
    local info
    info=$(xwininfo -id "$1") || fail "window $1 is gone"
    content_x=$(awk '/Absolute upper-left X/ {print $NF}' <<< "$info")
    content_y=$(awk '/Absolute upper-left Y/ {print $NF}' <<< "$info")
    content_w=$(awk '/^ *Width:/ {print $NF}' <<< "$info")
    content_h=$(awk '/^ *Height:/ {print $NF}' <<< "$info")
}

# Sets frame_left, frame_right, frame_top, frame_bottom from what the window manager put around it.
frame_extents()
{
    local values
    values=$(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ' ')
    IFS=, read -r frame_left frame_right frame_top frame_bottom <<< "${values:-0,0,0,0}"
}

shot()
{
    import -window "$window" "$1"
}

shot_of()
{
    import -window "$1" "$2"
}

# Takes screenshots of window $2 into $3 until the check (the rest, given the file as first
# argument) passes, for at most $1 seconds; the last screenshot stays for the error message.
shot_until()
{
    local limit="$1" win="$2" file="$3"
    shift 3
    local deadline=$(($(date +%s%N) / 1000000 + limit * 1000))
    while :; do
        import -window "$win" "$file" 2>/dev/null && "$@" "$file" && return 0
        [ "$(($(date +%s%N) / 1000000))" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

crop()
{
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage "$6"
}

colour_at()
{
    convert "$1" -format "%[hex:u.p{$2,$3}]" info: | tr 'A-F' 'a-f' | cut -c1-6
}

expect_colour()
{
    local got
    got=$(colour_at "$1" "$2" "$3")
    [ "$got" = "$4" ] || fail "$5 at ($2, $3) is #$got, not #$4"
}

# Counts the pixels of the region lighter than the given level (default 80 %).
bright_pixels()
{
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -colorspace Gray -threshold "${6:-80}%" -format "%[fx:int(mean*w*h)]" info:
}

expect_bright_pixels()
{
    # Text drawn in the region: some pixels clearly lighter than the dark grey around it.
    local count
    count=$(bright_pixels "$1" "$2" "$3" "$4" "$5" "${7:-80}")
    [ "$count" -gt 5 ] || fail "$6: no text found in ($2, $3, $4, $5)"
}

expect_no_bright_pixels()
{
    local count
    count=$(bright_pixels "$1" "$2" "$3" "$4" "$5" "${7:-80}")
    [ "$count" -eq 0 ] || fail "$6: $count light pixels in ($2, $3, $4, $5), where nothing should be drawn"
}

# Prints the bounding box (WxH+X+Y, in the file's coordinates) of the pixels of one colour
# within a region, so that a picture's place and size can be checked to the pixel.
colour_box()
{
    local box
    box=$(convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -fill black -fuzz 1% +opaque "#$6" \
        -fill white -opaque "#$6" -format "%@" info:)
    local w h x y
    IFS='x+' read -r w h x y <<< "$box"
    echo "${w}x$h+$((x + $2))+$((y + $3))"
}

# Whether two pictures differ, pixel by pixel. Each is a file, or a region of one written as
# file[WxH+X+Y]; $3, when given, is how far a pixel may be off and still count as the same (as
# "5%"). Succeeds when they differ and returns 1 when they are the same. Two pictures that cannot
# be compared fail the test, so that a screenshot or a crop that failed, or a missing file, never
# counts as a change: compare exits with 0 for the same, 1 for different and 2 for an error, but
# takes pictures of two sizes as a search for the smaller in the larger, and a region outside the
# picture as an empty one, with no error; so the sizes are read first and must be equal.
pictures_differ()
{
    local first second status=0
    first=$(convert "$1" -format '%wx%h' info: 2>&1) || true
    second=$(convert "$2" -format '%wx%h' info: 2>&1) || true
    [[ "$first" =~ ^[0-9]+x[0-9]+$ ]] || fail "cannot compare the picture $1: $first"
    [[ "$second" =~ ^[0-9]+x[0-9]+$ ]] || fail "cannot compare the picture $2: $second"
    [ "$first" = "$second" ] || fail "cannot compare $1 ($first) with $2 ($second): their sizes differ"
    compare -metric AE ${3:+-fuzz "$3"} "$1" "$2" null: > /dev/null 2>&1 || status=$?
    case "$status" in
        0) return 1 ;;
        1) return 0 ;;
        *) fail "could not compare $1 with $2: compare ended with $status" ;;
    esac
}

# Fails unless the region is the same in both screenshots. Text drawn anew can come out with a
# few edge pixels a shade off; a tolerance of 5 % lets those pass, and nothing else.
expect_same_region()
{
    local differing first second
    first=$(mktemp --suffix .png)
    second=$(mktemp --suffix .png)
    crop "$1" "$3" "$4" "$5" "$6" "$first"
    crop "$2" "$3" "$4" "$5" "$6" "$second"
    differing=$(compare -metric AE -fuzz 5% "$first" "$second" null: 2>&1 || true)
    rm -f "$first" "$second"
    [ "$differing" = 0 ] || fail "$7: $differing pixels of ($3, $4, $5, $6) differ between $(basename "$1") and $(basename "$2")"
}

click_at()
{
    xdotool mousemove --window "$window" "$1" "$2" click 1
}

click_in()
{
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

# Moves the pointer over a bare spot of the main window and back. The framework can leave X events
# that have already reached the application in the client library's queue until more input
# arrives; a real mouse hand always sends more, a script does not. Seen here: about one click in
# fifty, and a close request now and then, waited until the next motion of the pointer. The spot
# is in the application's windows (the preferences window may cover it), so that the motion is
# sent to the application.
nudge_pointer()
{
    local X Y SCREEN WINDOW
    eval "$(xdotool getmouselocation --shell)"
    xdotool mousemove --window "${main:-$window}" 250 20 sleep 0.02 mousemove "$X" "$Y" 2>/dev/null || true
}

# Like wait_until, after some input: nudges the pointer every half second while the check fails.
wait_for_effect()
{
    local limit="$1"
    shift
    local deadline=$(($(date +%s%N) / 1000000 + limit * 1000)) polls=0
    until "$@"; do
        [ "$(($(date +%s%N) / 1000000))" -lt "$deadline" ] || return 1
        sleep 0.05
        polls=$((polls + 1))
        [ $((polls % 10)) != 0 ] || nudge_pointer
    done
}

# Clicks once at ($2, $3) in window $1 and waits until the check (the rest) passes.
click_until()
{
    local win="$1" x="$2" y="$3"
    shift 3
    click_in "$win" "$x" "$y"
    wait_for_effect 5 "$@"
}

app_window_shown()
{
    [ -n "$(find_app_window "$1")" ]
}

# Parks the pointer on the bare desktop, so that no control is drawn in its hover state.
park_pointer()
{
    xdotool mousemove 2 790
}

# Chooses item $4 (from 0) of the $5 items of the combo box whose centre is at ($2, $3) in
# window $1. The click opens the framework's popup menu, a window of its own titled "menu"; the
# item's row follows from that window's height, which is the items' rows plus an equal border
# above and below. The menu reads the button from a timer, so a press and release in quick
# succession can go unseen: the button is held down for a moment. The menu also ignores a
# release in its first quarter second.
choose_item()
{
    local win="$1" x="$2" y="$3" item="$4" count="$5"
    click_until "$win" "$x" "$y" app_window_shown menu || fail "no menu opened on the box at ($x, $y)"
    wait_for_app_window menu 1
    local menu="$found"
    content_geometry "$menu"
    local row=$((content_h / count))
    local border=$(((content_h - row * count) / 2))
    local item_y=$((border + row * item + row / 2))
    sleep 0.3
    xdotool mousemove --window "$menu" $((content_w / 2)) $((item_y - 2)) sleep 0.1 \
        mousemove --window "$menu" $((content_w / 2)) "$item_y" sleep 0.1 \
        mousedown 1 sleep 0.15 mouseup 1
    wait_for_effect 5 window_is_unmapped "$menu" || fail "the menu of the box at ($x, $y) did not close after choosing item $item"
}

wait_for_exit()
{
    local limit="$1"
    for i in $(seq 1 $((limit * 10))); do
        if ! kill -0 "$app_pid" 2>/dev/null; then
            wait "$app_pid" && exit_code=0 || exit_code=$?
            return
        fi
        sleep 0.1
        [ $((i % 5)) != 0 ] || nudge_pointer
    done
    fail "the application did not end within $limit s"
}

# The preferences window's tab bar is its top 30 pixels. On a row near its top, each tab is a run
# of one colour between the lines of its outline; the current tab has the page's dark grey and the
# others are lighter. The bar's empty rest to the right is the last run. Prints "start end colour"
# for each run of ten pixels or more.
tab_runs()
{
    convert "$1" -crop 550x1+0+5 +repage -depth 8 txt:- \
        | awk -F'[ ,:]+' 'NR > 1 { x = $1; c = $0; sub(/.*#/, "", c); c = tolower(substr(c, 1, 6));
                                    if (c != last) { if (n >= 10) print start, x - 1, last; start = x; n = 0; last = c }
                                    n++ }
                          END { if (n >= 10) print start, x, last }'
}

# The tabs alone, without the bar's empty rest.
tabs_of()
{
    tab_runs "$1" | awk '$2 < 549'
}

current_tab_is()
{
    local index
    index=$(tabs_of "$2" | awk '$3 == "555555" { print NR - 1 }' | tr '\n' ' ')
    [ "$index" = "$1 " ]
}

# Takes a screenshot of the preferences window ($prefs) into $file and checks that tab $1 is
# the current one.
shows_tab()
{
    import -window "$prefs" "$file" 2>/dev/null && current_tab_is "$1" "$file"
}

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

# Clicks the button at ($1, $2) in the main window ($main) and waits for the dialog titled $3. A
# click that comes while the dialog before is closing starts nothing, like any click while a dialog
# is up: its window has gone, but the program learns of the answer only when the dialog's process
# has ended (the framework looks every 100 ms). A message just closed also keeps the window's
# clicks for a moment. So the button is clicked again while no dialog shows; a click while one is
# up starts no second one, so no click can start two.
open_dialog()
{
    local attempt
    for attempt in 1 2 3 4 5; do
        click_in "$main" "$1" "$2"
        wait_for_effect 2 dialog_shown "$3" && return 0
    done
    fail "clicking at ($1, $2) showed no dialog titled $3"
}

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

# Answers the dialog that the button at ($1, $2) in the main window ($main) opens with the path
# $4, and expects the message titled $5 in its place; its screenshot goes to $out/$6.png.
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

# Presses Return in the message $message, its button's key, and waits until it has closed.
close_message_with_return()
{
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$message" ] || xdotool windowactivate --sync "$message" 2> /dev/null || true
    xdotool key Return
    wait_for_effect 5 window_is_unmapped "$message" || fail "the message did not close on Return"
}

# Sets launcher to what starts the application $1 as an ordinary user would: as root, a small
# script ($2) that gives up the right to pass over file permissions for the program and its
# dialogs and execs it, so that the window's process is the one started; otherwise the program.
ordinary_user_launcher()
{
    launcher="$1"
    if [ "$(id -u)" = 0 ]; then
        launcher="$2"
        printf '#!/bin/sh\nexec setpriv --bounding-set -dac_override,-dac_read_search -- "%s" "$@"\n' "$1" > "$launcher"
        chmod +x "$launcher"
    fi
}

# Starts JACK's dummy driver at 48 kHz with 512-sample buffers under a server name of our own
# ($1), so that other JACK users on the machine are left alone, logging to $2, and waits until
# it answers. Sets jackd_pid; stop_test_processes ends it with the application and $play_pid.
start_dummy_jack()
{
    export JACK_DEFAULT_SERVER="$1"
    export JACK_NO_AUDIO_RESERVATION=1
    jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 512 > "$2" 2>&1 &
    jackd_pid=$!
    for _ in $(seq 1 50); do
        jack_lsp > /dev/null 2>&1 && return 0
        kill -0 "$jackd_pid" 2>/dev/null || fail "jackd ended at start: $(cat "$2")"
        sleep 0.1
    done
    jack_lsp > /dev/null 2>&1 || fail "jackd did not come up: $(cat "$2")"
}

stop_test_processes()
{
    [ -n "${play_pid:-}" ] && kill "$play_pid" 2>/dev/null || true
    [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
    if [ -n "${jackd_pid:-}" ]; then
        kill "$jackd_pid" 2>/dev/null || true
        wait "$jackd_pid" 2>/dev/null || true
    fi
}
