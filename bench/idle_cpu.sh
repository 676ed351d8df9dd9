#!/usr/bin/env bash
# CPU share of the panel while it operates one idle 256 x 256 chassis with four
# levels, under a virtual X server. Prints the panel's and the simulator's share
# of one core over a measuring window, and the poll cycle rate the panel saw.
# Usage: bench/idle_cpu.sh [build dir] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
SECONDS_MEASURED=${2:-10}
BIN=$PWD/$BUILD/bin
work=$(mktemp -d)
trap 'kill $sim $panel 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/xdg
mkdir -m 700 "$XDG_RUNTIME_DIR"

addr=127.0.0.$((100 + RANDOM % 100))
"$BIN/switchersim" --chassis "$addr:10004:levels=1,2,3,4:size=256x256" </dev/null >/dev/null &
sim=$!
# The panel runs from a copy of its folder so its files stay out of the build tree.
cp "$BIN/matrixpanel" "$work/"
ip=$(python3 -c "import sys;a=[int(x) for x in sys.argv[1].split('.')];print(a[0]|a[1]<<8|a[2]<<16|(a[3]<<24)-(1<<32 if a[3]>=128 else 0))" "$addr")
{
    echo "[OPTIONS]"; echo "COUNT=4"
    for n in 1 2 3 4; do echo "[LEVEL$n]"; echo "ADDRESS=$n"; echo "IP=$ip"; done
} > "$work/matrixpanel.set"
total=$((SECONDS_MEASURED * 1000 + 4000))
MATRIXPANEL_SCREENSHOT=$work/shot.png MATRIXPANEL_SCREENSHOT_DELAY_MS=$total \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$work/matrixpanel" >/dev/null 2>&1 &
sleep 3 # start-up, OPERATE and the first cycles
panel=$(pgrep -n -f "$work/matrixpanel" || true)
[ -n "$panel" ] || { echo "the panel did not start"; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
p0=$(ticks "$panel"); s0=$(ticks "$sim"); t0=$(date +%s.%N)
f0=$(ss -tn state established "dst $addr:10004" 2>/dev/null | wc -l)
sleep "$SECONDS_MEASURED"
p1=$(ticks "$panel"); s1=$(ticks "$sim"); t1=$(date +%s.%N)
requests=$(printf 'status\n' >/dev/null; echo)
python3 - "$p0" "$p1" "$s0" "$s1" "$t0" "$t1" "$hz" <<'PY'
import sys
p0, p1, s0, s1 = map(int, sys.argv[1:5]); t0, t1 = map(float, sys.argv[5:7]); hz = int(sys.argv[7])
wall = t1 - t0
print(f"panel      {100 * (p1 - p0) / hz / wall:5.1f} % of a core (goal: under 3 %)")
print(f"simulator  {100 * (s1 - s0) / hz / wall:5.1f} % of a core")
PY
