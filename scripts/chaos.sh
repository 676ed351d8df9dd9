#!/usr/bin/env bash
# Chaos run: the panel (ASan+UBSan build, under Xvfb) operates two simulated
# chassis while the simulator injects a random fault kind every few seconds and
# clears it again, and another operator routes and locks at random. At the end
# it checks that the panel still operates and routes (a click reaches the
# simulator as a switching frame), that no sanitizer reported anything, that
# the panel's memory stayed within 20% of its size after the first minute, and
# that each end of polling gave exactly one error report.
# Usage: scripts/chaos.sh [minutes] [build dir]   (defaults: 10, build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
MINUTES=${1:-10}
BUILD=${2:-build-asan}
bash scripts/deps.sh
if ! command -v xdotool >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends xdotool
    else
        echo "chaos.sh needs xdotool: apt-get install xdotool" >&2
        exit 1
    fi
fi
if [ ! -x "$BUILD/bin/matrixpanel" ]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPANEL_SANITIZE=address \
        >/dev/null
    cmake --build "$BUILD" -j "${JOBS:-2}" --target matrixpanel switchersim
fi

work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
# A small quarantine: ASan keeps freed memory up to 256 MB by default, which
# would hide or fake growth of the resident size.
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=8:log_path=$work/asan
export UBSAN_OPTIONS=print_stacktrace=1:log_path=$work/ubsan
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
cp "$BUILD/bin/matrixpanel" "$work/"
a=127.0.0.$((60 + RANDOM % 40))
b=127.0.0.$((100 + RANDOM % 40))
ip() { # packed form: the first number in the lowest byte, as a signed 32-bit value
    IFS=. read -r p q r s <<<"$1"
    local v=$((p + (q << 8) + (r << 16) + (s << 24)))
    ((v < 2147483648)) || v=$((v - 4294967296))
    echo "$v"
}
printf '[OPTIONS]\nCOUNT=2\n[LEVEL1]\nADDRESS=1\nIP=%s\n[LEVEL2]\nADDRESS=1\nIP=%s\n' \
    "$(ip $a)" "$(ip $b)" >"$work/matrixpanel.set"
printf '[WINDOW]\nLEFT=0\nTOP=0\nWIDTH=1100\nHEIGHT=900\nLASTSTATE=1\n' >"$work/matrixpanel.ini"

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    exec 3>&- 2>/dev/null || true
}
trap cleanup EXIT

fifo=$work/sim.in
mkfifo "$fifo"
"$BUILD/bin/switchersim" --chassis "$a:10004:levels=1:size=32x32" \
    --chassis "$b:10004:levels=1:size=32x32" <"$fifo" >"$work/sim.out" 2>&1 &
pids+=($!)
exec 3>"$fifo"
say() { echo "$*" >&3; }

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 2

# The panel presses OPERATE itself half a second after its start and closes
# itself after the run (its screenshot aid).
run_ms=$(((MINUTES * 60 + 60) * 1000))
MATRIXPANEL_SCREENSHOT=$work/end.png MATRIXPANEL_SCREENSHOT_DELAY_MS=$run_ms \
    QT_LOGGING_RULES="panel.link.info=true" "$work/matrixpanel" >"$work/panel.log" 2>&1 &
panel=$!
pids+=($panel)
sleep 5
window=$(xdotool search --name "HALO SERIES CONTROL PANEL" | head -1)

rss() { awk '/VmRSS/ {print $2}' "/proc/$panel/status" 2>/dev/null || echo 0; }
clients() { # connections chassis 1 has (the panel's when it operates)
    say status
    sleep 0.3
    tail -n 20 "$work/sim.out" | awk -v a="$a" '$2 ~ a {n = $NF} END {print n + 0}'
}
# Dismisses an open error box and presses OPERATE (W) when the panel stopped.
# Without a window manager the focus goes where xdotool puts it.
resume() {
    for box in $(xdotool search --name "Communication Error" 2>/dev/null); do
        xdotool windowfocus "$box" 2>/dev/null || true
        sleep 0.2
        xdotool key Return 2>/dev/null || true
    done
    sleep 0.5
    if [ "$(clients)" = 0 ]; then
        xdotool windowfocus "$window" 2>/dev/null || true
        sleep 0.2
        xdotool key w 2>/dev/null || true
        sleep 3
    fi
}
click_grid() { # a few clicks inside the field: ON LINE routes
    for _ in 1 2 3; do
        xdotool mousemove --window "$window" $((120 + RANDOM % 400)) $((140 + RANDOM % 400)) \
            click 1 2>/dev/null || true
        sleep 0.3
    done
}

kinds=(silent delay close half wrongcommand wrongmarker word truncate oversized garbage
    badchecksum undefined error zero trickle flood badwords extra sizeflip accept-close
    accept-reset)
end=$(($(date +%s) + MINUTES * 60))
first_minute=$(($(date +%s) + 60))
baseline=0
max_rss=0
faults=0
while [ "$(date +%s)" -lt "$end" ]; do
    c=$((1 + RANDOM % 2))
    kind=${kinds[$((RANDOM % ${#kinds[@]}))]}
    case $kind in
    accept-close) say "accept $c close" ;;
    accept-reset) say "accept $c reset" ;;
    flood) say "fault $c any flood -1 65535 200000" ;;
    trickle) say "fault $c any trickle -1 5" ;;
    *) say "fault $c any $kind -1" ;;
    esac
    faults=$((faults + 1))
    for _ in 1 2 3; do # the other operator, while the fault lasts
        say "route $((1 + RANDOM % 2)) 1 $((1 + RANDOM % 32)) $((1 + RANDOM % 32))"
        say "lock $((1 + RANDOM % 2)) 1 $((1 + RANDOM % 32))"
        sleep 1
    done
    say "clear $c"
    say "accept $c normal"
    resume
    click_grid
    r=$(rss)
    [ "$r" -gt "$max_rss" ] && max_rss=$r
    if [ "$baseline" = 0 ] && [ "$(date +%s)" -ge "$first_minute" ]; then
        baseline=$r
        max_rss=$r
    fi
done

# Calm again: the panel must still operate and route.
sleep 5
resume
resume
say "requests 1" # forget the frames so far
sleep 0.5
before=$(grep -cE '^frame [0-9]+ 5 ' "$work/sim.out" || true)
click_grid
click_grid
sleep 2
say "requests 1"
sleep 1
after=$(grep -cE '^frame [0-9]+ 5 ' "$work/sim.out" || true)
routed=$((after - before))
final_rss=$(rss)
alive=yes
kill -0 "$panel" 2>/dev/null || alive=no
kill "$panel" 2>/dev/null || true
wait "$panel" 2>/dev/null || true

ended=$(grep -c 'Polling ended by an error' "$work/panel.log" || true)
reports=$(grep -c 'Communication Error:' "$work/panel.log" || true)
losses=$(grep -c 'lost (status' "$work/panel.log" || true)
sanitizer=$(cat "$work"/asan.* "$work"/ubsan.* 2>/dev/null | grep -c 'ERROR\|runtime error' || true)
echo "faults injected: $faults in $MINUTES min; connection losses logged: $losses"
echo "polling ended: $ended times; error reports: $reports"
echo "panel RSS: after the first minute $((baseline / 1024)) MB, largest $((max_rss / 1024)) MB," \
    "at the end $((final_rss / 1024)) MB"
echo "switching frames after the run: $routed; panel alive: $alive; sanitizer reports: $sanitizer"
ok=1
[ "$alive" = yes ] || { echo "FAIL: the panel died"; ok=0; }
[ "$routed" -gt 0 ] || { echo "FAIL: no route reached the simulator"; ok=0; }
[ "$sanitizer" = 0 ] || { echo "FAIL: sanitizer reports in $work"; ok=0; }
[ "$reports" = "$ended" ] || { echo "FAIL: $reports error reports for $ended ends of polling"; ok=0; }
if [ "$baseline" -gt 0 ] && [ "$final_rss" -gt $((baseline * 12 / 10)) ]; then
    echo "FAIL: memory grew by more than 20%"
    ok=0
fi
echo "logs in $work"
[ "$ok" = 1 ] && echo "chaos run passed" || exit 1
