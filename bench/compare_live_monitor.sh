#!/usr/bin/env bash
# How live the monitor keeps the cache, on a generated tree: the time from a file's creation to
# its appearance in a query (median and 99th percentile), the rate at which a burst of creations
# is absorbed while queries run, a query's added cost for the shared-table protocol, and the
# monitor's CPU and memory idle and under the burst. Runs once per Linux watcher (FSMON_WATCH).
# Builds everything under /tmp and removes it at the end. Not part of the tests.
#
# Environment: BUILD_DIR (default build, configured RelWithDebInfo with the benchmarks when
# missing), FILES (100000), DIRECTORIES (100), WATCHERS ("fanotify inotify").
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${BUILD_DIR:-build}"
files="${FILES:-100000}"
directories="${DIRECTORIES:-100}"
watchers="${WATCHERS:-fanotify inotify}"

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  generator=()
  command -v ninja >/dev/null && generator=(-G Ninja)
  cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFSCANNER_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build_dir" --target bench_live_monitor fsmon -j 2 >/dev/null
driver="$build_dir/bench/bench_live_monitor"
fsmon="$build_dir/tools/fsmon/fsmon"

work="$(mktemp -d /tmp/fscanner-live-compare.XXXXXX)"
trap 'rm -rf "$work"' EXIT
echo "== generating $files files in $directories directories under $work"
python3 - "$work/data" "$files" "$directories" <<'PY'
import os, sys
root, files, directories = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
per_directory = files // directories
for d in range(directories):
    directory = os.path.join(root, "d%04d" % d)
    os.makedirs(directory)
    for f in range(per_directory):
        open(os.path.join(directory, "f%07d.dat" % (d * per_directory + f)), "wb").close()
PY

# The tree on a fixed drive of its own; the programs on a remote one, so that the monitor's
# selection ($local) holds the tree only.
export FSCANNER_DRIVES="C:=/,remote;D:=$work,fixed"
for watcher in $watchers; do
  rm -rf "$work/home" "$work/data/probes" "$work/data/burst"
  mkdir -p "$work/home"
  echo "== FSMON_WATCH=$watcher"
  FSMON_WATCH="$watcher" "$driver" "$fsmon" "$work/home" "$work/data" | tee "$work/$watcher.txt"
done

echo
printf "%-24s" "figure"
for watcher in $watchers; do printf "%14s" "$watcher"; done
printf "%14s\n" "goal"
for figure in first_scan_s protocol_us visible_ms_p50 visible_ms_p99 burst_changes_per_s \
              burst_create_s burst_visible_s fsmon_idle_cpu_pct fsmon_burst_cpu_s fsmon_rss_kib \
              fsmon_peak_rss_kib; do
  case "$figure" in
    protocol_us) goal="< 1000" ;;
    visible_ms_p50) goal="<= 100" ;;
    visible_ms_p99) goal="<= 1000" ;;
    burst_changes_per_s) goal=">= 50000" ;;
    *) goal="" ;;
  esac
  printf "%-24s" "$figure"
  for watcher in $watchers; do
    printf "%14s" "$(awk -v f="$figure" '$1 == f {print $2}' "$work/$watcher.txt")"
  done
  printf "%14s\n" "$goal"
done
