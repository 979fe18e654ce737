#!/usr/bin/env bash
# Builds from scratch and runs every test: once normally (g++), once under AddressSanitizer
# + UndefinedBehaviorSanitizer (clang, which builds it in half the time g++ takes).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
# Most tests wait on servers, child processes and their deadlines rather than on the
# processor, so several run on each core.
test_jobs=${TEST_JOBS:-$((jobs * 4))}

run() {
  local dir=$1; shift
  rm -rf "$dir"
  # The test executables are compiled from a few combined sources: a third of the time.
  cmake -S . -B "$dir" -G Ninja -DZEVLON_UNITY_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$test_jobs")
}

echo "== normal build"
# Line tables are all a backtrace needs; full debug information costs a third of the build.
run build/ci-normal -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
echo "== sanitizer build (ASan + UBSan, clang)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
lld=()
command -v ld.lld >/dev/null && lld=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld
  -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_MODULE_LINKER_FLAGS=-fuse-ld=lld)
CC=clang CXX=clang++ run build/ci-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only \
  -DZEVLON_SANITIZE=ON -DZEVLON_BENCH=OFF "${lld[@]}"
