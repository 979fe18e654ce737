#!/usr/bin/env bash
# Slow link: unattended runs of Zevlon over a link of 25 ms each way (zevlon_bench_proxy
# on loopback), against rsync over the same link.
#
#   bench/pomala_linka.sh BUILD_DIR [runs]
#
# A release of 2,000 files of 2-64 KiB; installations of the release before it where 100,
# then 1,000 of the files are older and different. Each is renewed
#   (a) by Zevlon from the publisher's own server (`zevlon-publikovat servirovat`,
#       HTTP/1.1),
#   (b) by Zevlon from nginx over https with HTTP/2 (a throw-away self-signed
#       certificate, trusted through SSL_CERT_FILE),
#   (c) by `rsync -a` from a loopback rsync daemon (the reference),
# all three through the proxy. Then (d): 4 changed files of 8 MiB that hardly compress
# beside 200 unchanged small ones, over a link of 8 Mbit/s and 25 ms, against the ideal
# time: the site's archives of the changed files at 1 MB/s.
#
# Works in $TMPDIR (default /tmp).
set -euo pipefail
umask 022  # the program folder of a run as root must not be writable by others
B=$(cd "$1" && pwd); RUNS=${2:-3}
MS=25
JMENO_BENCHE=linka
. "$(dirname "$0")/spolecne.sh"
# stejne A B MESSAGE: every file of A stands in B with the same content, or MESSAGE and out.
stejne() {
  local rozdily
  rozdily=$(diff -rq "$1" "$2" | grep -v "^Only in $2" || true)
  [ -z "$rozdily" ] || { echo "$3:"; echo "$rozdily" | head; exit 1; }
}
# The releases. Content is derived from the file's number, so every run has the same data;
# half of a small file is random and half repeats, a large one is all random.
cat > "$D/strom.py" <<'PY'
import os, random, sys
T_NOVY, T_STARY = 1419940800, 1393632000  # 2014-12-31, 2014-03-01

def soubor(cesta, obsah, cas):
    os.makedirs(os.path.dirname(cesta), exist_ok=True)
    with open(cesta, "wb") as f:
        f.write(obsah)
    os.utime(cesta, (cas, cas))

def maly(i, semeno):
    r = random.Random(i * 7 + semeno)
    velikost = 2048 << r.randrange(6)
    return r.randbytes(velikost // 2) + (b"%08d" % i) * (velikost // 16)

def male(koren, n, semeno=0, jen=lambda i: True, cas=T_NOVY):
    for i in range(n):
        if jen(i):
            soubor("%s/Setup/Merko/modul%d/soubor%d.dat" % (koren, i % 40, i), maly(i, semeno), cas)

prikaz, koren = sys.argv[1], sys.argv[2]
if prikaz == "vydani":       # vydani ROOT FILES
    male(koren, int(sys.argv[3]))
elif prikaz == "zmenit":     # zmenit ROOT FILES CHANGED: every (FILES/CHANGED)-th file older
    n, k = int(sys.argv[3]), int(sys.argv[4])
    male(koren, n, 1, lambda i: i % (n // k) == 0, T_STARY)
elif prikaz == "velke":      # velke ROOT: 4 files of 8 MiB and 200 small ones
    male(koren, 200)
    for i in range(4):
        obsah = random.Random(1000 + i).randbytes(8 << 20)
        soubor("%s/Setup/Merko/velke/velky%d.bin" % (koren, i), obsah, T_NOVY)
elif prikaz == "velke-stare":
    for i in range(4):
        soubor("%s/Setup/Merko/velke/velky%d.bin" % (koren, i), b"stary obsah", T_STARY)
PY
N=2000
python3 "$D/strom.py" vydani "$D/vydani" "$N"
python3 "$D/strom.py" velke "$D/velke"
for v in vydani velke; do
  mkdir -p "$D/$v/SetupCommon/System"
  printf '[Merko]\r\nRelease=20141231\r\n' > "$D/$v/Setup/Merko/Merko.ini"
  printf 'společné komponenty' > "$D/$v/SetupCommon/System/spolecne.dll"
  touch -d '2014-12-31 12:00' "$D/$v/SetupCommon/System/spolecne.dll"
done
# stara NAME RELEASE [strom.py arguments]: an installation of the release, altered.
stara() {
  mkdir -p "$D/$1/data/Firma"
  cp -a "$D/$2/." "$D/$1/data/Firma/"
  python3 "$D/strom.py" "${@:3}"
}
stara stara100 vydani zmenit "$D/stara100/data/Firma" "$N" 100
stara stara1000 vydani zmenit "$D/stara1000/data/Firma" "$N" 1000
stara stara-velke velke velke-stare "$D/stara-velke/data/Firma"

# The servers, each behind a proxy of its own.
mkdir -p "$D/www" "$D/nginx"
spustit "$D/web.txt" naslouchá "$B/tools/zevlon-publikovat" servirovat --port 0 \
  --log "$D/web.log" "$D/www"
WEB=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$D/web.txt")
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$D/nginx/klic.pem" -out "$D/nginx/cert.pem" \
  2> /dev/null
NGINX=$(volny_port); NGINX_HTTP=$(volny_port)
nginx_konfigurace 'server {' \
  "  listen 127.0.0.1:$NGINX ssl http2;" \
  "  # Plain HTTP for the proxy's check of many connections at once: its backlog holds" \
  "  # them all, where servirovat's (64) drops some and their clients retry a second later." \
  "  listen 127.0.0.1:$NGINX_HTTP;" \
  '  # TLS 1.3 as nginx offers it by default from 1.23.4 on (one round trip less to connect).' \
  '  ssl_protocols TLSv1.2 TLSv1.3;' \
  "  ssl_certificate $D/nginx/cert.pem;" \
  "  ssl_certificate_key $D/nginx/klic.pem;" \
  "  root $D/www;" '}'
nginx -p "$D/nginx/" -e "$D/nginx/error.log" -c "$D/nginx/nginx.conf" &
PIDS+=($!)
RSYNC=$(volny_port)
printf 'use chroot = no\n[vydani]\npath = %s\nread only = yes\n' "$D/vydani" > "$D/rsyncd.conf"
rsync --daemon --no-detach --address=127.0.0.1 --port="$RSYNC" --config="$D/rsyncd.conf" &
PIDS+=($!)
proxy H1 "$WEB"
proxy VELKE "$WEB" --rychlost 8000
proxy H2 "$NGINX"
proxy SOUBEZNE "$NGINX_HTTP"
proxy RSYNC "$RSYNC"
for _ in $(seq 100); do
  curl -s -o /dev/null --cacert "$D/nginx/cert.pem" "https://127.0.0.1:$NGINX/" && break
  sleep 0.05
done

# The sites: each names its own address, through its proxy.
vydat() {
  "$B/tools/zevlon-publikovat" vydat --vydani 20141231 --adresa "$1" "$2" "$3" > /dev/null
}
vydat "http://127.0.0.1:$H1_PORT/h1/" "$D/vydani" "$D/www/h1"
vydat "https://127.0.0.1:$H2_PORT/h2/" "$D/vydani" "$D/www/h2"
vydat "http://127.0.0.1:$VELKE_PORT/velke/" "$D/velke" "$D/www/velke"
# program NAME ADDRESS: a program folder for runs against the site at ADDRESS.
program() {
  mkdir -p "$D/$1"
  cp "$B/Zevlon" "$D/$1/"
  printf '[Server]\r\nAdresa=%s\r\n[Nastaveni]\r\nSlozkaDat=%s/\r\n' "$2" "$D/inst/data/Firma" \
    > "$D/$1/Zevlon.ini"
}
program program-h1 "http://127.0.0.1:$H1_PORT/h1/"
program program-h2 "https://127.0.0.1:$H2_PORT/h2/"
program program-velke "http://127.0.0.1:$VELKE_PORT/velke/"
mkdir -p "$D/temp"
printf 'REGEDIT4\r\n' > "$D/registry.reg"

# The proxy delays: two GETs of the site's download.ini on one connection, straight and
# through the proxy. Through it the first costs two round trips (the handshake and the
# request), the second one.
dvakrat() { curl -s -o /dev/null -o /dev/null -w '%{time_total} ' "$1" "$1"; }
read -r p1 p2 <<< "$(dvakrat "http://127.0.0.1:$H1_PORT/h1/download.ini")"
read -r r1 r2 <<< "$(dvakrat "http://127.0.0.1:$WEB/h1/download.ini")"
printf 'proxy check: GET, new connection %.1f ms, kept one %.1f ms (straight: %.1f / %.1f ms)\n' \
  "$(echo "$p1 * 1000" | bc)" "$(echo "$p2 * 1000" | bc)" "$(echo "$r1 * 1000" | bc)" \
  "$(echo "$r2 * 1000" | bc)"
if [ "$(echo "$p1 < 4 * $MS / 1000 || $p2 < 2 * $MS / 1000" | bc -l)" = 1 ]; then
  echo "the proxy does not delay"; exit 1
fi
# Many connections at once: 200 GETs of different archives, each on its own connection,
# take about as long through the proxy as straight (plus a round trip or two) when the
# proxy holds them side by side; one after another they would take 200 x 100 ms.
# soubezne PORT: the time of the 200 GETs through PORT, in ms.
soubezne() {
  rm -rf "$D/soubezne"
  find "$D/www/h1/Setup" -name '*.zip' | sort | awk 'NR <= 200' |
    sed "s|^$D/www/\(.*\)|url = \"http://127.0.0.1:$1/\1\"\noutput = \"$D/soubezne/\1\"|" \
      > "$D/soubezne.txt"
  local t0 t1
  t0=$(now)
  curl -s --create-dirs -Z --parallel-max 200 --parallel-immediate -K "$D/soubezne.txt" 2> /dev/null
  t1=$(now)
  stejne "$D/soubezne/h1/Setup" "$D/www/h1/Setup" "a transfer through port $1 differs"
  echo "($t1 - $t0) * 1000" | bc
}
t1=$(soubezne "$SOUBEZNE_PORT"); t2=$(soubezne "$NGINX_HTTP")
printf 'proxy check: 200 GETs on 200 connections at once: %.0f ms (straight: %.0f ms)\n' "$t1" "$t2"

# The rate cap: 1,000,000 bytes at 8 Mbit/s take a second, plus two round trips.
head -c 1000000 "$D/velke/Setup/Merko/velke/velky0.bin" > "$D/www/zkouska.bin"
t=$(curl -s -o "$D/zkouska.bin" -w '%{time_total}' "http://127.0.0.1:$VELKE_PORT/zkouska.bin")
cmp -s "$D/zkouska.bin" "$D/www/zkouska.bin" || { echo "a transfer through the proxy differs"; exit 1; }
printf 'proxy check: 1,000,000 bytes at 8 Mbit/s: %.0f ms (1,000 ms + 2 round trips)\n' \
  "$(echo "$t * 1000" | bc)"
if [ "$(echo "$t < 1" | bc -l)" = 1 ]; then echo "the proxy does not cap the rate"; exit 1; fi

# odlozit FOLDER: moves a working copy out of the way into $D/kos, deleted at the end.
# A run must not follow a mass deletion: on ext4 without a journal every new file then
# passes over each inode deleted in the last 30 seconds (the kernel keeps them back), which
# costs the side with more new files (ours rebuilds the folder) seconds that are not its own.
KOS=0
odlozit() {
  mkdir -p "$D/kos"
  if [ -e "$1" ]; then KOS=$((KOS + 1)); mv "$1" "$D/kos/$KOS"; fi
}

# spojeni PROXY: the connections the proxy has accepted so far.
spojeni() { grep -c '^connection ' "$D/$1.txt" || true; }

# beh PROGRAM INSTALLATION RELEASE LOG PROXY: one timed run of Zevlon on a copy of the
# installation; its time in CAS, the requests the server logged in POZADAVKU and the
# connections it opened in SPOJENI.
beh() {
  odlozit "$D/inst"
  cp -a "$D/$2" "$D/inst"
  : > "$4"
  sync
  local t0 t1 pred
  pred=$(spojeni "$5")
  t0=$(now)
  env -u DISPLAY -u WAYLAND_DISPLAY -u http_proxy -u https_proxy -u HTTP_PROXY -u HTTPS_PROXY \
    -u ALL_PROXY -u all_proxy TEMP="$D/temp" DUNMOR_REGISTRY="$D/registry.reg" \
    SSL_CERT_FILE="$D/nginx/cert.pem" "$D/$1/Zevlon" < /dev/null > /dev/null 2>&1 ||
    { echo "Zevlon failed ($1):"; cat "$D/$1/online_errors.log" 2>/dev/null; exit 1; }
  t1=$(now)
  CAS=$(echo "$t1 - $t0" | bc)
  overit "$3" "$D/inst"
  POZADAVKU=$(wc -l < "$4")
  SPOJENI=$(($(spojeni "$5") - pred))
}
# overit RELEASE INSTALLATION: every file of the release stands in the installation.
overit() {
  stejne "$D/$1/Setup" "$2/data/Firma/Setup" "the update left the installation unlike the release"
}

printf 'slow link: %d files of 2-64 KiB, %d ms each way, %d runs, %d cores\n' \
  "$N" "$MS" "$RUNS" "$(nproc)"
# radek LABEL MEDIAN REQUESTS CONNECTIONS: a line of the table, for $K changed files
# against rsync's median $R.
radek() {
  printf '  %-7s %-26s %7.3f s %7.3f s %6.1fx %8s %11d\n' "$K" "$1" "$2" "$R" \
    "$(echo "$2 / $R" | bc -l)" "$3" "$4"
}
printf '  %-7s %-26s %9s %9s %7s %8s %11s\n' changed server ours rsync ratio requests connections
for K in 100 1000; do
  h1=(); h2=(); ref=()
  for _ in $(seq "$RUNS"); do
    beh program-h1 "stara$K" vydani "$D/web.log" H1
    h1+=("$CAS"); H1_POZ=$POZADAVKU; H1_SP=$SPOJENI
    beh program-h2 "stara$K" vydani "$D/nginx/access.log" H2
    h2+=("$CAS"); H2_POZ=$POZADAVKU; H2_SP=$SPOJENI
    if grep -qv 'HTTP/2.0' "$D/nginx/access.log"; then
      echo "nginx served a request without HTTP/2"; exit 1
    fi
    odlozit "$D/ref"
    cp -a "$D/stara$K" "$D/ref"
    sync
    pred=$(spojeni RSYNC)
    t0=$(now)
    rsync -a "rsync://127.0.0.1:$RSYNC_PORT/vydani/" "$D/ref/data/Firma/"
    t1=$(now)
    ref+=("$(echo "$t1 - $t0" | bc)"); REF_SP=$(($(spojeni RSYNC) - pred))
    overit vydani "$D/ref"
  done
  R=$(median "${ref[@]}")
  radek "HTTP/1.1, servirovat" "$(median "${h1[@]}")" "$H1_POZ" "$H1_SP"
  radek "HTTP/2 + TLS, nginx" "$(median "${h2[@]}")" "$H2_POZ" "$H2_SP"
  radek "rsync daemon" "$R" "-" "$REF_SP"
done

# (d) Large files over 8 Mbit/s.
velke=()
for _ in $(seq "$RUNS"); do
  beh program-velke stara-velke velke "$D/web.log" VELKE; velke+=("$CAS")
done
ZIPY=$(find "$D/www/velke/vydani/20141231/Setup/Merko/velke" -name '*.zip' -printf '%s\n' | awk '{s += $1} END {print s}')
IDEAL=$(echo "$ZIPY / 1000000" | bc -l)
O=$(median "${velke[@]}")
printf 'slow link, 8 Mbit/s and %d ms each way: 4 changed files of 8 MiB, 200 unchanged, %d runs\n' \
  "$MS" "$RUNS"
printf '  ours    median %.3f s, %d requests on %d connections\n  ideal   %.3f s (%d bytes of archives at 1 MB/s)\n  ratio   %.2fx\n' \
  "$O" "$POZADAVKU" "$SPOJENI" "$IDEAL" "$ZIPY" "$(echo "$O / $IDEAL" | bc -l)"
