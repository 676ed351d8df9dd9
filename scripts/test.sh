#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then an AddressSanitizer +
# UndefinedBehaviorSanitizer build; tests labelled "tsan" run once more in a
# ThreadSanitizer build. Before that, every fuzz target runs for a short, fixed
# number of inputs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/ember-clients.sh
JOBS=${JOBS:-2}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

# Line tables are all a failing test's or a sanitizer's stack trace needs, and
# cost far less to build than full debug information; the sanitizer builds run
# at -O1, as their documentation advises.
NORMAL_FLAGS="-O2 -g1 -DNDEBUG"
SANITIZER_FLAGS="-O1 -g1 -DNDEBUG"

run_suite() { # dir sanitizer target [ctest args...]
    local dir=$1 san=$2 target=$3
    shift 3
    local extra=() flags=$NORMAL_FLAGS
    [ -n "$san" ] && flags=$SANITIZER_FLAGS
    # The ThreadSanitizer tests drive the simulator of the normal build.
    [ "$san" = thread ] && extra=(-DSWITCHERSIM_FOR_TESTS="$PWD/build-test/bin/switchersim")
    echo "== Build $dir (sanitizer: ${san:-none})"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPANEL_SANITIZE="$san" \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" "${extra[@]}" >/dev/null
    cmake --build "$dir" -j "$JOBS" --target "$target"
    echo "== Tests $dir"
    (cd "$dir" && ctest --output-on-failure -j "$JOBS" "$@")
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
run_suite build-test "" all
run_suite build-asan address all
echo "== Fuzz targets, a fixed number of runs each"
bash scripts/fuzz.sh --runs 50000
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
run_suite build-tsan thread tsan_tests -L tsan
