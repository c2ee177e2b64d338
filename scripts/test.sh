#!/usr/bin/env bash
# Sets everything up, builds, and runs the whole test suite.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
dir=$root/build
options=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=$root/build-asan
  options=(-DWEBMONITOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi
"$root/scripts/build.sh" "$dir" "${options[@]}"
# Widget tests draw without a display.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
