#!/usr/bin/env bash
# Builds the panel and the simulator, starts the simulator and then the panel.
# Without a display the panel runs under a virtual X server, saves a screenshot
# of its window and closes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "${JOBS:-2}"

BIN=$PWD/build/bin
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

if [ -x "$BIN/switchersim" ] && [ -f scripts/demo.set ]; then
    # Two chassis: the first carries two levels, the second one level.
    "$BIN/switchersim" --chassis 127.0.0.1:10004:levels=1,2:size=32x32 \
                       --chassis 127.0.0.2:10004:levels=3:size=32x32 </dev/null &
    pids+=($!)
    [ -f "$BIN/matrixpanel.set" ] || cp scripts/demo.set "$BIN/matrixpanel.set"
fi

if [ -n "${DISPLAY:-}" ]; then
    "$BIN/matrixpanel"
else
    shot=$PWD/build/screenshot.png
    echo "No display: running the panel under Xvfb; the screenshot goes to $shot"
    MATRIXPANEL_SCREENSHOT=$shot MATRIXPANEL_SCREENSHOT_DELAY_MS=${SHOT_DELAY_MS:-6000} \
        xvfb-run -a -s "-screen 0 1280x1024x24" "$BIN/matrixpanel"
    echo "Screenshot saved: $shot"
fi
