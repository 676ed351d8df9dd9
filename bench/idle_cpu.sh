#!/usr/bin/env bash
# CPU share of the panel while it operates one idle 256 x 256 chassis with four
# levels, under a virtual X server. Prints the panel's and the simulator's share
# of one core over a measuring window, their ratio, and the panel's resident
# memory. With "4k", the four levels are on four chassis and the panel runs
# at the full size of a 3840 x 2160 screen.
# Usage: bench/idle_cpu.sh [build dir] [seconds] [4k]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
SECONDS_MEASURED=${2:-10}
LAYOUT=${3:-}
BIN=$PWD/$BUILD/bin
work=$(mktemp -d)
sims=()
panel=
trap 'kill "${sims[@]}" $panel 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/xdg
mkdir -m 700 "$XDG_RUNTIME_DIR"

base=$((100 + RANDOM % 100))
addr=127.0.0.$base
screen=1280x1024
if [ "$LAYOUT" = 4k ]; then
    screen=3840x2160
    for n in 1 2 3 4; do
        "$BIN/switchersim" --chassis "127.0.$n.$base:10004:levels=$n:size=256x256" </dev/null >/dev/null &
        sims+=($!)
    done
    # Without a window manager a maximise request changes nothing: ask for the screen's size.
    printf '[WINDOW]\nLEFT=0\nTOP=0\nWIDTH=3840\nHEIGHT=2160\n' > "$work/matrixpanel.ini"
else
    "$BIN/switchersim" --chassis "$addr:10004:levels=1,2,3,4:size=256x256" </dev/null >/dev/null &
    sims+=($!)
fi
# The panel runs from a copy of its folder so its files stay out of the build tree.
cp "$BIN/matrixpanel" "$work/"
packed() { python3 -c "import sys;a=[int(x) for x in sys.argv[1].split('.')];print(a[0]|a[1]<<8|a[2]<<16|(a[3]<<24)-(1<<32 if a[3]>=128 else 0))" "$1"; }
{
    echo "[OPTIONS]"; echo "COUNT=4"
    for n in 1 2 3 4; do
        host=$addr
        [ "$LAYOUT" = 4k ] && host=127.0.$n.$base
        echo "[LEVEL$n]"; echo "ADDRESS=$n"; echo "IP=$(packed "$host")"
    done
} > "$work/matrixpanel.set"
total=$((SECONDS_MEASURED * 1000 + 4000))
MATRIXPANEL_SCREENSHOT=$work/shot.png MATRIXPANEL_SCREENSHOT_DELAY_MS=$total \
    xvfb-run -a -s "-screen 0 ${screen}x24" "$work/matrixpanel" >/dev/null 2>&1 &
sleep 3 # start-up, OPERATE and the first cycles
panel=$(pgrep -n -f "$work/matrixpanel" || true)
[ -n "$panel" ] || { echo "the panel did not start"; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
simticks() { local t=0; for p in "${sims[@]}"; do t=$((t + $(ticks "$p"))); done; echo $t; }
p0=$(ticks "$panel"); s0=$(simticks); t0=$(date +%s.%N)
f0=$(ss -tn state established "dst $addr:10004" 2>/dev/null | wc -l)
sleep "$SECONDS_MEASURED"
p1=$(ticks "$panel"); s1=$(simticks); t1=$(date +%s.%N)
rss=$(awk '/^VmRSS/ {print $2}' "/proc/$panel/status")
requests=$(printf 'status\n' >/dev/null; echo)
python3 - "$p0" "$p1" "$s0" "$s1" "$t0" "$t1" "$hz" "$rss" "$screen" <<'PY'
import sys
p0, p1, s0, s1 = map(int, sys.argv[1:5]); t0, t1 = map(float, sys.argv[5:7]); hz = int(sys.argv[7])
rss, screen = int(sys.argv[8]), sys.argv[9]
wall = t1 - t0
panel, sim = (p1 - p0) / hz / wall, (s1 - s0) / hz / wall
print(f"panel      {100 * panel:5.1f} % of a core (goal: under 3 %)")
print(f"simulator  {100 * sim:5.1f} % of a core")
print(f"ratio      {panel / sim:5.2f} panel to simulator" if sim > 0 else "ratio        -")
print(f"memory     {rss / 1024:5.1f} MB resident, screen {screen} (goal: under 100 MB)")
PY
