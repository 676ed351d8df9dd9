#!/usr/bin/env bash
# Installs the two Ember+ client libraries the gateway's tests use, exactly as
# tests/ember/package-lock.json pins them, with Node.js and npm from Debian
# where the machine has none.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "Node.js and npm are missing. Run as root: apt-get install -y nodejs npm" >&2
        exit 1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends nodejs npm
fi
dir=tests/ember
stamp=$dir/node_modules/.package-lock.json
if [ ! -f "$stamp" ] || [ "$dir/package-lock.json" -nt "$stamp" ]; then
    echo "== Ember+ client libraries (npm ci)"
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
fi
