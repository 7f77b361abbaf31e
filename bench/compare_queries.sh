#!/usr/bin/env bash
# Compares whole fsquery runs with plocate and find on the same warm tree, in one run, and prints
# a table with ratios and goals:
#   a repeated query (monitor running, cache built; median of RUNS) against `plocate -d DB PATTERN`
#     (plocate matches the whole path), `plocate -d DB -b PATTERN` (the basename match, the fair
#     one: fsquery's [FILENAME] is the name) and `find TREE -name PATTERN`, with the counts;
#   the first query on a new home (monitor start, full scan, query) against updatedb + plocate;
#   the query that restarts the monitor over an unchanged cache (only changed directories are
#     read again) against the first query;
#   the peak RSS of fsquery and of fsmon (VmHWM before each shutdown).
# The drive table makes TREE one fixed drive (D:) and the rest of / a remote drive, so the monitor
# records TREE only; DRIVES=disk leaves FSCANNER_DRIVES unset instead (C:=/, the whole disk, as a
# user meets it; the first scan then covers all of /). With SCALE=1 the tree is a generated one of
# FILES files in DIRECTORIES directories and the pattern *7.dat (every tenth file).
# Installs plocate from the distribution's archive when it is missing. Works under /tmp and removes
# it at the end. Not part of the tests.
#
# Environment: BUILD_DIR (default build, configured RelWithDebInfo when missing), TREE (/usr),
# PATTERN (*.h), RUNS (5), DRIVES (tree or disk), SCALE, FILES (1000000), DIRECTORIES (1000).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh

build_dir="${BUILD_DIR:-build}"
runs="${RUNS:-5}"

ensure_plocate
require_tools python3 plocate /usr/bin/time od
build_targets "$build_dir" fsquery fsquery_runtime
fsquery="$(pwd)/$build_dir/tools/fsquery/fsquery"

work="$(mktemp -d /tmp/fscanner-query-compare.XXXXXX)"
home="$work/home"
stop_monitor() { "$fsquery" --home "$home" --shutdown >/dev/null 2>&1 || true; }
trap 'stop_monitor; rm -rf "$work"' EXIT

if [ -n "${SCALE:-}" ]; then
  tree="$work/tree"
  pattern="${PATTERN:-*7.dat}"
  files="${FILES:-1000000}"
  directories="${DIRECTORIES:-1000}"
  generate_tree "$tree" "$files" "$directories"
else
  tree="$(realpath "${TREE:-/usr}")"
  pattern="${PATTERN:-*.h}"
fi
if [ "${DRIVES:-tree}" = disk ]; then
  unset FSCANNER_DRIVES
  scope="the whole disk (C:=/)"
else
  export FSCANNER_DRIVES="C:=/,remote;D:=$tree,fixed"
  scope="$tree only (D:)"
fi
find "$tree" >/dev/null  # the same warm directory cache for every program
query=("$fsquery" --home "$home" --quiet "$tree" -c "[FILENAME]==\"$pattern\"")

# Sets `seconds` to the wall time of one run of the command, output discarded.
timed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
}
# Sets `seconds` to the median wall time of $runs runs of the command.
median() {
  local all=()
  for _ in $(seq "$runs"); do
    timed "$@"
    all+=("$seconds")
  done
  seconds=$(printf "%s\n" "${all[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
}
# Sets `rss` to the peak RSS (KiB) of one run of the command.
peak_rss() {
  /usr/bin/time -f "%M" -o "$work/rss.txt" "$@" >/dev/null
  rss=$(cat "$work/rss.txt")
}
monitor_pid() { od -An -tu4 -N4 "$home/mon_proc.id" | tr -d ' '; }
monitor_hwm() { awk '/^VmHWM:/ { print $2 }' "/proc/$(monitor_pid)/status"; }
# Stops the monitor and waits until its process has gone.
shutdown_monitor() {
  local pid
  pid=$(monitor_pid)
  "$fsquery" --home "$home" --shutdown
  for _ in $(seq 300); do
    [ -d "/proc/$pid" ] || return 0
    sleep 0.1
  done
  echo "compare: fsmon $pid did not stop" >&2
  exit 1
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "-" }'; }
row() { printf "%-46s %10s %10s %8s %8s\n" "$1" "$2" "$3" "$(ratio "$2" "$3")" "$4"; }

echo "== updatedb over $tree"
timed "$updatedb" -l 0 --prunepaths "" --prunefs "" -U "$tree" -o "$work/tree.db"
updatedb_s=$seconds
peak_rss "$updatedb" -l 0 --prunepaths "" --prunefs "" -U "$tree" -o "$work/tree.db"
updatedb_rss=$rss
timed plocate -d "$work/tree.db" -b "$pattern"
first_plocate_s=$seconds

echo "== first query on a new home, monitor of $scope"
timed "${query[@]}"
first_s=$seconds
first_hwm=$(monitor_hwm)

echo "== $runs repeated queries of each"
median "${query[@]}"
repeated_s=$seconds
median plocate -d "$work/tree.db" "$pattern"
plocate_s=$seconds
median plocate -d "$work/tree.db" -b "$pattern"
plocate_b_s=$seconds
median find "$tree" -name "$pattern"
find_s=$seconds
peak_rss "${query[@]}"
fsquery_rss=$rss
peak_rss plocate -d "$work/tree.db" -b "$pattern"
plocate_rss=$rss
count=$("${query[@]}" --count)
plocate_count=$(plocate -d "$work/tree.db" "$pattern" | wc -l)
plocate_b_count=$(plocate -d "$work/tree.db" -b "$pattern" | wc -l)
find_count=$(find "$tree" -name "$pattern" | wc -l)
find_files=$(find "$tree" -name "$pattern" ! -type d | wc -l)
idle_hwm=$(monitor_hwm)

echo "== restart over the unchanged cache"
shutdown_monitor
timed "${query[@]}"
restart_s=$seconds
restart_hwm=$(monitor_hwm)

echo
echo "tree $tree, [FILENAME]==\"$pattern\", monitor of $scope; load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "counts: fsquery $count, plocate $plocate_count, plocate -b $plocate_b_count," \
  "find $find_count ($find_files not directories)"
printf "%-46s %10s %10s %8s %8s\n" measure fsquery other ratio goal
row "repeated query vs plocate, whole path (s)" "$repeated_s" "$plocate_s" ""
row "repeated query vs plocate -b, basename (s)" "$repeated_s" "$plocate_b_s" "<= 1.0"
row "repeated query vs find -name (s)" "$repeated_s" "$find_s" "<= 0.1"
row "first query vs updatedb + plocate -b (s)" "$first_s" \
  "$(awk -v a="$updatedb_s" -v b="$first_plocate_s" 'BEGIN { printf "%.4f", a + b }')" "<= 1.0"
row "restart query vs first query (s)" "$restart_s" "$first_s" "<= 0.3"
row "fsquery peak RSS vs plocate -b (KiB)" "$fsquery_rss" "$plocate_rss" ""
row "fsmon VmHWM after first scan vs updatedb (KiB)" "$first_hwm" "$updatedb_rss" ""
row "fsmon VmHWM after the queries (KiB)" "$idle_hwm" "$updatedb_rss" ""
row "fsmon VmHWM after the restart (KiB)" "$restart_hwm" "$updatedb_rss" ""
