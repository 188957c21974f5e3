#!/usr/bin/env bash
# Runs a command with a virtual X display and a small window manager, as a desktop would have.
set -euo pipefail

if [ -n "${QUILLBANK_DISPLAY_READY:-}" ]; then
    exec "$@"
fi

export QUILLBANK_DISPLAY_READY=1
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" bash -c 'openbox > /dev/null 2>&1 & wm=$!; sleep 0.5; "$@"; rc=$?; kill $wm 2>/dev/null; exit $rc' bash "$@"
