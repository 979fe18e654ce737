#!/usr/bin/env bash
# Builds the Debian packages zevlon and zevlon-publikovat into build/balicek with Debian's
# build flags (hardening included) and checks them with lintian: any error fails.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# The packages' files are stripped (CPACK_STRIP_FILES), so no debug information is made
# for them: -g0 after Debian's -g (the code is the same either way).
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS) -g0"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
rm -rf build/balicek
cmake -S . -B build/balicek -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEVLON_BALICEK=ON \
  -DZEVLON_TESTS=OFF -DZEVLON_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build/balicek -j "$(nproc)" --target Zevlon zevlon-publikovat zevlon_balicek_soubory
(cd build/balicek && cpack -G DEB >/dev/null)

for deb in build/balicek/zevlon_*.deb build/balicek/zevlon-publikovat_*.deb; do
  echo "== $deb"
  dpkg-deb --field "$deb"
  dpkg-deb --contents "$deb"
done
echo "== lintian"
# lintian refuses to run as root unless told that it is meant.
lintian --allow-root --fail-on error --display-info --pedantic build/balicek/*.deb
