#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build and once
# under AddressSanitizer and UndefinedBehaviorSanitizer; then fuzzes every reader of outside
# data for 30 seconds each (scripts/fuzz.sh). With TORVINEL_CHECK_DEB=1 it also installs the
# normal build's Debian package on a clean Debian 12 and runs it there (scripts/check_deb.sh:
# it needs mounts and a chroot, and downloads the root on its first run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
BUILD_DIR=build bash scripts/build.sh -DTORVINEL_BENCH=OFF
ctest --test-dir build --output-on-failure -j2 --timeout 600
if [ "${TORVINEL_CHECK_DEB:-0}" = 1 ]; then bash scripts/check_deb.sh build; fi
BUILD_TYPE=Asan BUILD_DIR=build-asan bash scripts/build.sh -DTORVINEL_BENCH=OFF
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j2 --timeout 900
bash scripts/fuzz.sh 30
