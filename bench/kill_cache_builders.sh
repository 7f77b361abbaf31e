#!/usr/bin/env bash
# The long run of the killed-builder test: 200 builders killed at random moments (the test
# command runs 20). Environment: BUILD_DIR (default build), ROUNDS (200). Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build}"
cmake --build "$build_dir" --target cache_tests -j 2 >/dev/null
FSCANNER_CACHE_KILL_ROUNDS="${ROUNDS:-200}" "$build_dir/tests/cache/cache_tests" \
  --gtest_filter='*BuilderKilledAtRandomMoments*'
