#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build and once
# under AddressSanitizer and UndefinedBehaviorSanitizer; installs the normal build's Debian
# package on a clean Debian 12 and runs it there (scripts/check_deb.sh, about a minute once its
# root is made); then fuzzes every reader of outside data for 30 seconds each (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
BUILD_DIR=build bash scripts/build.sh -DTORVINEL_BENCH=OFF
ctest --test-dir build --output-on-failure -j2 --timeout 600
bash scripts/check_deb.sh build
BUILD_TYPE=Asan BUILD_DIR=build-asan bash scripts/build.sh -DTORVINEL_BENCH=OFF
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j2 --timeout 900
bash scripts/fuzz.sh 30
