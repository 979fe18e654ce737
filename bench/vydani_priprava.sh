# What the benchmarks of real releases share; sourced by them with the build folder as
# "$1". Fetches the two newest versions of libreoffice-core that apt offers (exits 0 with a
# message when it cannot), unpacks each (`dpkg-deb -x`) as a release in $D/vydani1 and
# $D/vydani2 (the package's files in Setup/Merko), serves $D/www with the publisher's
# server (port PORT) behind a proxy at 8 Mbit/s and 25 ms each way (PPORT), and $D/vydani2
# from an rsync daemon (RPORT, through the proxy RPPORT). Counts the changed files
# (ZMENENE of VSECH) once a site of the newer release lies in $WWW/aktualizace-online
# (`zmenene`: DEFLATE, their archives' bytes there), and gives `zevlon` and `rsync_z`, the
# two ways of updating a fresh installation of the older release.
set -euo pipefail
umask 022  # the program folder of a run as root must not be writable by others
B=$(cd "$1" && pwd)
BALICEK=libreoffice-core
mapfile -t VERZE < <(apt-cache madison "$BALICEK" 2>/dev/null |
  awk -F'|' '{gsub(/ /, "", $2); print $2}' | sort -uV | tail -2)
if [ "${#VERZE[@]}" -lt 2 ]; then
  echo "skipped: apt offers fewer than two versions of $BALICEK"
  exit 0
fi
JMENO_BENCHE=${JMENO_BENCHE:-vydani}
MS=25
. "$(dirname "$0")/spolecne.sh"

if ! (cd "$D" && apt-get download "$BALICEK=${VERZE[0]}" "$BALICEK=${VERZE[1]}") > "$D/apt.txt" 2>&1; then
  echo "skipped: apt-get download of $BALICEK ${VERZE[*]} failed"; tail -3 "$D/apt.txt"; exit 0
fi
i=1
for v in "${VERZE[@]}"; do
  mkdir -p "$D/deb$i" "$D/vydani$i/Setup/Merko" "$D/vydani$i/SetupCommon/System"
  dpkg-deb -x "$D/${BALICEK}_${v/:/%3a}_"*.deb "$D/deb$i"
  # Links are no installed files (a scan passes over them), and a folder without files is
  # nothing a snapshot lists: the package's files only.
  find "$D/deb$i" -type l -delete
  find "$D/deb$i" -mindepth 1 -type d -empty -delete
  cp -a "$D/deb$i/." "$D/vydani$i/Setup/Merko/"
  # The release's Merko.ini names the release it is published as (vydani1 20141231,
  # vydani2 20150115), as the publisher requires.
  printf '[Merko]\r\nRelease=%s\r\n' "$([ "$i" = 1 ] && echo 20141231 || echo 20150115)" \
    > "$D/vydani$i/Setup/Merko/Merko.ini"
  printf 'společné komponenty' > "$D/vydani$i/SetupCommon/System/spolecne.dll"
  touch -d '2014-12-31 12:00' "$D/vydani$i/SetupCommon/System/spolecne.dll"
  i=$((i + 1))
done

WWW=$D/www; mkdir -p "$WWW/aktualizace-online"
spustit "$D/web.txt" naslouchá "$B/tools/zevlon-publikovat" servirovat --port 0 \
  --log "$D/pristupy.log" "$WWW"
PORT=$(sed -n 's/.*127.0.0.1:\([0-9]*\).*/\1/p' "$D/web.txt")
proxy WEB "$PORT" --rychlost 8000
PPORT=$WEB_PORT

RPORT=$(volny_port)
printf 'use chroot = no\n[vydani]\npath = %s\nread only = yes\n' "$D/vydani2" > "$D/rsyncd.conf"
rsync --daemon --no-detach --address=127.0.0.1 --port="$RPORT" --config="$D/rsyncd.conf" &
PIDS+=($!)
proxy RSYNC "$RPORT" --rychlost 8000
RPPORT=$RSYNC_PORT
sleep 0.5

# What changed, and what the changed files cost as the site's archives.
zmenene() {
  ZMENENE=0; VSECH=0; DEFLATE=0
  while IFS= read -r -d '' f; do
    r=${f#"$D/vydani2/"}
    VSECH=$((VSECH + 1))
    if ! cmp -s "$f" "$D/vydani1/$r"; then
      ZMENENE=$((ZMENENE + 1))
      DEFLATE=$((DEFLATE + $(stat -c %s "$WWW/aktualizace-online/vydani/20150115/$r.zip")))
    fi
  done < <(find "$D/vydani2" -type f -print0)
}

mkdir -p "$D/temp"
printf 'REGEDIT4\r\n' > "$D/registry.reg"
# zevlon ADDRESS: an unattended run against the site there, on a fresh installation of
# the older release; sets T (seconds), BAJTU (bytes of every answer of the site) and
# PAMET (the run's peak resident memory in KiB, 0 without GNU time).
zevlon() {
  rm -rf "$D/inst" "$D/stav" "$D/program"; mkdir -p "$D/inst/data/Firma" "$D/program"
  cp -a "$D/vydani1/." "$D/inst/data/Firma/"
  cp "$B/Zevlon" "$D/program/"
  printf '[Server]\r\nAdresa=%s\r\n[Nastaveni]\r\nSlozkaDat=%s/\r\n' \
    "$1" "$D/inst/data/Firma" > "$D/program/Zevlon.ini"
  : > "$D/pristupy.log"
  sync
  local t0 t1
  t0=$(now)
  env -u DISPLAY -u WAYLAND_DISPLAY TEMP="$D/temp" DUNMOR_REGISTRY="$D/registry.reg" \
    XDG_STATE_HOME="$D/stav" "${PAMET_CMD[@]}" "$D/program/Zevlon" < /dev/null > /dev/null 2>&1 ||
    { echo "Zevlon failed:" >&2; cat "$D/program/online_errors.log" >&2; exit 1; }
  t1=$(now)
  diff -rq -x "~zevlon.znacka" "$D/vydani2/Setup/Merko" "$D/inst/data/Firma/Setup/Merko" ||
    { echo "the update left other files than the release's" >&2; exit 1; }
  T=$(echo "$t1 - $t0" | bc)
  BAJTU=$(awk '{s += $5} END {print s + 0}' "$D/pristupy.log")
  PAMET=$(cat "$D/pamet.txt" 2>/dev/null || echo 0)
}
PAMET_CMD=()
[ -x /usr/bin/time ] && PAMET_CMD=(/usr/bin/time -f %M -o "$D/pamet.txt")
# rsync_z PORT: rsync -z of both folders onto a fresh installation; sets T and BAJTU.
rsync_z() {
  rm -rf "$D/ref"; mkdir -p "$D/ref"
  cp -a "$D/vydani1/." "$D/ref/"
  sync
  local t0 t1 b=0 n s
  t0=$(now)
  for s in Setup SetupCommon; do
    n=$(rsync -az --stats "rsync://127.0.0.1:$1/vydani/$s/" "$D/ref/$s/" |
      sed -n 's/^Total bytes received: \([0-9,]*\).*/\1/p' | tr -d ,)
    b=$((b + n))
  done
  t1=$(now)
  T=$(echo "$t1 - $t0" | bc)
  BAJTU=$b
}
