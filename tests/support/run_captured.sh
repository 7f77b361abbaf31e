#!/bin/sh
# Runs a command (a Windows test program under Wine) with its output going through a file, then
# prints that output and ends with the command's exit code.
#
# Under Wine, a child started with a console of its own gets a console host process that inherits
# the test program's output; when that host outlives the program, a pipe given to the program
# would stay open and CTest would wait for its end until the test times out.
#
# Wine itself rarely fails a run, more often under load: it ends before the program's main has
# printed anything, or its own process dies of a signal, sometimes while the program ends after
# all its tests passed. A crash of the program is never such a case: the test programs' crash
# filter turns it into exit code 197 with a message. Such a run is reported on standard error
# (standard output carries the test list that CTest reads) and started once more.
readonly wine_died_of_abort=134 wine_died_of_bus_error=135 wine_died_of_segfault=139
output="$(mktemp)" || exit 1

run() {
  "$@" >"$output" 2>&1
}

wine_failed() {
  case "$1" in
    0) return 1 ;;
    "$wine_died_of_abort" | "$wine_died_of_bus_error" | "$wine_died_of_segfault") return 0 ;;
  esac
  [ ! -s "$output" ]
}

run "$@"
status=$?
if wine_failed "$status"; then
  {
    echo "run_captured: Wine failed the run (exit code $status) with this output:"
    cat "$output"
    echo "run_captured: starting it again"
  } >&2
  run "$@"
  status=$?
fi
cat "$output"
rm -f "$output"
exit "$status"
