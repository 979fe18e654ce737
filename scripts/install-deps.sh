#!/usr/bin/env bash
# Debian packages needed to build, test and run the demo.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev
  libicu-dev libzip-dev libcurl4-openssl-dev libpugixml-dev
  libssl-dev libsodium-dev libzstd-dev minisign
  qt6-base-dev fonts-dejavu-core
  python3 python3-pyftpdlib
  clang-format
  # The sanitizer build and the fuzz targets; lld links the sanitizer build faster.
  clang libclang-rt-14-dev lld
  zip unzip util-linux
  # strace, with which a test reads the order of the publisher's renames and flushes.
  strace
  # mkfs.ext4 and mkfs.xfs, for the power-cut and shared-extents tests on loop-mounted
  # images (skipped where the machine has no loop devices).
  e2fsprogs xfsprogs
  # A real web server for the tests over https and HTTP/2 (Debian 12's nginx has the ssl
  # and http_v2 modules built in; nginx-light is only a metapackage over it) and the
  # openssl tool that makes the tests' certificate.
  nginx openssl
  # crontab, with which a user other than root registers the scheduled run in their own
  # crontab (the tests use the real one as another user).
  cron
  # systemd-analyze, which checks the timer and service units written for root where
  # systemd runs the machine (the tests never start systemd).
  systemd
  # The Debian packages: build flags, shared-library dependencies and their check, and
  # the manual pages read back as a user would.
  dpkg-dev lintian man-db
  # A real X server without a screen, for the installed program's window.
  xvfb xauth x11-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# A package's service (nginx) is not started on installing it: the tests start their own,
# and a system web server on port 80 is nothing this project asks for. Debian's way is a
# policy-rc.d that denies the start, here only while installing.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d > /dev/null
  $sudo chmod 755 /usr/sbin/policy-rc.d
  trap '$sudo rm -f /usr/sbin/policy-rc.d' EXIT
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
