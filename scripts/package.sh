#!/usr/bin/env bash
# Builds the Debian package (without tests and benchmarks) into its own build folder and checks
# it: its dependencies, and that the programs start from a copy unpacked into a temporary root.
#     scripts/package.sh            # build-package/parlewick_<version>_<arch>.deb
set -euo pipefail
source "$(dirname "$0")/common.sh"
parlewick_install_deps
build="${PARLEWICK_PACKAGE_BUILD_DIR:-$PARLEWICK_ROOT/build-package}"

cmake -S "$PARLEWICK_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPARLEWICK_BUILD_TESTS=OFF -DPARLEWICK_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)"
(cd "$build" && rm -f parlewick_*.deb && cpack -G DEB)
deb="$(ls "$build"/parlewick_*.deb)"

depends="$(dpkg-deb --field "$deb" Depends)"
echo "Depends: $depends"
for needed in usbmuxd libimobiledevice6 fonts-noto-color-emoji libqt6widgets6 libqt6svg6 libsqlite3-0; do
    grep -q "\b$needed\b" <<<"$depends" || { echo "the package does not depend on $needed" >&2; exit 1; }
done
# The program makes and restores device backups itself: the backup tool is no dependency.
! grep -q "libimobiledevice-utils" <<<"$depends" || { echo "the package still depends on libimobiledevice-utils" >&2; exit 1; }

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
run() { env -i PATH=/usr/bin:/bin HOME="$root/home" QT_QPA_PLATFORM=offscreen "$@"; }
run "$root/usr/bin/parlewick-cli" version
run "$root/usr/bin/parlewick" --version
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
echo "$deb is good."
