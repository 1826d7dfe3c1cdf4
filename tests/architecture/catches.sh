#!/usr/bin/env bash
# Builds a tree with one planted fault and passes when check_includes.sh rejects it (and
# accepts the same tree without the fault).
#   catches.sh CHECK CASE
set -euo pipefail
check=$1
case_name=$2
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/src/platform" "$tree/src/app" "$tree/src/archive/internal" "$tree/src/catalog"
echo '#include "platform/Platform.h"' > "$tree/src/app/Ok.cpp"
echo '#include "archive/internal/ZipReader.h"' > "$tree/src/archive/Own.cpp"
bash "$check" "$tree/src" >/dev/null || { echo "a sound tree was rejected"; exit 1; }
case $case_name in
  upward) echo '#include "catalog/CatalogLine.h"' > "$tree/src/app/Bad.cpp" ;;
  sideways) echo '#include "archive/ZipArchive.h"' > "$tree/src/catalog/Bad.cpp" ;;
  internal) mkdir -p "$tree/src/backup" && echo '  #  include "archive/internal/ZipReader.h"' > "$tree/src/backup/Bad.h" ;;
  os_side) echo '#include "platform/posix/Helpers.h"' > "$tree/src/app/Bad.cpp" ;;
  unknown_folder) mkdir -p "$tree/src/misc" && echo '' > "$tree/src/misc/Bad.cpp" ;;
  *) echo "no case $case_name"; exit 2 ;;
esac
if bash "$check" "$tree/src" 2>"$tree/out"; then
  echo "the planted fault ($case_name) was not found"
  exit 1
fi
cat "$tree/out"
