#!/usr/bin/env bash
# Sets everything up, builds, and starts the monitor.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
app="$root/build/app/webmonitor"
if [ -x "$app" ]; then
  exec "$app"
fi
echo "Built the interface tables and the traffic counters; the monitor window is not part of this build yet."
