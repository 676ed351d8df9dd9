#!/usr/bin/env bash
# Runs the test suite of a build N times in a row while busy loops keep every
# core loaded, and reports how many runs passed. Flaky waits show up here.
# Usage: scripts/stress.sh [runs] [build dir]
set -uo pipefail
cd "$(dirname "$0")/.."
RUNS=${1:-10}
BUILD=${2:-build-test}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
load=()
for _ in $(seq "$(nproc)"); do
    (while :; do :; done) &
    load+=($!)
done
trap 'kill "${load[@]}" 2>/dev/null' EXIT
passed=0
start=$(date +%s)
for run in $(seq "$RUNS"); do
    t0=$(date +%s)
    if (cd "$BUILD" && ctest -j2 --output-on-failure >"/tmp/stress-run-$run.log" 2>&1); then
        passed=$((passed + 1))
        echo "run $run: passed in $(( $(date +%s) - t0 )) s"
    else
        echo "run $run: FAILED in $(( $(date +%s) - t0 )) s (log: /tmp/stress-run-$run.log)"
        grep -E "FAIL|Failed" "/tmp/stress-run-$run.log" | head -5
    fi
done
echo "$passed of $RUNS runs passed under load on $(nproc) cores in $(( $(date +%s) - start )) s"
[ "$passed" -eq "$RUNS" ]
