#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) and runs each one, starting
# from the seed corpus in fuzz/corpus. What a run finds is kept: new inputs in
# build-fuzz/corpus/<target>/, crashes in fuzz/found/<target>/.
# Usage: scripts/fuzz.sh [--runs N | --seconds S]   (default: --runs 50000)
set -euo pipefail
cd "$(dirname "$0")/.."
limit=(-runs=50000)
case "${1:-}" in
--runs) limit=(-runs="$2") ;;
--seconds) limit=(-max_total_time="$2") ;;
"") ;;
*) echo "usage: $0 [--runs N | --seconds S]" >&2; exit 2 ;;
esac
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DPANEL_SANITIZE=fuzzer >/dev/null
cmake --build build-fuzz -j "${JOBS:-2}" --target fuzz_targets
export QT_QPA_PLATFORM=offscreen
status=0
for entry in router_replies:router utility_replies:utility sim_requests:sim files:files videohub:videohub ember:ember swp08:swp08 undo_record:undo; do
    target=fuzz_${entry%%:*}
    seeds=fuzz/corpus/${entry##*:}
    grown=build-fuzz/corpus/${entry##*:}
    found=fuzz/found/${entry##*:}
    mkdir -p "$grown" "$found"
    # The utility's window lives for the whole run: its memory is not a leak.
    leaks=1
    [ "$target" = fuzz_utility_replies ] && leaks=0
    echo "== $target"
    if ASAN_OPTIONS=detect_leaks=$leaks:abort_on_error=1 \
        "build-fuzz/bin/$target" "${limit[@]}" -artifact_prefix="$found/" "$grown" "$seeds" \
        >"build-fuzz/$target.log" 2>&1; then
        tail -n 1 "build-fuzz/$target.log"
    else
        status=1
        echo "$target FAILED:"; tail -n 30 "build-fuzz/$target.log"
    fi
done
exit $status
