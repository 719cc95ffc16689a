#!/usr/bin/env bash
# Sets up, builds and starts Pellix, on the archive named (or on blank.zip when none is).
# Without a display it starts the program headless and saves a picture of its window instead.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: saving a picture of the window instead of showing it."
    exec build/bin/pellix --screenshot build/pellix-window.png "$@"
fi
exec build/bin/pellix "$@"
