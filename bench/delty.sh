#!/usr/bin/env bash
# Per-file deltas on real releases: the two newest versions of libreoffice-core that apt
# offers (as bench/vydani.sh lays them out), the newer one published once plainly and once
# with `--predchozi` naming the site of the older one that it replaces. An installation of
# the older release is updated through the latency proxy (8 Mbit/s, 25 ms each way) from
# each site, and by rsync -z from a daemon through the same proxy: bytes on the wire and
# time for each, the run's peak memory with deltas, and the time of publishing with them.
# Targets: bytes with deltas <= 0.35 of the changed files deflated; time <= 0.5 of
# rsync's; peak memory <= 2 x the largest file + 64 MiB; publishing <= 2 minutes.
#
#   bench/delty.sh BUILD_DIR
#
# Needs apt's package lists and a reachable mirror; skips with a message otherwise.
# Works in $TMPDIR (default /tmp).
JMENO_BENCHE=delty
. "$(dirname "$0")/vydani_priprava.sh"
vydat() {
  "$B/tools/zevlon-publikovat" vydat --vydani "$1" --adresa "http://127.0.0.1:$PPORT/$2/" \
    "${@:4}" "$D/$3" "$WWW/$2" > /dev/null
}
vydat 20150115 aktualizace-online vydani2
vydat 20150115 linka vydani2
vydat 20141231 delty vydani1
t0=$(now)
vydat 20150115 delty vydani2 --predchozi "$WWW/delty"
t1=$(now)
PUBLIKACE=$(echo "$t1 - $t0" | bc)
zmenene
DELT=$(find "$WWW/delty" -name '*.zstd' | wc -l)
DELTY_B=$(find "$WWW/delty" -name '*.zstd' -printf '%s\n' | awk '{s += $1} END {print s + 0}')
NEJVETSI=$(find "$D/vydani1" "$D/vydani2" -type f -printf '%s\n' | sort -n | tail -1)

zevlon "http://127.0.0.1:$PPORT/linka/"; CT=$T; CB=$BAJTU
zevlon "http://127.0.0.1:$PPORT/delty/"; DT=$T; DB=$BAJTU; DP=$PAMET
grep -h 'ozdíl' "$D/program/Zevlon.log" 2>/dev/null | head -5 || true
rsync_z "$RPPORT"; RT=$T; RB=$BAJTU

printf 'deltas: %s %s -> %s, %d of %d files changed, %d cores\n' "$BALICEK" "${VERZE[0]}" \
  "${VERZE[1]}" "$ZMENENE" "$VSECH" "$(nproc)"
printf '  changed files, deflated  %d bytes; %d deltas on the site, %d bytes\n' "$DEFLATE" "$DELT" "$DELTY_B"
printf '  whole files  %d bytes, %.2f s at 8 Mbit/s\n' "$CB" "$CT"
printf '  deltas       %d bytes, %.2f s at 8 Mbit/s, peak memory %d KiB\n' "$DB" "$DT" "$DP"
printf '  rsync -z     %d bytes, %.2f s at 8 Mbit/s\n' "$RB" "$RT"
printf '  deltas / deflated %.3f (target <= 0.35), time / rsync -z %.2f (target <= 0.5)\n' \
  "$(echo "$DB / $DEFLATE" | bc -l)" "$(echo "$DT / $RT" | bc -l)"
printf '  peak memory %d KiB, 2 x largest file + 64 MiB = %d KiB\n' "$DP" \
  "$((2 * NEJVETSI / 1024 + 65536))"
printf '  publishing with deltas %.1f s (target <= 120 s)\n' "$PUBLIKACE"
