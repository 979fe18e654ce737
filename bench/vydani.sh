#!/usr/bin/env bash
# Real releases: the two newest versions of libreoffice-core that apt offers, unpacked
# (`dpkg-deb -x`) and laid out as two releases of a site (the package's files in
# Setup/Merko). An installation of the older one is updated to the newer one by an
# unattended run of Zevlon over loopback, and again through the latency proxy at 8 Mbit/s
# and 25 ms each way; rsync -z from a loopback daemon serving the newer release does the
# same in the same run. Bytes on the wire (the site's access log; rsync's --stats) and
# time. Target: ours <= the changed files' deflated size + 2 %, i.e. <= 1.1x rsync -z.
#
#   bench/vydani.sh BUILD_DIR
#
# Needs apt's package lists and a reachable mirror; skips with a message otherwise.
# Works in $TMPDIR (default /tmp).
. "$(dirname "$0")/vydani_priprava.sh"
# The same release twice: its addresses point straight at the site, or through the link.
"$B/tools/zevlon-publikovat" vydat --vydani 20150115 --adresa "http://127.0.0.1:$PORT/aktualizace-online/" \
  "$D/vydani2" "$WWW/aktualizace-online" > /dev/null
"$B/tools/zevlon-publikovat" vydat --vydani 20150115 --adresa "http://127.0.0.1:$PPORT/linka/" \
  "$D/vydani2" "$WWW/linka" > /dev/null
zmenene
zevlon "http://127.0.0.1:$PORT/aktualizace-online/"; OT=$T; OB=$BAJTU
rsync_z "$RPORT"; RT=$T; RB=$BAJTU
zevlon "http://127.0.0.1:$PPORT/linka/"; OPT=$T; OPB=$BAJTU
rsync_z "$RPPORT"; RPT=$T; RPB=$BAJTU

printf 'real releases: %s %s -> %s, %d of %d files changed, %d cores\n' "$BALICEK" "${VERZE[0]}" \
  "${VERZE[1]}" "$ZMENENE" "$VSECH" "$(nproc)"
printf '  changed files, deflated  %d bytes\n' "$DEFLATE"
printf '  ours      %d bytes, %.2f s on loopback, %.2f s at 8 Mbit/s (%d bytes)\n' "$OB" "$OT" "$OPT" "$OPB"
printf '  rsync -z  %d bytes, %.2f s on loopback, %.2f s at 8 Mbit/s (%d bytes)\n' "$RB" "$RT" "$RPT" "$RPB"
printf '  ours / deflated %.3f (target <= 1.02), ours / rsync -z %.2fx (target <= 1.1x), time at 8 Mbit/s %.2fx\n' \
  "$(echo "$OB / $DEFLATE" | bc -l)" "$(echo "$OB / $RB" | bc -l)" "$(echo "$OPT / $RPT" | bc -l)"
