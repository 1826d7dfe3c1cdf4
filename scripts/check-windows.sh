#!/usr/bin/env bash
# Compiles the Windows side of the platform-dependent code (and the core it builds on) with
# the MinGW-w64 cross compiler, syntax only: the program is built and run on Linux, and this
# keeps the Win32 files compiling. Exits 77 (skipped) when the cross compiler is missing.
set -uo pipefail
cd "$(dirname "$0")/.."
cxx=$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++) || exit 77

# The archive engine needs the headers of zlib and libdeflate. When the cross compiler has
# none, the host's (zlib.h, zconf.h, libdeflate.h) are copied into a folder of their own, so
# that nothing else of the host's /usr/include is seen.
zlib=()
if ! printf '#include <zlib.h>\n#include <libdeflate.h>\n' | "$cxx" -x c++ -fsyntax-only - 2>/dev/null; then
  for h in zlib.h zconf.h libdeflate.h; do
    [ -f /usr/include/$h ] || { echo "no $h for the archive engine"; exit 77; }
  done
  headers=$(mktemp -d) || exit 1
  trap 'rm -rf "$headers"' EXIT
  cp /usr/include/zlib.h /usr/include/zconf.h /usr/include/libdeflate.h "$headers"/
  zlib=(-isystem "$headers")
fi

status=0
for f in src/platform/*.cpp src/platform/windows/*.cpp src/power/PowerGuard.cpp src/power/windows/*.cpp \
         src/app/*.cpp src/archive/*.cpp; do
  if ! "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -Isrc "${zlib[@]}" "$f"; then
    echo "does not compile for Windows: $f"
    status=1
  fi
done
[ $status -eq 0 ] && echo "Windows side compiles"
exit $status
