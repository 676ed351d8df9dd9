#!/usr/bin/env bash
# Builds the .deb from this build tree and checks it as the distribution
# would: lintian reports no error and no warning, every program has its
# manual page, and the page of matrixctl renders.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >/dev/null
deb=$(ls "$work"/*.deb)
lintian --fail-on error,warning "$deb" || fail "lintian"
contents=$(dpkg-deb -c "$deb")
for f in usr/share/doc/matrixpanel/copyright usr/share/doc/matrixpanel/changelog.gz \
         usr/share/metainfo/matrixpanel.metainfo.xml; do
    grep -q " \./$f\$" <<<"$contents" || fail "not packaged: $f"
done
for program in matrixpanel matrixctl fibrewatch switchersim; do
    grep -q " \./usr/bin/$program " <<<"$contents" || fail "not on the PATH: $program"
    grep -q " \./usr/share/man/man1/$program\.1\.gz\$" <<<"$contents" || fail "no manual page: $program"
done
dpkg-deb -x "$deb" "$work/root"
MANWIDTH=80 man -l "$work/root/usr/share/man/man1/matrixctl.1.gz" 2>&1 | grep -q 'EXIT STATUS' ||
    fail "the manual page of matrixctl does not render"
"$work/root/usr/lib/matrixpanel/matrixctl" --version | grep -q '^matrixctl ' || fail "packaged matrixctl"
echo "package ok: $(basename "$deb")"
