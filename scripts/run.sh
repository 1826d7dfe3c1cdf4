#!/usr/bin/env bash
# Installs what is missing, builds, and starts Torvinel (on its built-in image drive).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh -DTORVINEL_TESTS=OFF -DTORVINEL_BENCH=OFF
exec ./build/src/ui/torvinel "$@"
