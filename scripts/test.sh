#!/usr/bin/env bash
# Builds from scratch and runs every test: once normally, once under ASan + UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

run() {
  local dir=$1; shift
  rm -rf "$dir"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

echo "== normal build"
run build/ci-normal -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build (ASan + UBSan)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run build/ci-asan -DCMAKE_BUILD_TYPE=Debug -DZEVLON_SANITIZE=ON
