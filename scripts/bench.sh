#!/usr/bin/env bash
# Sets everything up, builds optimised, and runs the benchmarks (root, for the kernel ones).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build-release" -DCMAKE_BUILD_TYPE=Release
"$root/build-release/bench/ifstats_bench" "$@"
