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
# nginx_konfigurace SERVER...: writes $D/nginx/nginx.conf, an nginx of this user whose files
# all lie in $D/nginx (its access log: request, status, bytes sent), with the given lines
# inside its http block.
nginx_konfigurace() {
  mkdir -p "$D/nginx"
  {
    cat << CONF
daemon off;
worker_processes 1;
user $(id -un);
pid $D/nginx/nginx.pid;
error_log $D/nginx/error.log;
events { worker_connections 1024; }
http {
  default_type application/octet-stream;
  log_format zevlon '\$request \$status \$body_bytes_sent';
  access_log $D/nginx/access.log zevlon;
  client_body_temp_path $D/nginx/body;
  proxy_temp_path $D/nginx/proxy;
  fastcgi_temp_path $D/nginx/fastcgi;
  uwsgi_temp_path $D/nginx/uwsgi;
  scgi_temp_path $D/nginx/scgi;
  sendfile on;
  # The default closes a connection after 1,000 requests; one update makes more.
  keepalive_requests 100000;
CONF
    printf '  %s\n' "$@"
    echo '}'
  } > "$D/nginx/nginx.conf"
}
