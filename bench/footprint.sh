#!/usr/bin/env bash
# Footprint of the real, optimised monitor, offscreen, in a namespace of N idle ifb links
# (10 and 1,000), beside a bare Qt window that rewrites 20 fields a second (bare_window):
# CPU of the start-up (first 2 s), CPU per second after that, peak RSS, and the time from
# exec to the main window first exposed (stamped by the preloaded probe, which does
# nothing else with only WEBMONITOR_PROBE_SHOWN set). Needs root.
#   FOOTPRINT_SECONDS  length of each run (default 20)
#   FOOTPRINT_RUNS     runs of each program at each N (default 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
  echo "footprint.sh: needs root to make a network namespace" >&2
  exit 1
fi
seconds=${FOOTPRINT_SECONDS:-20}
runs=${FOOTPRINT_RUNS:-3}
if [ "$seconds" -le 2 ]; then
  echo "footprint.sh: FOOTPRINT_SECONDS must be more than the 2 s of start-up" >&2
  exit 1
fi

"$root/scripts/build.sh" "$root/build-release" -DCMAKE_BUILD_TYPE=Release
build=$root/build-release
probe=$build/tests/libwebmonitor_probe.so
programs=("$build/app/webmonitor" "$build/bench/bare_window")
for file in "$probe" "${programs[@]}"; do
  [ -e "$file" ] || { echo "footprint.sh: $file was not built" >&2; exit 1; }
done

ns=wm-footprint-$$
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s%N; }
# Time on a CPU of the whole process, all its threads, in ns: utime + stime count whole clock
# ticks (10 ms), too coarse for a program that wakes for well under a millisecond a second.
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{ sum += $1 } END { printf "%.0f", sum }'; }

make_namespace() {
  ip netns del "$ns" 2>/dev/null || true
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  # The address scheme of NetNs.cpp's AddIfbLinks, each link up.
  for ((i = 0; i < $1; i++)); do
    echo "link add ifb$i type ifb"
    echo "addr add 10.99.$((i / 250)).$((i % 250 + 1))/32 dev ifb$i"
    echo "link set ifb$i up"
  done | ip -n "$ns" -batch -
}

# One run; appends "program links run startup_ms cpu_ms_per_s hwm_mb shown_ms" to $results.
measure() {
  local program=$1 links=$2 run=$3
  local start=$work/start shown=$work/shown
  rm -f "$start" "$shown"
  # The stamp is taken right before the exec that becomes the program (ip netns exec execs, no fork),
  # and the probe is preloaded into the program alone.
  ip netns exec "$ns" env QT_QPA_PLATFORM=offscreen LC_ALL=C XDG_RUNTIME_DIR="$work" \
    sh -c 'date +%s%N >"$1"; exec env LD_PRELOAD="$2" WEBMONITOR_PROBE_SHOWN="$3" "$4"' \
    sh "$start" "$probe" "$shown" "$program" >"$work/log" 2>&1 &
  pid=$!
  for ((wait = 0; wait < 500; wait++)); do [ -s "$start" ] && break; sleep 0.01; done
  if [ ! -s "$start" ]; then
    echo "footprint.sh: $(basename "$program") did not start" >&2
    exit 1
  fi
  local t0
  t0=$(cat "$start")
  sleep "$(awk -v t="$t0" -v n="$(now)" 'BEGIN { s = 2 - (n - t) / 1e9; print (s > 0 ? s : 0) }')"
  local c1 t1 c2 t2 hwm
  c1=$(cpu_ns "$pid")
  t1=$(now)
  sleep "$(awk -v t="$t0" -v n="$(now)" -v d="$seconds" 'BEGIN { s = d - (n - t) / 1e9; print (s > 0 ? s : 0) }')"
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "footprint.sh: $(basename "$program") ended early:" >&2
    cat "$work/log" >&2
    exit 1
  fi
  c2=$(cpu_ns "$pid")
  t2=$(now)
  hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
  kill -TERM "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
  local exposed=-1
  [ -s "$shown" ] && exposed=$(cat "$shown")
  awk -v p="$(basename "$program")" -v n="$links" -v r="$run" -v c1="$c1" -v c2="$c2" \
    -v t0="$t0" -v t1="$t1" -v t2="$t2" -v hwm="$hwm" -v shown="$exposed" 'BEGIN {
      printf "%-11s %6d %4d %11.0f %10.2f %8.1f %9s\n", p, n, r, c1 / 1e6,
        (c2 - c1) / 1e6 / ((t2 - t1) / 1e9), hwm / 1024,
        (shown < 0 ? "never" : sprintf("%.1f", (shown - t0) / 1e6)) }' >>"$results"
}

results=$work/results
: >"$results"
for links in 10 1000; do
  make_namespace "$links"
  for ((run = 1; run <= runs; run++)); do
    for program in "${programs[@]}"; do
      measure "$program" "$links" "$run"
    done
  done
done
ip netns del "$ns"

echo
echo "Footprint over ${seconds} s a run, offscreen, $(nproc) CPUs; CPU per second from 2 s after exec to the end"
header=$(printf "%-11s %6s %4s %11s %10s %8s %9s" program links run startup_ms cpu_ms/s hwm_MB shown_ms)
echo "$header"
sort -k1,1 -k2,2n -k3,3n "$results"
echo
echo "Medians"
echo "$header" | sed 's/ run /     /'
# Median of each column over the runs of one program at one N.
sort -k1,1 -k2,2n "$results" | awk '
  function median(list,   n, v, i, j, t) {
    n = split(list, v, " ")
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  function flush() {
    if (key != "") printf "%-11s %6d %4s %11.0f %10.2f %8.1f %9.1f\n", prog, links, "", median(c[4]), median(c[5]), median(c[6]), median(c[7])
  }
  { k = $1 " " $2
    if (k != key) { flush(); key = k; prog = $1; links = $2; for (i = 4; i <= 7; i++) c[i] = "" }
    for (i = 4; i <= 7; i++) c[i] = c[i] " " $i }
  END { flush() }'
