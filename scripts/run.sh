#!/usr/bin/env bash
# Sets everything up, builds, and starts the monitor.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
exec "$root/build/app/webmonitor"
