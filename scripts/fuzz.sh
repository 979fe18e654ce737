#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each one: first over its
# seed corpus in fuzz/korpus/ only, as a regression test, then fuzzing for
# FUZZ_SECONDS (default 30) with new inputs kept in a temporary folder, never in the
# repository. Fails on any crash, leak, timeout or broken property and prints the
# reproducer (also kept in the build folder).
#
#   FUZZ_SECONDS=30     fuzzing time per target (0: the corpus run only)
#   FUZZ_SEED=1         libFuzzer's seed; fixed so that a run is repeatable and a
#                       failure is reproduced by the same command (0: a random seed,
#                       for longer searches)
#   FUZZ_JOBS=<nproc>   targets fuzzed at the same time
#   FUZZ_TARGETS="ini_fuzz unzip_fuzz"   a subset
#   FUZZ_BUILD_DIR=build-fuzz
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${FUZZ_SECONDS:-30}
seed=${FUZZ_SEED:-1}
jobs=${FUZZ_JOBS:-$(nproc)}
build=${FUZZ_BUILD_DIR:-build-fuzz}
[[ $build = /* ]] || build=$root/$build
targets=(${FUZZ_TARGETS:-ini_fuzz registr_fuzz snapshot_fuzz manifest_fuzz ftp_seznam_fuzz unzip_fuzz podpis_fuzz})

# Dictionaries of the targets that have one.
declare -A dict=(
  [ini_fuzz]=fuzz/slovnik/ini.dict
  [registr_fuzz]=fuzz/slovnik/regedit.dict
  [manifest_fuzz]=fuzz/slovnik/xml.dict
  [ftp_seznam_fuzz]=fuzz/slovnik/ftp.dict
  [podpis_fuzz]=fuzz/slovnik/minisign.dict
)

command -v clang++ >/dev/null || { echo "fuzz: clang++ is missing (scripts/install-deps.sh)" >&2; exit 1; }

echo "== fuzz build ($build)"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZEVLON_FUZZ=ON -DZEVLON_TESTS=OFF -DZEVLON_BENCH=OFF >/dev/null
cmake --build "$build" --target zevlon_fuzz -j "$(nproc)"

# Everything the runs write (new inputs, artifacts, the targets' work folders) lives in
# one temporary folder, in memory when /dev/shm allows: the unzip target syncs files.
base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
tmp=$(mktemp -d "$base/zevlon-fuzz.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/prace" "$tmp/log" "$tmp/artefakty"
export TMPDIR=$tmp/prace
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
kept="$build/fuzz-artefakty"

# run <target> <phase> <libFuzzer arguments...>: one libFuzzer process, logged.
run() {
  local t=$1 phase=$2
  shift 2
  local args=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$tmp/artefakty/$t-$phase-")
  [ -n "${dict[$t]:-}" ] && args+=(-dict="$root/${dict[$t]}")
  timeout -k 10 $((seconds * 2 + 120)) "$build/fuzz/$t" "${args[@]}" "$@" \
    >"$tmp/log/$t.$phase.log" 2>&1
}

# report <target> <phase> <status>: the executions done, or the failure and its reproducer.
failed=0
report() {
  local t=$1 phase=$2 status=$3 log="$tmp/log/$1.$2.log"
  local done_line
  done_line=$(grep -a -E '^Done [0-9]+ runs' "$log" | tail -n 1 || true)
  if [ "$status" -eq 0 ]; then
    printf '%-16s %-8s %s\n' "$t" "$phase" "${done_line:-finished}"
    return
  fi
  failed=1
  printf '%-16s %-8s FAILED (exit %s)\n' "$t" "$phase" "$status"
  grep -a -E '==zevlon-fuzz==|ERROR: |SUMMARY: |runtime error' "$log" | head -n 20 | sed 's/^/    /' || true
  echo "    ---- log tail ($log)"
  tail -n 40 "$log" | sed 's/^/    /'
  mkdir -p "$kept"
  local a
  for a in "$tmp/artefakty/$t-$phase-"*; do
    [ -e "$a" ] || continue
    cp "$a" "$kept/"
    echo "    reproducer: $kept/$(basename "$a")"
    echo "    run again:  $build/fuzz/$t $kept/$(basename "$a")"
    echo "    base64:     $(base64 -w0 "$a")"
  done
}

echo "== corpus regression (fuzz/korpus/<target>, -runs=0)"
passed=()
for t in "${targets[@]}"; do
  status=0
  run "$t" korpus -runs=0 "$root/fuzz/korpus/${t%_fuzz}" || status=$?
  report "$t" korpus "$status"
  # A target that fails on its own corpus is not fuzzed: it would only find that again.
  [ "$status" -eq 0 ] && passed+=("$t")
done

if [ "$seconds" -gt 0 ] && [ "${#passed[@]}" -gt 0 ]; then
  echo "== fuzzing ${seconds}s per target, $jobs at a time, seed $seed"
  for t in "${passed[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
    mkdir -p "$tmp/korpus/$t"
    (
      status=0
      run "$t" fuzz -max_total_time="$seconds" -seed="$seed" -reload=0 \
        "$tmp/korpus/$t" "$root/fuzz/korpus/${t%_fuzz}" ||
        status=$?
      echo "$status" >"$tmp/log/$t.fuzz.status"
    ) &
  done
  wait
  for t in "${passed[@]}"; do
    report "$t" fuzz "$(cat "$tmp/log/$t.fuzz.status")"
  done
fi

if [ "$failed" -ne 0 ]; then
  echo "fuzz: FAILED (reproducers kept in $kept)" >&2
  exit 1
fi
echo "fuzz: all targets passed"
