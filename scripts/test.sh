#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: under AddressSanitizer +
# UndefinedBehaviorSanitizer (with the fuzz corpora replayed), the threaded parts
# under ThreadSanitizer, then the plain build, whose CTest summary ends the output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

# Runs one tree's tests; prints its summary, or everything when something failed.
quiet_ctest() {
  local dir=$1
  shift
  if ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$jobs" "$@" >"$dir/ctest.log" 2>&1; then
    grep -E 'tests passed|tests failed|Total Test time' "$dir/ctest.log"
  else
    cat "$dir/ctest.log"
    exit 1
  fi
}

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DPADWRIGHT_SANITIZER=address -DPADWRIGHT_FUZZ=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  quiet_ctest build-asan

echo "== ThreadSanitizer (threaded tests)"
scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DPADWRIGHT_SANITIZER=thread
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  quiet_ctest build-tsan

echo "== Tests"
scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$jobs"
