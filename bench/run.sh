#!/usr/bin/env bash
# The benchmark suite: each case prints our figure, the reference tool's figure from
# the same run, and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
chybi=()
for p in rsync curl bc nginx openssl; do
  command -v "$p" >/dev/null || chybi+=("$p")
done
if [ ${#chybi[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${chybi[@]}" >/dev/null
fi
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEVLON_TESTS=OFF >/dev/null
cmake --build build/bench
echo "== scan + compare (target <= 1.5x, peak <= 150 MiB)"
build/bench/bench/zevlon_bench_sken 100000 5000 5
echo "== local rebuild (target <= 1.2x)"
build/bench/bench/zevlon_bench_obnova 10000 1024 3
echo "== changed files (target <= 1.5x)"
build/bench/bench/zevlon_bench_zmeny 1000 10 3
echo "== whole update (target <= 2x; warm record no slower than before; links <= 1.2x)"
bash bench/cela_aktualizace.sh build/bench 10000 3
# The same on XFS, where copies share extents: a loop-mounted image (root only).
if [ "$(id -u)" -eq 0 ] && command -v mkfs.xfs >/dev/null; then
  XFS=$(mktemp -d "${TMPDIR:-/tmp}/zevlon-bench-xfs-XXXXXX")
  truncate -s 8G "$XFS.img" && mkfs.xfs -q -f "$XFS.img" &&
    if mount -o loop "$XFS.img" "$XFS"; then
      echo "== whole update on XFS"
      TMPDIR=$XFS bash bench/cela_aktualizace.sh build/bench 10000 3 || true
      umount "$XFS"
    else
      echo "(no XFS case: this machine cannot mount a loop device)"
    fi
  rm -rf "$XFS" "$XFS.img"
fi
echo "== real releases (target: bytes <= 1.1x rsync -z)"
bash bench/vydani.sh build/bench
echo "== per-file deltas on real releases (targets: bytes <= 0.35 of the changed archives, time <= 0.5x rsync -z)"
bash bench/delty.sh build/bench
echo "== slow link, 25 ms each way (before parallel downloads: a record, no target)"
bash bench/pomala_linka.sh build/bench 3
echo "== an office of ten desktops behind the shipped nginx cache (targets: the vendor serves one installation's bytes; tenth run <= 0.3x the first)"
bash bench/kancelar.sh build/bench
echo "== the run's bound on the office's line (target: within ±10 % of 2 Mbit/s on 8 Mbit/s)"
bash bench/omezeni_linky.sh build/bench 3
