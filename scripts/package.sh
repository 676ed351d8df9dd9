#!/usr/bin/env bash
# Builds the release packages into build-package/: matrixpanel_<version>_<arch>.deb
# (dependencies derived with dpkg-shlibdeps, checked by lintian) and
# matrixpanel-<version>-Linux.tar.gz.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build-package -j "${JOBS:-2}" --target matrixpanel matrixctl fibrewatch switchersim matrixpanel_icon docs
(cd build-package && cpack -G "DEB;TGZ" >/dev/null)
lintian --fail-on error,warning build-package/*.deb
ls -l build-package/*.deb build-package/*.tar.gz
