# shellcheck shell=bash
# Shared by the compare_*.sh scripts (sourced from the repository's top directory).

# Exits with a message when one of the named tools is missing.
require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "compare: $tool is missing" >&2; exit 1; }
  done
}

# Installs plocate from the distribution's archive when it is missing; sets `updatedb`.
ensure_plocate() {
  if ! command -v plocate >/dev/null || [ ! -x /usr/sbin/updatedb.plocate ]; then
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends plocate >/dev/null
  fi
  updatedb=/usr/sbin/updatedb.plocate
  [ -x "$updatedb" ] || updatedb="$(command -v updatedb)"
}

# Builds targets in build directory $1 (configured RelWithDebInfo with the benchmarks when new).
build_targets() {
  local build_dir="$1"
  shift
  if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    local generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DFSCANNER_BUILD_BENCH=ON >/dev/null
  fi
  cmake --build "$build_dir" --target "$@" -j 2 >/dev/null
}

# Generates $2 empty files in $3 directories under $1 and warms the directory cache.
generate_tree() {
  echo "== generating $2 files in $3 directories under $1"
  python3 - "$1" "$2" "$3" <<'PY'
import os, sys
root, files, directories = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
per_directory = files // directories
for d in range(directories):
    directory = os.path.join(root, "d%05d" % d)
    os.makedirs(directory)
    for f in range(per_directory):
        open(os.path.join(directory, "f%07d.dat" % (d * per_directory + f)), "wb").close()
PY
  find "$1" >/dev/null
}
