#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#
#   scripts/test.sh              # the normal build in ./build (or $BUILD_DIR)
#   SANITIZE=1 scripts/test.sh   # the whole suite with AddressSanitizer and
#                                # UndefinedBehaviorSanitizer in ./build-asan
#                                # (no window: Qt's own allocations are not ours to check)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if [ "${SANITIZE:-0}" = 1 ]; then
  export BUILD_DIR=${BUILD_DIR:-build-asan}
  export CMAKE_EXTRA="-DDOZ_SANITIZE=ON -DDOZ_BUILD_GUI=OFF -DDOZ_BUILD_BENCH=OFF ${CMAKE_EXTRA:-}"
  # Any report fails the test that caused it.
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi
bash scripts/build.sh
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"$(nproc)"
