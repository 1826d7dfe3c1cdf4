#!/bin/bash
# Restoring everything from the corpus's discs with torvinel-cli, against unzip of the same
# archives (split archives, which unzip cannot read, are left out of the corpus part used).
#   bench/restore_vs_unzip.sh BUILD_DIR CORPUS [WORK]
# CORPUS is the shared benchmark corpus (../shared/bench/make_corpus.sh); its src/ and bin/
# (about 500 MB, no file over 8 MiB) are used.
set -euo pipefail
BUILD=$(realpath "${1:?usage: restore_vs_unzip.sh BUILD_DIR CORPUS [WORK]}")
CORPUS=$(realpath "${2:?usage: restore_vs_unzip.sh BUILD_DIR CORPUS [WORK]}")
WORK=${3:-$(mktemp -d "${TMPDIR:-/tmp}"/torvinel-restore-bench.XXXXXX)}
rm -rf "$WORK/discs" "$WORK/data" "$WORK/home" "$WORK/unzip"
mkdir -p "$WORK/discs" "$WORK/data/Torvinel/Database" "$WORK/home"
# DVD-sized discs.
"$BUILD/bench/restore_discs" "$WORK/discs" "$WORK/data/Torvinel/Database" 4480 "$CORPUS/src" "$CORPUS/bin" >/dev/null
ARCHIVES=$(find "$WORK/discs" -name '*.zip' | wc -l)
BYTES=$(du -sb "$CORPUS/src" "$CORPUS/bin" | awk '{s+=$1} END {print s}')

sync
start=$(date +%s.%N)
env XDG_DATA_HOME="$WORK/data" HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" \
  "$BUILD/src/cli/torvinel-cli" restore --from "$WORK/discs" / </dev/null >"$WORK/restore.out"
restore=$(echo "$(date +%s.%N) - $start" | bc)

sync
start=$(date +%s.%N)
mkdir -p "$WORK/unzip"
find "$WORK/discs" -name '*.zip' -print0 | xargs -0 -n1 unzip -q -o -d "$WORK/unzip"
unzip_time=$(echo "$(date +%s.%N) - $start" | bc)

TARGET=$(tail -n 1 "$WORK/restore.out")
diff -r "$TARGET/r${CORPUS}" "$WORK/unzip${CORPUS}" >/dev/null && same=yes || same=NO
printf 'corpus: %s (src, bin): %d bytes in %d archives\n' "$CORPUS" "$BYTES" "$ARCHIVES"
printf 'torvinel-cli restore: %.2f s\nunzip of the archives: %.2f s\nratio: %.2f\nsame files: %s\n' \
  "$restore" "$unzip_time" "$(echo "$restore / $unzip_time" | bc -l)" "$same"
