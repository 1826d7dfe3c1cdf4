#!/usr/bin/env bash
# Configures and builds Torvinel into build/ (or $BUILD_DIR) with the given build type.
set -euo pipefail
cd "$(dirname "$0")/.."
type=${BUILD_TYPE:-RelWithDebInfo}
dir=${BUILD_DIR:-build}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
cmake --build "$dir" -j2
