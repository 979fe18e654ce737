#!/usr/bin/env bash
# An office of ten desktops on one line: the vendor's site (`zevlon-publikovat servirovat`)
# behind the latency proxy at 8 Mbit/s and 25 ms each way, and on the office's side Debian's
# nginx with the cache configuration the package ships (balicek/zevlon-mezipamet.conf),
# whose upstream is that same line. Ten installations of the older release of
# `bench/vydani.sh` (libreoffice-core) are updated to the newer one by unattended runs, one
# after another and then ten at once (the cache emptied first), with `Zrcadlo` naming the
# office cache; then the same twenty runs without it, each straight from the vendor.
#
# Figures: the bytes the vendor served (target with the cache: one installation's bytes,
# plus download.ini and its snapshots' requests per run), the bytes each installation
# received, and the time of the tenth run against the first (target <= 0.3x).
#
#   bench/kancelar.sh BUILD_DIR
#
# Needs nginx, apt's package lists and a reachable mirror; skips with a message otherwise.
# Works in $TMPDIR (default /tmp).
if ! command -v nginx > /dev/null; then
  echo "skipped: nginx is not installed (Debian package nginx)"
  exit 0
fi
JMENO_BENCHE=kancelar
. "$(dirname "$0")/vydani_priprava.sh"
NAS=$(cd "$(dirname "$0")/.." && pwd)
N=${N:-10}
"$B/tools/zevlon-publikovat" vydat --vydani 20150115 --adresa "http://127.0.0.1:$PPORT/aktualizace-online/" \
  "$D/vydani2" "$WWW/aktualizace-online" > /dev/null
zmenene

# The office cache: the shipped configuration with its port, its cache folder and the
# vendor's address (plain http through the line here, so the TLS lines go) put in.
MPORT=$(volny_port)
mkdir -p "$D/nginx"
sed -e "s|listen 8080;|listen 127.0.0.1:$MPORT;|" \
  -e "s|https://aktualizace.dunmor.cz|http://127.0.0.1:$PPORT|" \
  -e "s|/var/cache/nginx/zevlon|$D/nginx/mezipamet|" \
  -e '/proxy_ssl_/d' "$NAS/balicek/zevlon-mezipamet.conf" > "$D/nginx/zevlon-mezipamet.conf"
nginx_konfigurace "include $D/nginx/zevlon-mezipamet.conf;"
NGINX_PID=
mezipamet() {  # (re)starts the office cache, empty
  if [ -n "$NGINX_PID" ]; then kill "$NGINX_PID"; wait "$NGINX_PID" 2> /dev/null || true; fi
  rm -rf "$D/nginx/mezipamet"
  nginx -p "$D/nginx/" -e "$D/nginx/error.log" -c "$D/nginx/nginx.conf" &
  NGINX_PID=$!
  PIDS+=("$NGINX_PID")
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$MPORT/" && return
    sleep 0.05
  done
  echo "nginx did not start:"; cat "$D/nginx/error.log"; exit 1
}

# Each desktop: a fresh installation of the older release, its own program folder,
# options, state and temporary folder.
pripravit() {  # pripravit I ZRCADLO
  local k=$D/k$1
  rm -rf "$k"; mkdir -p "$k/inst/data/Firma" "$k/program" "$k/temp"
  cp -a "$D/vydani1/." "$k/inst/data/Firma/"
  cp "$B/Zevlon" "$k/program/"
  printf '[Server]\r\nAdresa=%s\r\n' "http://127.0.0.1:$PPORT/aktualizace-online/" > "$k/program/Zevlon.ini"
  [ -n "$2" ] && printf 'Zrcadlo=%s\r\n' "$2" >> "$k/program/Zevlon.ini"
  printf '[Nastaveni]\r\nSlozkaDat=%s/\r\n' "$k/inst/data/Firma" >> "$k/program/Zevlon.ini"
}
beh() {  # beh I: one unattended run; its seconds in $D/k$I/cas
  local k=$D/k$1 t0 t1
  t0=$(now)
  env -u DISPLAY -u WAYLAND_DISPLAY TEMP="$k/temp" DUNMOR_REGISTRY="$D/registry.reg" \
    XDG_STATE_HOME="$k/stav" "$k/program/Zevlon" < /dev/null > "$k/vystup.txt" 2>&1 ||
    { echo "Zevlon $1 failed ($?):" >&2; cat "$k/vystup.txt" >&2; return 1; }
  t1=$(now)
  diff -rq -x "~zevlon.znacka" "$D/vydani2/Setup/Merko" "$k/inst/data/Firma/Setup/Merko" >&2 ||
    { echo "update $1 left other files than the release's" >&2; return 1; }
  echo "$t1 - $t0" | bc > "$k/cas"
}
# Bytes in an access log (column $2 of the lines matching $3): the vendor's
# (`servirovat`: time method path status length) or the cache's (request status length).
bajty() { awk -v vzor="${3:-.}" '$0 ~ vzor {s += $'"$2"'} END {print s + 0}' "$1"; }
# serie NAME ZRCADLO: ten runs one after another, then ten at once (an empty cache before
# each); prints a table row for each.
serie() {
  local nazev=$1 zrcadlo=$2 rezim i t0 t1 prijato
  for rezim in "one after another" "ten at once"; do
    [ -n "$zrcadlo" ] && mezipamet
    for i in $(seq "$N"); do pripravit "$i" "$zrcadlo"; done
    sync
    : > "$D/pristupy.log"
    : > "$D/nginx/access.log"
    t0=$(now)
    if [ "$rezim" = "ten at once" ]; then
      for i in $(seq "$N"); do beh "$i" & done
      for i in $(seq "$N"); do wait -n || exit 1; done
    else
      for i in $(seq "$N"); do beh "$i" || exit 1; done
    fi
    t1=$(now)
    # What the desktops received: everything the cache answered, and from the vendor what
    # they asked it directly (with the cache, the release folders come only by the cache).
    if [ -n "$zrcadlo" ]; then
      prijato=$(($(bajty "$D/nginx/access.log" 5) + $(bajty "$D/pristupy.log" 5 ' /aktualizace-online/[^v]')))
    else
      prijato=$(bajty "$D/pristupy.log" 5)
    fi
    printf '| %s, %s | %d | %d | %.2f s | %.2f s | %.2fx | %.1f s |\n' "$nazev" "$rezim" \
      "$(bajty "$D/pristupy.log" 5)" "$((prijato / N))" "$(cat "$D/k1/cas")" "$(cat "$D/k$N/cas")" \
      "$(echo "$(cat "$D/k$N/cas") / $(cat "$D/k1/cas")" | bc -l)" "$(echo "$t1 - $t0" | bc)"
  done
}

INI=$(stat -c %s "$WWW/aktualizace-online/download.ini")
printf 'office of %d desktops: %s %s -> %s, %d of %d files changed, %d cores\n' "$N" "$BALICEK" \
  "${VERZE[0]}" "${VERZE[1]}" "$ZMENENE" "$VSECH" "$(nproc)"
printf 'changed files as the site'"'"'s archives: %d bytes; download.ini %d bytes\n\n' "$DEFLATE" "$INI"
echo '| runs | bytes the vendor served | bytes per desktop | first run | last run | last / first | all runs |'
echo '|---|---|---|---|---|---|---|'
serie "office cache" "http://127.0.0.1:$MPORT/aktualizace-online/"
serie "no cache" ""
