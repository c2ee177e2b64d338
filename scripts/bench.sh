#!/usr/bin/env bash
# Sets everything up, builds optimised, and runs the benchmarks (root, for the kernel ones).
# Arguments go to both benchmark programs (a --benchmark_filter that matches only one leaves the other empty).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build-release" -DCMAKE_BUILD_TYPE=Release
"$root/build-release/bench/ifstats_bench" "$@"
if [ -x "$root/build-release/bench/mainform_bench" ]; then
  "$root/build-release/bench/mainform_bench" "$@"
fi
