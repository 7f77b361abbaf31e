#!/usr/bin/env bash
# Compares the cache with plocate on the same data, in one run, and prints a table with ratios:
#   building a new cache of a generated tree (both tables, all seven indexes, no checksums)
#     against plocate's `updatedb -U TREE -o DB`, with the size on disk and the peak RSS of each;
#   extracting [FILENAME]=="*.h" from a cache of /usr into a counting sink against
#     `plocate -d DB '*.h'`, and [FILENAME]=="stdio.h" against `plocate -d DB -b -r '^stdio\.h$'`
#     (a plain pattern would match as a substring of the name: ustdio.h, nostdio.h).
# With SCALE=1 it times instead, for each count in SCALE_FILES (100000 1000000; 250 files a
# directory), the build against updatedb, with the CPU time per file and the peak RSS, and an
# extraction of every tenth file ([FILENAME]=="*7.dat", which reads every record) with its peak
# RSS and the size of the directory-path cache after it.
# Installs plocate from the distribution's archive when it is missing. Builds everything under
# /tmp and removes it at the end. Not part of the tests.
#
# Environment: BUILD_DIR (default build, configured RelWithDebInfo when missing), FILES (250000),
# DIRECTORIES (1000), SCALE, SCALE_FILES.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh

build_dir="${BUILD_DIR:-build}"
files="${FILES:-250000}"
directories="${DIRECTORIES:-1000}"

ensure_plocate
require_tools python3 plocate /usr/bin/time
build_targets "$build_dir" bench_cache_build
driver="$build_dir/bench/bench_cache_build"

work="$(mktemp -d /tmp/fscanner-cache-compare.XXXXXX)"
trap 'rm -rf "$work"' EXIT
tree="$work/tree"
mkdir -p "$work/cache" "$work/usr-cache"


# Runs a command under /usr/bin/time -v; sets `seconds` (wall), `cpu` (user + system seconds,
# less disturbed by other load) and `rss` (peak, KiB).
measure() {
  local report="$work/time.txt"
  /usr/bin/time -v "$@" >"$work/out.txt" 2>"$report"
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0;
    for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s}' "$report")
  cpu=$(awk -F': ' '/(User|System) time \(seconds\)/ {s += $2} END {print s}' "$report")
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$report")
}
size_kib() { du -sk "$@" | awk '{s += $1} END {print s}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
row() { printf "%-34s %14s %14s %8s\n" "$1" "$2" "$3" "$(ratio "$2" "$3")"; }

if [ -n "${SCALE:-}" ]; then
  printf "%-8s %8s %8s %8s %8s %8s %9s %7s %9s %6s\n" files "build s" updatedb "CPU s" \
    "CPU upd" "us/file" "RSS KiB" "find s" "find RSS" paths
  for count in ${SCALE_FILES:-100000 1000000}; do
    rm -rf "$tree" "$work/cache" && mkdir -p "$work/cache"
    generate_tree "$tree" "$count" $((count / 250)) >&2
    measure "$driver" build "$work/cache" "$tree"
    build_s=$seconds build_cpu=$cpu build_rss=$rss
    measure "$updatedb" -l 0 -U "$tree" -o "$work/tree.db"
    updatedb_s=$seconds updatedb_cpu=$cpu
    measure "$driver" extract "$work/cache" "$tree" '[FILENAME]=="*7.dat"'
    read -r found path_cache <"$work/out.txt"
    [ "$found" = $((count / 10)) ] || echo "compare: $found files found, not $((count / 10))" >&2
    printf "%-8s %8s %8s %8s %8s %8s %9s %7s %9s %6s\n" "$count" "$build_s" "$updatedb_s" \
      "$build_cpu" "$updatedb_cpu" "$(awk -v s="$build_cpu" -v n="$count" \
      'BEGIN { printf "%.2f", s * 1e6 / n }')" "$build_rss" "$seconds" "$rss" "$path_cache"
  done
  exit 0
fi

generate_tree "$tree" "$files" "$directories"
measure "$driver" build "$work/cache" "$tree"
build_s=$seconds build_cpu=$cpu build_rss=$rss
cache_kib=$(size_kib "$work/cache")
measure "$updatedb" -l 0 -U "$tree" -o "$work/tree.db"
updatedb_s=$seconds updatedb_cpu=$cpu updatedb_rss=$rss
db_kib=$(size_kib "$work/tree.db")

echo "== caching /usr for the extractions"
"$driver" build "$work/usr-cache" /usr >/dev/null
"$updatedb" -l 0 -U /usr -o "$work/usr.db"
measure "$driver" extract "$work/usr-cache" /usr '[FILENAME]=="*.h"'
headers_s=$seconds headers=$(cut -d' ' -f1 "$work/out.txt")
measure sh -c "plocate -d '$work/usr.db' '*.h' | wc -l"
plocate_headers_s=$seconds plocate_headers=$(cat "$work/out.txt")
measure "$driver" extract "$work/usr-cache" /usr '[FILENAME]=="stdio.h"'
stdio_s=$seconds stdio=$(cut -d' ' -f1 "$work/out.txt")
measure sh -c "plocate -d '$work/usr.db' -b -r '^stdio\\.h\$' | wc -l"
plocate_stdio_s=$seconds plocate_stdio=$(cat "$work/out.txt")

echo
printf "%-34s %14s %14s %8s\n" "measure" "cache" "plocate" "ratio"
row "build $files files (s)" "$build_s" "$updatedb_s"
row "build CPU, user + system (s)" "$build_cpu" "$updatedb_cpu"
row "build peak RSS (KiB)" "$build_rss" "$updatedb_rss"
row "size on disk (KiB)" "$cache_kib" "$db_kib"
row "*.h in /usr (s; $headers / $plocate_headers)" "$headers_s" "$plocate_headers_s"
row "stdio.h in /usr (s; $stdio / $plocate_stdio)" "$stdio_s" "$plocate_stdio_s"
