# What the shell benchmarks share; sourced after B (the build folder) and MS (the link's
# delay in ms, for `proxy`) are set. Makes the work folder D (in $TMPDIR, default /tmp),
# removed with every process started by `spustit` when the script ends.
D=$(mktemp -d "${TMPDIR:-/tmp}/zevlon-bench-${JMENO_BENCHE:-beh}-XXXXXX")
chmod 755 "$D"
PIDS=()
uklid() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$D"
}
trap uklid EXIT
now() { date +%s.%N; }
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
volny_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
# spustit LOG PATTERN COMMAND...: starts COMMAND in the background (output in LOG) and
# waits until LOG shows PATTERN.
spustit() {
  local log=$1 vzor=$2; shift 2
  "$@" > "$log" 2>&1 &
  PIDS+=($!)
  for _ in $(seq 200); do grep -q "$vzor" "$log" 2>/dev/null && return; sleep 0.05; done
  echo "did not start: $*"; cat "$log"; exit 1
}
# proxy NAME TARGET_PORT [--rychlost KBIT]: a proxy at $MS ms to the target; its port in
# ${NAME}_PORT.
proxy() {
  local jmeno=$1 cil=$2; shift 2
  spustit "$D/$jmeno.txt" '^proxy ' "$B/bench/zevlon_bench_proxy" --cil "127.0.0.1:$cil" \
    --zpozdeni "$MS" "$@"
  printf -v "${jmeno}_PORT" '%s' "$(sed -n 's/^proxy 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$D/$jmeno.txt")"
}
