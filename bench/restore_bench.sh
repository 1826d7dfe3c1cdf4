#!/bin/bash
# Restoring everything from the image drive's shelf (one ISO image per disc) with
# torvinel-cli, against `bsdtar -xf` of the same archives, in the same run. Every file the
# program restores is checked against its catalog line on the way (size and MD5); bsdtar
# checks only the archive's CRC. Prints each run, the medians of wall-clock and processor
# (user + sys) time, their ratio and whether both gave the same files.
#
#   bench/restore_bench.sh [BUILD_DIR] [CORPUS] [RUNS]
#
# BUILD_DIR defaults to ./build-bench (targets torvinel-cli and restore_discs); CORPUS to
# /tmp/torvinel-corpus, whose src/ and bin/ (about 520 MB, no file over 8 MiB, so no split
# archive) are used; RUNS to 3. CLI=path picks another torvinel-cli (one that knows --to).
# Work files go to a temporary folder below TMPDIR (default /tmp) that is removed;
# TMPDIR=/dev/shm keeps a slow or busy disk out of the figures.
set -euo pipefail
BUILD=$(realpath "${1:-build-bench}")
CORPUS=${2:-/tmp/torvinel-corpus}
RUNS=${3:-3}
CLI=${CLI:-$BUILD/src/cli/torvinel-cli} # CLI=... times another build of it
for tool in "$CLI" "$BUILD/bench/restore_discs"; do
    [ -x "$tool" ] || { echo "no $tool: build torvinel-cli and restore_discs first" >&2; exit 2; }
done
command -v bsdtar >/dev/null || { echo "bsdtar is missing (package libarchive-tools)" >&2; exit 2; }
if [ ! -d "$CORPUS" ]; then
    /work/shared/bench/make_corpus.sh "$CORPUS"
fi
CORPUS=$(realpath "$CORPUS")
WORK=$(mktemp -d "${TMPDIR:-/tmp}"/torvinel-restore-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# DVD-sized discs, each made into <DiscId>.iso on the shelf with <DiscId>/ at its root.
APP="$WORK/data/Torvinel"
mkdir -p "$WORK/discs" "$APP/Database" "$WORK/home" "$WORK/shelf"
"$BUILD/bench/restore_discs" "$WORK/discs" "$APP/Database" 4480 "$CORPUS/src" "$CORPUS/bin" >/dev/null
for disc in "$WORK"/discs/*/; do
    id=$(basename "$disc")
    xorriso -as mkisofs -quiet -J -R -graft-points -o "$WORK/shelf/$id.iso" "/$id=$disc" 2>/dev/null
done
printf '[ImageDrive]\r\nFolder=%s\r\nMediaType=DVD+R\r\n' "$WORK/shelf" > "$APP/Torvinel.ini"
ARCHIVES=$(find "$WORK/discs" -name '*.zip' | wc -l)
IMAGES=$(find "$WORK/shelf" -name '*.iso' | wc -l)
BYTES=$(du -sb "$CORPUS/src" "$CORPUS/bin" | awk '{s+=$1} END {print s}')
printf 'corpus: %s (src, bin): %d bytes in %d archives on %d images\n' "$CORPUS" "$BYTES" "$ARCHIVES" "$IMAGES"

ours() {
    rm -rf "$WORK/restores"
    mkdir -p "$WORK/restores"
    sync
    /usr/bin/time -f "%e %U %S" -o "$WORK/ours.time" \
      env XDG_DATA_HOME="$WORK/data" HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" \
        "$CLI" restore --from "$WORK/shelf" --to "$WORK/restores" / </dev/null >"$WORK/restore.out" 2>"$WORK/restore.err"
}
peer() {
    rm -rf "$WORK/bsdtar"
    mkdir -p "$WORK/bsdtar"
    sync
    find "$WORK/discs" -name '*.zip' -print0 | sort -z \
      | /usr/bin/time -f "%e %U %S" -o "$WORK/peer.time" xargs -0 -n1 bsdtar -x -C "$WORK/bsdtar" -f
}

: > "$WORK/ours.all"
: > "$WORK/peer.all"
: > "$WORK/ratio.all"
for run in $(seq 1 "$RUNS"); do
    # Alternate which goes first, so neither always finds the other's data in the cache.
    if [ $((run % 2)) -eq 1 ]; then ours; peer; else peer; ours; fi
    cat "$WORK/ours.time" >> "$WORK/ours.all"
    cat "$WORK/peer.time" >> "$WORK/peer.all"
    read -r ow ou os < "$WORK/ours.time"
    read -r pw pu ps < "$WORK/peer.time"
    echo "$pw / $ow" | bc -l >> "$WORK/ratio.all"
    printf 'run %d: torvinel-cli restore %6.2f s (cpu %6.2f s)   bsdtar -xf %6.2f s (cpu %6.2f s)   %.2fx\n' \
        "$run" "$ow" "$(echo "$ou + $os" | bc)" "$pw" "$(echo "$pu + $ps" | bc)" "$(tail -n 1 "$WORK/ratio.all")"
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
OW=$(awk '{ print $1 }' "$WORK/ours.all" | median)
OC=$(awk '{ print $2 + $3 }' "$WORK/ours.all" | median)
PW=$(awk '{ print $1 }' "$WORK/peer.all" | median)
PC=$(awk '{ print $2 + $3 }' "$WORK/peer.all" | median)

TARGET=$(tail -n 1 "$WORK/restore.out")
diff -r "$TARGET/r${CORPUS}" "$WORK/bsdtar${CORPUS}" >/dev/null && same=yes || same=NO
printf 'median of %d runs: torvinel-cli restore %.2f s (cpu %.2f s), bsdtar -xf %.2f s (cpu %.2f s)\n' \
    "$RUNS" "$OW" "$OC" "$PW" "$PC"
# The load on a shared machine changes from run to run; the ratio within each run is the
# steadier figure.
printf 'speed against bsdtar (bsdtar time / ours): %.2fx wall-clock (median of the runs'"'"' ratios %.2fx), %.2fx cpu\nsame files: %s\n' \
    "$(echo "$PW / $OW" | bc -l)" "$(median < "$WORK/ratio.all")" "$(echo "$PC / $OC" | bc -l)" "$same"
