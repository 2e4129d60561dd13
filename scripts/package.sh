#!/usr/bin/env bash
# Builds the Debian package: a Release build in ./build-package (or $BUILD_DIR),
# then cpack -G DEB. Prints the path of the .deb on the last line.
#   sudo apt install ./build-package/pzt-export-banche_*.deb   # installs it
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
BUILD_DIR=${BUILD_DIR:-build-package}
bash scripts/install-deps.sh

# No tests or benchmark in the package build; the window is required.
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DDOZ_BUILD_TESTS=OFF -DDOZ_BUILD_BENCH=OFF -DDOZ_BUILD_GUI=ON ${CMAKE_EXTRA:-} >/dev/null
rm -f "$BUILD_DIR"/pzt-export-banche_*.deb  # a failed build leaves no stale package behind
cmake --build "$BUILD_DIR" -j"$(nproc)"
if [ ! -x "$BUILD_DIR/PztExport_Banche" ]; then
  echo "package.sh: PztExport_Banche non compilato (manca Qt 6? installare qt6-base-dev)" >&2
  exit 1
fi

(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
deb=$(ls "$BUILD_DIR"/pzt-export-banche_*.deb)
[ "$(printf '%s\n' "$deb" | wc -l)" -eq 1 ] || { echo "package.sh: attesi un solo .deb, trovati: $deb" >&2; exit 1; }
echo "$root/$deb"
