# Shared steps of the program tests: a private home, starting the application, finding its
# window, screenshots and pixel probes. Needs an X display with a window manager.

fail()
{
    echo "FAILED: $*" >&2
    [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
    exit 1
}

start_app()
{
    local binary="$1" folder="$2"
    export HOME="$folder/home"
    rm -rf "$HOME"
    mkdir -p "$HOME"
    "$binary" > "$folder/app.log" 2>&1 &
    app_pid=$!

    window=""
    for _ in $(seq 1 100); do
        window=$(xdotool search --sync --onlyvisible --pid "$app_pid" --name "^ZEM Quillbank$" 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
        kill -0 "$app_pid" 2>/dev/null || fail "the application ended at start: $(cat "$folder/app.log")"
        sleep 0.1
    done
    [ -n "$window" ] || fail "no window titled ZEM Quillbank appeared"
    sleep 0.5
}

shot()
{
    import -window "$window" "$1"
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

expect_bright_pixels()
{
    # Text drawn in the region: some pixels clearly lighter than the dark grey around it.
    local count
    count=$(convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -colorspace Gray -threshold 80% -format "%[fx:int(mean*w*h)]" info:)
    [ "$count" -gt 5 ] || fail "$6: no text found in ($2, $3, $4, $5)"
}

click_at()
{
    xdotool mousemove --window "$window" "$1" "$2" click 1
}

wait_for_exit()
{
    local limit="$1"
    for _ in $(seq 1 $((limit * 10))); do
        if ! kill -0 "$app_pid" 2>/dev/null; then
            wait "$app_pid" && exit_code=0 || exit_code=$?
            return
        fi
        sleep 0.1
    done
    fail "the application did not end within $limit s"
}
