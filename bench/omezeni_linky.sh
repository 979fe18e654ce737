#!/usr/bin/env bash
# The run's bound on the office's line: unattended runs of Zevlon with MaxRychlost=250
# (2 Mbit/s) over a link of 8 Mbit/s and 25 ms each way (zevlon_bench_proxy on loopback),
# from the publisher's own server (`zevlon-publikovat servirovat`).
#
#   bench/omezeni_linky.sh BUILD_DIR [runs]
#
# A release of 6 changed files of 1 MB that hardly compress beside 50 unchanged small
# ones. Each run's average is the bytes it received (its record in Zevlon.log) over its
# whole time, start to end; the target is the bound ±10 % with no transfer failed. One run
# without the bound shows the line's own rate beside it.
#
# Works in $TMPDIR (default /tmp).
set -euo pipefail
umask 022  # the program folder of a run as root must not be writable by others
B=$(cd "$1" && pwd); RUNS=${2:-3}
MS=25
MEZ=250  # kB/s: 2 Mbit/s
JMENO_BENCHE=omezeni
. "$(dirname "$0")/spolecne.sh"

python3 - "$D" <<'PY'
import os, random, sys
d = sys.argv[1]
T_NOVY, T_STARY = 1419940800, 1393632000
def soubor(cesta, obsah, cas):
    os.makedirs(os.path.dirname(cesta), exist_ok=True)
    with open(cesta, "wb") as f:
        f.write(obsah)
    os.utime(cesta, (cas, cas))
for koren in ("vydani", "stara/data/Firma"):
    for i in range(50):
        soubor("%s/%s/Setup/Merko/male/soubor%d.dat" % (d, koren, i), b"%08d" % i * 512, T_NOVY)
for i in range(6):
    soubor("%s/vydani/Setup/Merko/velke/velky%d.bin" % (d, i),
           random.Random(1000 + i).randbytes(1000000), T_NOVY)
    soubor("%s/stara/data/Firma/Setup/Merko/velke/velky%d.bin" % (d, i), b"stary", T_STARY)
PY
for v in vydani stara/data/Firma; do
  mkdir -p "$D/$v/SetupCommon/System"
  printf '[Merko]\r\nRelease=20141231\r\n' > "$D/$v/Setup/Merko/Merko.ini"
  printf 'společné komponenty' > "$D/$v/SetupCommon/System/spolecne.dll"
  touch -d '2014-12-31 12:00' "$D/$v/SetupCommon/System/spolecne.dll"
done
printf '[Merko]\r\nRelease=20140301\r\n' > "$D/stara/data/Firma/Setup/Merko/Merko.ini"

mkdir -p "$D/www" "$D/temp"
spustit "$D/web.txt" naslouchá "$B/tools/zevlon-publikovat" servirovat --port 0 \
  --log "$D/web.log" "$D/www"
WEB=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$D/web.txt")
proxy LINKA "$WEB" --rychlost 8000
"$B/tools/zevlon-publikovat" vydat --vydani 20141231 --adresa "http://127.0.0.1:$LINKA_PORT/" \
  "$D/vydani" "$D/www" > /dev/null
printf 'REGEDIT4\r\n' > "$D/registry.reg"
# program NAME [LINES]: a program folder for runs against the site, with further [Server] lines.
program() {
  mkdir -p "$D/$1"
  cp "$B/Zevlon" "$D/$1/"
  printf '[Server]\r\nAdresa=http://127.0.0.1:%s/\r\n%b[Nastaveni]\r\nSlozkaDat=%s/\r\n' \
    "$LINKA_PORT" "${2:-}" "$D/inst/data/Firma" > "$D/$1/Zevlon.ini"
}
program s-mezi "MaxRychlost=$MEZ\r\n"
program bez-meze

# beh PROGRAM: one timed run on a fresh copy of the old installation; its average rate in
# kB/s in RYCHLOST, its time in CAS and the bytes it received in BAJTU.
beh() {
  rm -rf "$D/inst" "$D/$1/Zevlon.log" "$D/$1/online_errors.log"
  cp -a "$D/stara" "$D/inst"
  sync
  local t0 t1
  t0=$(now)
  env -u DISPLAY -u WAYLAND_DISPLAY -u http_proxy -u https_proxy -u HTTPS_PROXY -u all_proxy \
    -u ALL_PROXY TEMP="$D/temp" DUNMOR_REGISTRY="$D/registry.reg" "$D/$1/Zevlon" \
    < /dev/null > /dev/null 2>&1 ||
    { echo "Zevlon failed ($1):"; cat "$D/$1/online_errors.log" 2>/dev/null; exit 1; }
  t1=$(now)
  if [ -s "$D/$1/online_errors.log" ]; then
    echo "a transfer failed ($1):"; cat "$D/$1/online_errors.log"; exit 1
  fi
  diff -r "$D/vydani/Setup/Merko/velke" "$D/inst/data/Firma/Setup/Merko/velke" > /dev/null ||
    { echo "the update left the installation unlike the release"; exit 1; }
  CAS=$(echo "$t1 - $t0" | bc)
  BAJTU=$(grep -a '^.*Běh' "$D/$1/Zevlon.log" | tail -1 | sed -n 's/.*\tstaženo \([0-9]*\) bajt.*/\1/p')
  RYCHLOST=$(echo "$BAJTU / $CAS / 1000" | bc -l)
}

printf 'bound on the line: MaxRychlost=%d kB/s (2 Mbit/s), link 8 Mbit/s and %d ms each way, %d runs\n' \
  "$MEZ" "$MS" "$RUNS"
rychlosti=()
for i in $(seq "$RUNS"); do
  beh s-mezi
  rychlosti+=("$RYCHLOST")
  printf '  run %d: %d bytes in %.2f s, %.1f kB/s (%+.1f %% of the bound)\n' "$i" "$BAJTU" "$CAS" \
    "$RYCHLOST" "$(echo "($RYCHLOST / $MEZ - 1) * 100" | bc -l)"
done
M=$(median "${rychlosti[@]}")
printf '  median %.1f kB/s, %+.1f %% of the bound (target within ±10 %%), no transfer failed\n' \
  "$M" "$(echo "($M / $MEZ - 1) * 100" | bc -l)"
beh bez-meze
printf '  without the bound: %d bytes in %.2f s, %.1f kB/s\n' "$BAJTU" "$CAS" "$RYCHLOST"
if [ "$(echo "$M > $MEZ * 1.1 || $M < $MEZ * 0.9" | bc -l)" = 1 ]; then
  echo "the average is off the bound by more than 10 %"; exit 1
fi
