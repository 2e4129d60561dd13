#!/usr/bin/env bash
# Regenerates the demonstration data in examples/ with tools/make-demo.cpp.
# Usage: scripts/make-demo.sh [output-folder]   (BUILD_DIR defaults to ./build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT=${1:-examples}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} ${CMAKE_EXTRA:-} >/dev/null
cmake --build "$BUILD_DIR" --target make-demo -j"$(nproc)"
"$BUILD_DIR/make-demo" "$OUT"
