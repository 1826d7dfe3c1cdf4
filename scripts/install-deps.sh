#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Torvinel needs.
# Safe to run again: apt-get install -y only adds what is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang
  qt6-base-dev qt6-base-dev-tools libqt6dbus6 libqt6test6 qt6-qpa-plugins libgl-dev
  zlib1g-dev libdeflate-dev libisal-dev libisofs-dev libburn-dev libssl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  zip unzip p7zip-full xorriso genisoimage libarchive-tools
  xvfb xauth imagemagick x11-apps
  dbus python3-dbusmock
  desktop-file-utils appstream librsvg2-bin groff-base dpkg-dev file
  fonts-dejavu-core
  g++-mingw-w64-x86-64-posix
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
