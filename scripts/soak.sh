#!/usr/bin/env bash
# Memory soak: a simulator with one chassis that answers and one that refuses
# connections, a fibrewatch on each, for the given minutes. Prints the resident
# memory of the three processes every 30 s and the largest values at the end.
# Usage: scripts/soak.sh [minutes] [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
MINUTES=${1:-10}
BIN=$PWD/${2:-build}/bin
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
a=127.0.0.$((100 + RANDOM % 50)); b=127.0.0.$((150 + RANDOM % 50))
fifo=$(mktemp -u); mkfifo "$fifo"
"$BIN/switchersim" --chassis "$a" --chassis "$b" <"$fifo" >/dev/null &
sim=$!
exec 3>"$fifo"
echo "refuse 2 on" >&3
"$BIN/SFP/fibrewatch" "$a" >/dev/null 2>&1 &
good=$!
"$BIN/SFP/fibrewatch" "$b" >/dev/null 2>&1 &
refused=$!
trap 'kill $sim $good $refused 2>/dev/null || true; rm -f "$fifo"' EXIT
rss() { awk '/VmRSS/ {print int($2 / 1024)}' "/proc/$1/status"; }
max_sim=0 max_good=0 max_refused=0
end=$(( $(date +%s) + MINUTES * 60 ))
while [ "$(date +%s)" -lt "$end" ]; do
    sleep 30
    s=$(rss $sim); g=$(rss $good); r=$(rss $refused)
    echo "$(date +%T) switchersim ${s} MB, fibrewatch (answering) ${g} MB, fibrewatch (refused) ${r} MB"
    [ "$s" -gt "$max_sim" ] && max_sim=$s
    [ "$g" -gt "$max_good" ] && max_good=$g
    [ "$r" -gt "$max_refused" ] && max_refused=$r
done
echo "largest: switchersim ${max_sim} MB (goal < 50), fibrewatch answering ${max_good} MB," \
     "fibrewatch refused ${max_refused} MB (goal < 60)"
t0=$(date +%s%N); kill -TERM $refused; while kill -0 $refused 2>/dev/null; do sleep 0.01; done
echo "fibrewatch (refused) quit on SIGTERM in $(( ($(date +%s%N) - t0) / 1000000 )) ms"
