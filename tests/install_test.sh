#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed panel
# (offscreen) against the installed simulator: the programs find each other
# and their files without the build tree. As root it also runs the panel as
# another user from a folder that user cannot write, whose files then go to
# the user's configuration folder, seeded from the program folder.
set -euo pipefail
build=$1
work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; [ -n "${KEEP:-}" ] || rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
programs=$prefix/lib/matrixpanel
for f in bin/matrixpanel bin/matrixctl bin/matrixgateway lib/systemd/system/matrixgateway.service \
         share/man/man1/matrixgateway.1.gz bin/switchersim bin/fibrewatch lib/matrixpanel/SFP/fibrewatch \
         lib/matrixpanel/matrixpanel.set.example share/applications/matrixpanel.desktop \
         share/applications/fibrewatch.desktop share/icons/hicolor/48x48/apps/matrixpanel.png \
         share/icons/hicolor/scalable/apps/matrixpanel.svg; do
    [ -e "$prefix/$f" ] || fail "not installed: $f"
done
grep -q '^NoDisplay=true' "$prefix/share/applications/fibrewatch.desktop" || fail "fibrewatch shown in menus"

# A simulator on a loopback address of its own, and a level set pointing at it.
c=$(( (RANDOM % 200) + 20 )); d=$(( (RANDOM % 200) + 20 ))
address=127.77.$c.$d
"$prefix/bin/switchersim" --chassis "$address:10004:levels=1:size=8x8" </dev/null >"$work/sim.log" 2>&1 &
pids+=($!)
packed=$(( 127 + 77 * 256 + c * 65536 + d * 16777216 ))
(( packed < 2147483648 )) || packed=$(( packed - 4294967296 )) # stored as a signed 32-bit value
printf '[OPTIONS]\nCOUNT=1\n[LEVEL1]\nADDRESS=1\nIP=%s\n' "$packed" >"$programs/matrixpanel.set"
for _ in $(seq 100); do # until the simulator listens
    (exec 3<>"/dev/tcp/$address/10004") 2>/dev/null && break
    sleep 0.1
done

run_panel() { # [command prefix...]: the installed panel operates (long enough for a new
              # size to get its salvo folder), then closes itself
    env QT_QPA_PLATFORM=offscreen MATRIXPANEL_SCREENSHOT="$work/shot-$RANDOM.png" \
        MATRIXPANEL_SCREENSHOT_DELAY_MS=5500 "$@" timeout 30 "$prefix/bin/matrixpanel"
}

export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
run_panel || fail "the installed panel did not end cleanly"
[ -f "$programs/matrixpanel.ini" ] || fail "no INI beside the installed program"
[ -d "$programs/Memory/8x8-4" ] || fail "the installed panel did not operate the simulator"
grep -q 'client connected' "$work/sim.log" || fail "the simulator saw no client"
"$prefix/bin/matrixctl" --version | grep -q '^matrixctl ' || fail "the installed matrixctl has no version"
"$prefix/bin/matrixctl" route 3 5 || fail "the installed matrixctl did not route"
shown=$("$prefix/bin/matrixctl" show)
grep -q '^out 3: L1 .* in 5$' <<<"$shown" || fail "the installed matrixctl does not show the route: $(head -n 5 <<<"$shown")"

# The installed gateway serves the same switchers: a client sees the device and routes.
"$prefix/bin/matrixgateway" --version | grep -q '^matrixgateway ' || fail "the installed matrixgateway has no version"
port=$(( 20000 + RANDOM % 20000 ))
"$prefix/bin/matrixgateway" --videohub "127.0.0.1:$port" --ember 127.0.0.1:0 --swp08 127.0.0.1:0 </dev/null >"$work/gateway.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done
exec 3<>"/dev/tcp/127.0.0.1/$port"
present=""
while IFS= read -r -t 10 line <&3; do
    [ "${line%$'\r'}" = "Device present: true" ] && { present=1; break; }
done
[ -n "$present" ] || fail "the installed gateway never reported the device present"
printf 'VIDEO OUTPUT ROUTING:\n3 6\n\n' >&3
for _ in $(seq 50); do
    "$prefix/bin/matrixctl" show | grep -q '^out 4: L1 .* in 7$' && break
    sleep 0.2
done
"$prefix/bin/matrixctl" show | grep -q '^out 4: L1 .* in 7$' || fail "the installed gateway did not route"
exec 3>&-

if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    rm -f "$programs/matrixpanel.ini"
    chmod 555 "$programs"
    home=$work/home
    mkdir -m 777 "$home"
    runtime=$work/runtime-user
    mkdir -m 700 "$runtime" && chown 65534:65534 "$runtime"
    run_panel setpriv --reuid=65534 --regid=65534 --clear-groups \
        env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$runtime" ||
        fail "the panel in a read-only folder did not end cleanly"
    config=$(find "$home/.config" -name matrixpanel.ini -printf '%h\n' | head -n1)
    [ -n "$config" ] || fail "no INI in the user's configuration folder"
    [ -f "$config/matrixpanel.set" ] || fail "the level set was not seeded"
    [ -d "$config/Memory/8x8-4" ] || fail "no salvo folder in the configuration folder"
    [ ! -e "$programs/matrixpanel.ini" ] || fail "wrote beside a read-only program"
    chmod 755 "$programs"
    echo "read-only program folder: files kept in $config"
fi
echo "install test passed"
