#!/usr/bin/env bash
# Debian packages needed to build, test and run the demo.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev
  libicu-dev libzip-dev libcurl4-openssl-dev libpugixml-dev
  libssl-dev libsodium-dev minisign
  qt6-base-dev fonts-dejavu-core
  python3 python3-pyftpdlib
  clang-format
  clang libclang-rt-14-dev
  zip unzip util-linux
  # A real web server for the tests over https and HTTP/2 (Debian 12's nginx has the ssl
  # and http_v2 modules built in; nginx-light is only a metapackage over it) and the
  # openssl tool that makes the tests' certificate.
  nginx openssl
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
