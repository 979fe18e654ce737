#!/usr/bin/env bash
# Whole update: a demo installation of 10,000 files with 1 % changed on the server,
# renewed by an unattended run of Zevlon against the publisher's site on loopback,
# against the same update done by `rsync -a` from a loopback rsync daemon serving the
# new release; and the same update from a signed site with the key configured (every
# downloaded file hashed and checked), which should cost at most 10 % over the unsigned
# run. Then the repeated run (nothing changed): its time and bytes downloaded.
#
# The runs above are an installation's first: every unchanged file is hashed once (its
# time in Zevlon.log, set against `sha256sum` over the same files). Then the same update
# with the checksum record warm, as after an earlier run (the record written beforehand,
# as a run writes it), plain and with ObnovaOdkazy=1 (unchanged files linked).
#
#   bench/cela_aktualizace.sh BUILD_DIR [files] [runs]
#
# Works in $TMPDIR (default /tmp). ZEVLON_BENCH_KLID sets the pause, in seconds, between
# laying out the installations and the first timed run (default 65; see below).
# ZEVLON_BENCH_DRIVE names the build folder of an earlier version, timed on the same
# installations beside the warm runs.
set -euo pipefail
B=$(cd "$1" && pwd); N=${2:-10000}; RUNS=${3:-3}
D=$(mktemp -d "${TMPDIR:-/tmp}/zevlon-bench-cela-XXXXXX")
trap 'kill $WEB_PID $RSYNC_PID 2>/dev/null || true; rm -rf "$D"' EXIT
now() { date +%s.%N; }

# The release: N files in 100 folders below Setup/Merko, 20 KiB each.
python3 - "$D/vydani/Setup/Merko" "$N" <<'PY'
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    d = os.path.join(root, "modul%d" % (i % 100))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "soubor%d.dat" % i), "wb") as f:
        f.write((b"%08d" % i) * 2560)
    os.utime(os.path.join(d, "soubor%d.dat" % i), (1419940800, 1419940800))
PY
printf '[Merko]\r\nRelease=20141231\r\n' > "$D/vydani/Setup/Merko/Merko.ini"
mkdir -p "$D/vydani/SetupCommon/System"
printf 'společné komponenty' > "$D/vydani/SetupCommon/System/spolecne.dll"
touch -d '2014-12-31 12:00' "$D/vydani/SetupCommon/System/spolecne.dll"
# The installation: the same files, 1 % of them older and different.
mkdir -p "$D/stara/data/Firma"
cp -a "$D/vydani/Setup" "$D/stara/data/Firma/Setup"
cp -a "$D/vydani/SetupCommon" "$D/stara/data/Firma/SetupCommon"
find "$D/stara/data/Firma/Setup/Merko" -type f | sort | awk -v n="$N" 'NR % 100 == 1' |
  while read -r f; do printf 'stary obsah' > "$f"; touch -d '2014-03-01' "$f"; done

WWW=$D/www; mkdir -p "$WWW/aktualizace-online"
"$B/tools/zevlon-publikovat" servirovat --port 0 --log "$D/pristupy.log" "$WWW" 2> "$D/web.txt" &
WEB_PID=$!
for _ in $(seq 100); do grep -q naslouchá "$D/web.txt" 2>/dev/null && break; sleep 0.05; done
PORT=$(sed -n 's/.*127.0.0.1:\([0-9]*\).*/\1/p' "$D/web.txt")
ADRESA=http://127.0.0.1:$PORT/aktualizace-online/
"$B/tools/zevlon-publikovat" vydat --vydani 20141231 --adresa "$ADRESA" "$D/vydani" \
  "$WWW/aktualizace-online" > /dev/null
# The same release signed, on a site of its own beside the first.
minisign -G -W -p "$D/klic.pub" -s "$D/klic.key" > /dev/null
PODPIS_ADRESA=http://127.0.0.1:$PORT/podepsany/
"$B/tools/zevlon-publikovat" vydat --vydani 20141231 --adresa "$PODPIS_ADRESA" \
  --klic "$D/klic.key" "$D/vydani" "$WWW/podepsany" > /dev/null

RPORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$D/rsyncd.conf" <<CONF
use chroot = no
[vydani]
path = $D/vydani
read only = yes
CONF
rsync --daemon --no-detach --address=127.0.0.1 --port="$RPORT" --config="$D/rsyncd.conf" &
RSYNC_PID=$!
sleep 0.5

mkdir -p "$D/program" "$D/program-podpis" "$D/program-odkazy" "$D/temp" "$D/merko12"
cp "$B/Zevlon" "$D/program/"
cp "$B/Zevlon" "$D/program-podpis/"
cp "$B/Zevlon" "$D/program-odkazy/"
printf '[Server]\r\nAdresa=%s\r\n[Nastaveni]\r\nSlozkaDat=%s/\r\n' "$ADRESA" "$D/inst/data/Firma" \
  > "$D/program/Zevlon.ini"
printf '[Server]\r\nAdresa=%s\r\nObnovaOdkazy=1\r\n[Nastaveni]\r\nSlozkaDat=%s/\r\n' "$ADRESA" \
  "$D/inst/data/Firma" > "$D/program-odkazy/Zevlon.ini"
if [ -n "${ZEVLON_BENCH_DRIVE:-}" ]; then
  mkdir -p "$D/program-drive"
  cp "$ZEVLON_BENCH_DRIVE/Zevlon" "$D/program-drive/"
  cp "$D/program/Zevlon.ini" "$D/program-drive/"
fi
printf '[Server]\r\nAdresa=%s\r\nVerejnyKlic=%s\r\n[Nastaveni]\r\nSlozkaDat=%s/\r\n' \
  "$PODPIS_ADRESA" "$(sed -n 2p "$D/klic.pub")" "$D/inst/data/Firma" > "$D/program-podpis/Zevlon.ini"
printf 'REGEDIT4\r\n' > "$D/registry.reg"
# zevlon [program folder [state folder]]
zevlon() {
  local P=${1:-$D/program} S=${2:-$D/stav}
  env -u DISPLAY -u WAYLAND_DISPLAY TEMP="$D/temp" DUNMOR_REGISTRY="$D/registry.reg" \
    XDG_STATE_HOME="$S" "$P/Zevlon" < /dev/null > /dev/null 2>&1 ||
    { echo "Zevlon failed:"; cat "$P/online_errors.log" 2>/dev/null; exit 1; }
}

# Every installation the runs work on is laid out before the first is timed, and the
# timed runs delete nothing: ext4 passes over inodes freed in the last minute when it
# allocates new ones, which would charge a run with the deletions of the one before
# (ours creates every file of the rebuilt folder, rsync only the changed ones).
# zaznam STATE INSTALLATION: the checksum record of the installation's two live folders
# as an earlier run leaves it (keyed by the paths the run will see, "$D/inst/...").
zaznam() {
  python3 - "$1/zevlon" "$2/data/Firma" "$D/inst/data/Firma" <<'PY'
import hashlib, os, sys
stav, kde, behu = sys.argv[1:]
os.makedirs(stav, exist_ok=True)
for slozka in ("Setup", "SetupCommon"):
    text = "zevlon-soucty 1\n"
    for koren, _, soubory in os.walk(os.path.join(kde, slozka)):
        for j in soubory:
            p = os.path.join(koren, j)
            st = os.lstat(p)
            with open(p, "rb") as f:
                h = hashlib.sha256(f.read()).hexdigest()
            text += "%d %d %d %d %d %s\n" % (st.st_dev, st.st_ino, st.st_size, st.st_mtime_ns,
                                              st.st_ctime_ns, h)
    text += hashlib.blake2b(text.encode(), digest_size=32).hexdigest() + "\n"
    jmeno = hashlib.sha256(os.path.join(behu, slozka).encode()).hexdigest()[:16]
    with open(os.path.join(stav, "soucty-%s.txt" % jmeno), "w") as f:
        f.write(text)
PY
}
for i in $(seq "$RUNS"); do
  for k in inst sig ref warm lnk ${ZEVLON_BENCH_DRIVE:+drive}; do cp -a "$D/stara" "$D/$k$i"; done
  zaznam "$D/stav-warm$i" "$D/warm$i"
  zaznam "$D/stav-lnk$i" "$D/lnk$i"
done
# A twin of the installations for sha256sum, laid out with them: its files are in the same
# state as theirs when the first runs read them (on XFS, copies sharing extents, whose
# bytes are not in memory yet).
cp -a "$D/stara" "$D/summy"
sync; sleep "${ZEVLON_BENCH_KLID:-65}"
ours=(); signed=(); ref=(); warm=(); lnk=(); drive=()
# timed NAME PROGRAM STATE INSTALLATION: one run on that installation, its time added to NAME.
timed() {
  mv "$4" "$D/inst"
  local t0
  t0=$(now); zevlon "$2" "$3"
  eval "$1+=($(echo "$(now) - $t0" | bc))"
  mv "$D/inst" "$4.hotovo"
}
for i in $(seq "$RUNS"); do
  timed warm "$D/program" "$D/stav-warm$i" "$D/warm$i"
  timed lnk "$D/program-odkazy" "$D/stav-lnk$i" "$D/lnk$i"
  [ -z "${ZEVLON_BENCH_DRIVE:-}" ] || timed drive "$D/program-drive" "$D/stav-drive$i" "$D/drive$i"
  mv "$D/inst$i" "$D/inst"
  t0=$(now); zevlon "$D/program" "$D/stav$i"; t1=$(now); ours+=("$(echo "$t1 - $t0" | bc)")
  mv "$D/inst" "$D/hotovo$i"
  mv "$D/sig$i" "$D/inst"
  t0=$(now); zevlon "$D/program-podpis"; t1=$(now); signed+=("$(echo "$t1 - $t0" | bc)")
  cmp -s "$D/inst/data/Firma/Setup/Merko/modul0/soubor0.dat" \
    "$D/vydani/Setup/Merko/modul0/soubor0.dat" || { echo "signed run installed nothing"; exit 1; }
  mv "$D/inst" "$D/podepsano$i"
  t0=$(now)
  rsync -a "rsync://127.0.0.1:$RPORT/vydani/Setup/" "$D/ref$i/data/Firma/Setup/"
  rsync -a "rsync://127.0.0.1:$RPORT/vydani/SetupCommon/" "$D/ref$i/data/Firma/SetupCommon/"
  t1=$(now)
  ref+=("$(echo "$t1 - $t0" | bc)")
done
mv "$D/hotovo$RUNS" "$D/inst"
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
O=$(median "${ours[@]}"); S=$(median "${signed[@]}"); R=$(median "${ref[@]}")
W=$(median "${warm[@]}"); L=$(median "${lnk[@]}")
printf 'whole update: %d files, 1 %% changed, %d runs, %d cores\n' "$N" "$RUNS" "$(nproc)"
printf '  first run  median %.3f s, %.2fx rsync (every unchanged file read once: no target; its hashing below)\n  rsync      median %.3f s\n' \
  "$O" "$(echo "$O / $R" | bc -l)" "$R"
printf '  signed     median %.3f s, %+.1f %% over unsigned (target <= +10 %%)\n' \
  "$S" "$(echo "($S / $O - 1) * 100" | bc -l)"
printf '  warm       median %.3f s, %.2fx rsync (the whole update'"'"'s target from before the checksums: <= 2x)\n' \
  "$W" "$(echo "$W / $R" | bc -l)"
if [ -n "${ZEVLON_BENCH_DRIVE:-}" ]; then
  V=$(median "${drive[@]}")
  printf '  earlier    median %.3f s (%s); warm %+.1f %% over it (target <= +10 %%)\n' "$V" \
    "$ZEVLON_BENCH_DRIVE" "$(echo "($W / $V - 1) * 100" | bc -l)"
fi
printf '  links      median %.3f s, %.2fx rsync (ObnovaOdkazy=1, warm; target <= 1.2x)\n' "$L" \
  "$(echo "$L / $R" | bc -l)"
# The first run's hashing, from its line in Zevlon.log, against sha256sum over the twin of
# the installations it renewed.
H=$(grep -h 'spočítány' "$D/program/Zevlon.log" | sed -n 's/.*bajtů \([0-9]*\), za \([0-9,]*\) s\./\1 \2/p' |
  tr ',' '.' | awk -v r="$RUNS" '{b += $1; t += $2} END {printf "%d %.3f", b / r, t / r}')
read -r HB HT <<< "$H"
t0=$(now); find "$D/summy/data/Firma" -type f -print0 | xargs -0 sha256sum > /dev/null; t1=$(now)
SB=$(find "$D/summy/data/Firma" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
ST=$(echo "$t1 - $t0" | bc)
printf '  hashing    %.1f MB/s (first run, %d bytes), sha256sum %.1f MB/s: %.2fx (target <= 1.2x)\n' \
  "$(echo "$HB / $HT / 1000000" | bc -l)" "$HB" "$(echo "$SB / $ST / 1000000" | bc -l)" \
  "$(echo "($HT / $HB) / ($ST / $SB)" | bc -l)"

# The repeated run: nothing changed on the server.
: > "$D/pristupy.log"
sync
t0=$(now); zevlon "$D/program" "$D/stav$RUNS"; t1=$(now)
BYTES=$(awk '{s += $5} END {print s + 0}' "$D/pristupy.log")
FILES=$(grep -vc 'master.snapshot.zip\|download.ini' "$D/pristupy.log" || true)
printf 'repeated run (nothing changed): %.3f s, %d bytes downloaded in %d requests, %d file archives\n' \
  "$(echo "$t1 - $t0" | bc)" "$BYTES" "$(wc -l < "$D/pristupy.log")" "$FILES"
