#!/usr/bin/env bash
# Saves a picture of the export window, as it opens on the demonstration data
# in examples/, to docs/screenshot.png (or to the file given), and one of the
# window with the list "Controlla" shows on the same data beside the grid, a
# disposition of the list picked, to docs/screenshot-controlla.png (or to the
# second file given).
# Usage: scripts/screenshot.sh [output.png [controlla.png]]   (BUILD_DIR defaults to ./build)
#
# The window runs under a virtual X server (xvfb-run) when one is installed,
# otherwise on Qt's offscreen platform; the picture is taken by the window
# test program, so the user's program has no picture-taking of its own. Settings
# and folders go to a throw-away home, so the user's Banca.ini is neither read
# nor written.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
BUILD_DIR=${BUILD_DIR:-build}
out=${1:-$root/docs/screenshot.png}
case "$out" in /*) ;; *) out="$root/$out" ;; esac
check=${2:-$root/docs/screenshot-controlla.png}
case "$check" in /*) ;; *) check="$root/$check" ;; esac

if [ ! -f "$root/examples/Disposizioni.cds" ] || [ ! -f "$root/examples/Tracciati.xml" ]; then
  echo "screenshot: examples/ has no demonstration data (scripts/make-demo.sh makes it)" >&2
  exit 1
fi

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$BUILD_DIR" --target test_qt -j"${JOBS:-2}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/data" "$(dirname "$out")"

# The working folder holds Tracciati.xml and the layout files; Italian separators.
cd "$root/examples"
run=(env HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" LANG=it_IT.UTF-8
     "$root/$BUILD_DIR/test_qt" --screenshot "$out" "$root/examples" "$check")
if command -v xvfb-run >/dev/null 2>&1; then
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x900x24" "${run[@]}"
else
  echo "screenshot: xvfb-run not found, using the offscreen platform" >&2
  QT_QPA_PLATFORM=offscreen "${run[@]}"
fi
echo "screenshot: $out $check" >&2
