#!/usr/bin/env bash
# Compares the walk and the checksums with the standard tools on the same data, in one run:
#   fs_build (a name criterion that selects every file, printing "size path") against
#     find DIR -printf '%s %p\n', and a selective name criterion against find -name;
#   MD5 of a file in the page cache against md5sum and openssl md5;
#   CRC-32 of the same file against zlib's crc32 through python3, and in memory (zlib linked into
#   bench_checksums as well).
# Builds the tree and the file under /tmp and removes them at the end. Not part of the tests.
#
# Environment: BUILD_DIR (default build, configured RelWithDebInfo when missing), FILES (250000),
# DIRECTORIES (1000), FILE_MIB (1024). Every tool walks 5 times and checksums 3 times; the figures
# are per run.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh

build_dir="${BUILD_DIR:-build}"
files="${FILES:-250000}"
directories="${DIRECTORIES:-1000}"
file_mib="${FILE_MIB:-1024}"
walk_runs=5      # kWalkIterations of bench_walk.cc
checksum_runs=3  # kFileIterations of bench_checksums.cc

require_tools find md5sum openssl python3
build_targets "$build_dir" bench_walk bench_checksums
bench_walk="$build_dir/bench/bench_walk"
bench_checksums="$build_dir/bench/bench_checksums"

work="$(mktemp -d /tmp/fscanner-compare.XXXXXX)"
trap 'rm -rf "$work"' EXIT
tree="$work/tree"
data="$work/data.bin"

echo "== generating $files files in $directories directories and a $file_mib MiB file under $work"
python3 - "$tree" "$files" "$directories" <<'PY'
import os, sys
root, files, directories = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
per_directory = files // directories
for d in range(directories):
    directory = os.path.join(root, "d%04d" % d)
    os.makedirs(directory)
    for f in range(per_directory):
        number = d * per_directory + f
        with open(os.path.join(directory, "f%07d.dat" % number), "wb") as out:
            out.write(b"x" * (number % 200))
PY
head -c "$((file_mib << 20))" /dev/urandom > "$data"
cat "$data" > /dev/null

# Runs a command `loops` times, in each of `rounds` rounds, and prints wall, user and system
# seconds divided by `runs` for the fastest round: the machine may be shared, and the fastest
# round is the one least disturbed.
rounds=3
per_run() {
  local loops="$1" runs="$2"
  shift 2
  : >"$work/rounds"
  for ((round = 0; round < rounds; ++round)); do
    /usr/bin/time -f "%e %U %S" -o "$work/time" \
      bash -c 'for ((i = 0; i < '"$loops"'; ++i)); do "$@" >/dev/null 2>&1; done' _ "$@"
    cat "$work/time" >>"$work/rounds"
  done
  sort -n "$work/rounds" | head -n 1 |
    awk -v n="$runs" '{ printf "%.4f %.4f %.4f", $1 / n, $2 / n, $3 / n }'
}

report() {  # name, "wall user system" per run, bytes per run (0: none)
  local times="$2" bytes="$3"
  read -r wall user system <<<"$times"
  NAME="$1" awk -v w="$wall" -v u="$user" -v s="$system" -v b="$bytes" 'BEGIN {
    printf "  %-40s %7.3f s wall %7.3f s cpu", ENVIRON["NAME"], w, u + s
    if (b > 0) printf " %7.0f MiB/s wall %7.0f MiB/s cpu", b / 1048576 / w, b / 1048576 / (u + s)
    printf "\n"
  }'
}

# One benchmark process runs all its iterations of one benchmark.
walk=(env FSCANNER_BENCH_TREE="$tree" FSCANNER_BENCH_SELECT='f0001*' "$bench_walk")
checksum=(env FSCANNER_BENCH_FILE="$data" "$bench_checksums")

echo "== walk of $files files (per run; warm cache)"
find "$tree" -printf '%s %p\n' >/dev/null
"${walk[@]}" --benchmark_filter='^BM_FsBuildEveryFile/' >/dev/null 2>&1
report "find -printf '%s %p\\n'" \
  "$(per_run "$walk_runs" "$walk_runs" find "$tree" -printf '%s %p\n')" 0
report "fs_build [FILENAME]==\"*.dat\", printed" \
  "$(per_run 1 "$walk_runs" "${walk[@]}" --benchmark_filter='^BM_FsBuildEveryFile/')" 0
report "find -name 'f0001*' -printf '%s %p\\n'" \
  "$(per_run "$walk_runs" "$walk_runs" find "$tree" -name 'f0001*' -printf '%s %p\n')" 0
report "fs_build [FILENAME]==\"f0001*\", printed" \
  "$(per_run 1 "$walk_runs" "${walk[@]}" --benchmark_filter='^BM_FsBuildSelectedNames/')" 0

bytes=$((file_mib << 20))
echo "== MD5 of $file_mib MiB in the page cache (per pass)"
report "md5sum" "$(per_run "$checksum_runs" "$checksum_runs" md5sum "$data")" "$bytes"
report "openssl md5" "$(per_run "$checksum_runs" "$checksum_runs" openssl md5 "$data")" "$bytes"
report "computeChecksums MD5" \
  "$(per_run 1 "$checksum_runs" "${checksum[@]}" --benchmark_filter='^BM_FileMd5/')" "$bytes"

echo "== CRC-32 of $file_mib MiB in the page cache (per pass)"
cat > "$work/crc.py" <<'PY'
import sys, zlib
crc = 0
with open(sys.argv[1], "rb", buffering=0) as f:
    while chunk := f.read(1 << 20):
        crc = zlib.crc32(chunk, crc)
print("%08x" % crc)
PY
report "python3 zlib.crc32, 1 MiB reads" \
  "$(per_run "$checksum_runs" "$checksum_runs" python3 "$work/crc.py" "$data")" "$bytes"
report "computeChecksums CRC32" \
  "$(per_run 1 "$checksum_runs" "${checksum[@]}" --benchmark_filter='^BM_FileCrc32/')" "$bytes"

echo "== CRC-32 in memory, 16 MiB buffer"
python3 - <<'PY'
import os, timeit, zlib
data = os.urandom(16 << 20)
best = min(timeit.repeat(lambda: zlib.crc32(data), number=10, repeat=5)) / 10
print("  %-40s %7.0f MiB/s" % ("zlib.crc32 (python3)", len(data) / 1048576 / best))
PY
"$bench_checksums" --benchmark_filter='BM_Crc32(Tables|Folding|Zlib)/16777216' 2>/dev/null |
  awk '/^BM_/ { for (i = 1; i <= NF; ++i) if ($i ~ /^bytes_per_second=/) { split($i, v, "="); printf "  %-40s %s\n", $1, v[2] } }'
