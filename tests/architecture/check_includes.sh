#!/usr/bin/env bash
# Fails when a source file includes a folder above its own, a folder of its own level, or
# another folder's internal/ headers. The levels, from the ground up:
#   platform < app < discwright < catalog, archive, recovery < discwriter, backup, restore, power, desktop
#   < application < cli, ui
# Tests may include their own module's internal/ headers (tests/<module>/ for src/<module>/).
#
#   check_includes.sh SRC_DIR [TESTS_DIR]
set -euo pipefail
src=$1
tests=${2:-}

declare -A level=(
  [platform]=0 [app]=1 [discwright]=2 [catalog]=3 [archive]=3 [recovery]=3
  [discwriter]=4 [backup]=4 [restore]=4 [power]=4 [desktop]=4 [application]=5 [cli]=6 [ui]=6
)

faults=0
fault() {
  echo "$1: $2" >&2
  faults=$((faults + 1))
}

# Prints "file<TAB>included" for every quoted include of a module path below dir.
includes() {
  grep -rnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[A-Za-z_]+/[^"]+"' "$1" \
       --include='*.h' --include='*.cpp' --include='*.hpp' 2>/dev/null \
    | sed -E 's/^([^:]+):([0-9]+):.*"([^"]+)"$/\1:\2\t\3/' || true
}

for dir in "$src"/*/; do
  own=$(basename "$dir")
  [ -n "${level[$own]+set}" ] || { fault "$dir" "a folder with no level in the module order"; continue; }
  while IFS=$'\t' read -r where path; do
    [ -n "$where" ] || continue
    target=${path%%/*}
    [ -n "${level[$target]+set}" ] || continue # not a module path (a generated or system header)
    if [ "$target" != "$own" ]; then
      if [ "${level[$target]}" -ge "${level[$own]}" ]; then
        fault "$where" "$own/ includes $path (from a folder at or above its own level)"
      fi
      case $path in
        */internal/*) fault "$where" "$own/ includes $path (internal to $target/)" ;;
        platform/posix/* | platform/windows/*) fault "$where" "$own/ includes $path (one system's side of platform/)" ;;
      esac
    fi
  done < <(includes "$dir")
done

if [ -n "$tests" ]; then
  for dir in "$tests"/*/; do
    own=$(basename "$dir")
    while IFS=$'\t' read -r where path; do
      [ -n "$where" ] || continue
      target=${path%%/*}
      case $path in
        */internal/*) [ "$target" = "$own" ] || fault "$where" "tests/$own/ includes $path (internal to $target/)" ;;
      esac
    done < <(includes "$dir")
  done
fi

if [ "$faults" -gt 0 ]; then
  echo "$faults include(s) against the module order" >&2
  exit 1
fi
echo "includes follow the module order"
