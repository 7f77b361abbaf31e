#!/usr/bin/env bash
# How live the monitor keeps the cache, on a generated tree: the time from a file's creation to
# its appearance in a query (median and 99th percentile), the rate at which a burst of creations
# is absorbed while queries run, a query's added cost for the shared-table protocol, and the
# monitor's CPU and memory idle and under the burst. Runs once per Linux watcher (FSMON_WATCH).
# Builds everything under /tmp and removes it at the end. Not part of the tests.
#
# Environment: BUILD_DIR (default build, configured RelWithDebInfo with the benchmarks when
# missing), FILES (100000), DIRECTORIES (100), WATCHERS ("fanotify inotify"), BURST_FILES
# (100000: files created, then removed, in each burst).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh

build_dir="${BUILD_DIR:-build}"
files="${FILES:-100000}"
directories="${DIRECTORIES:-100}"
watchers="${WATCHERS:-fanotify inotify}"

build_targets "$build_dir" bench_live_monitor fsmon
driver="$build_dir/bench/bench_live_monitor"
fsmon="$build_dir/tools/fsmon/fsmon"

work="$(mktemp -d /tmp/fscanner-live-compare.XXXXXX)"
trap 'rm -rf "$work"' EXIT
generate_tree "$work/data" "$files" "$directories"

# The tree on a fixed drive of its own; the programs on a remote one, so that the monitor's
# selection ($local) holds the tree only.
export FSCANNER_DRIVES="C:=/,remote;D:=$work,fixed"
for watcher in $watchers; do
  rm -rf "${work:?}/home" "${work:?}/data/probes" "${work:?}/data/burst"
  mkdir -p "$work/home"
  echo "== FSMON_WATCH=$watcher"
  FSMON_WATCH="$watcher" "$driver" "$fsmon" "$work/home" "$work/data" | tee "$work/$watcher.txt"
done

echo
printf "%-24s" "figure"
for watcher in $watchers; do printf "%14s" "$watcher"; done
printf "%14s\n" "goal"
for figure in first_scan_s protocol_us visible_ms_p50 visible_ms_p99 burst_files burst_seen \
              burst_changes_per_s burst_create_s burst_visible_s removal_left \
              removal_changes_per_s removal_gone_s \
              fsmon_idle_cpu_pct fsmon_burst_cpu_s fsmon_rss_kib fsmon_peak_rss_kib \
              fsmon_rss_after_removal_kib; do
  case "$figure" in
    protocol_us) goal="< 1000" ;;
    visible_ms_p50) goal="<= 100" ;;
    visible_ms_p99) goal="<= 1000" ;;
    burst_seen) goal="= burst_files" ;;
    removal_left) goal="= 0" ;;
    burst_changes_per_s | removal_changes_per_s) goal=">= 50000" ;;
    *) goal="" ;;
  esac
  printf "%-24s" "$figure"
  for watcher in $watchers; do
    printf "%14s" "$(awk -v f="$figure" '$1 == f {print $2}' "$work/$watcher.txt")"
  done
  printf "%14s\n" "$goal"
done
