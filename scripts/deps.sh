#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. As root it runs
# apt-get itself; otherwise it prints the line to run and fails.
set -euo pipefail
PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-tools-dev qt6-l10n-tools libsimpleini-dev libx11-dev
          xvfb xauth openbox libxres-dev fonts-dejavu-core fonts-liberation2 clang-14 libfuzzer-14-dev dpkg-dev file scdoc lintian)
missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
fi
