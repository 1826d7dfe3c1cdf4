#!/usr/bin/env bash
# Whole-process benchmark of the archive engine against zip and unzip on the shared corpus.
#   packing:    zip_tool pack  vs  zip -r -6 -n <the engine's stored extensions>
#   extracting: zip_tool extract  vs  unzip, both on the engine's archive
# Each command runs RUNS times after a warm-up read of the corpus; the best wall time counts.
# Ratios are peer time / engine time: 1.0 or more means the engine is at least as fast.
# Environment: CORPUS (default /tmp/torvinel-corpus, built when missing), BUILD_DIR (build),
# WORK (/tmp/torvinel-archive-bench), RUNS (3), MAKE_CORPUS (the shared corpus script).
set -euo pipefail
cd "$(dirname "$0")/.."
CORPUS=${CORPUS:-/tmp/torvinel-corpus}
BUILD_DIR=${BUILD_DIR:-build}
WORK=${WORK:-/tmp/torvinel-archive-bench}
RUNS=${RUNS:-3}
MAKE_CORPUS=${MAKE_CORPUS:-/work/shared/bench/make_corpus.sh}
STORED=.gif:.jpg:.png:.mp3:.flac:.ogg:.wmv:.avi:.mpg:.mpeg:.mp4:.mov:.zip

for tool in zip unzip /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh)"; exit 1; }
done
if [ ! -d "$CORPUS/big" ] || [ ! -d "$CORPUS/media" ]; then
  echo "building the corpus in $CORPUS (about 1.5 GB, takes a while)"
  bash "$MAKE_CORPUS" "$CORPUS"
fi
[ -d "$BUILD_DIR" ] || cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j2 --target zip_tool >/dev/null
TOOL=$(realpath "$BUILD_DIR/bench/zip_tool")
CORPUS=$(realpath "$CORPUS")
rm -rf "$WORK"; mkdir -p "$WORK"

corpus_bytes=$(du -sb "$CORPUS" | cut -f1)
corpus_files=$(find "$CORPUS" -type f | wc -l)
echo "corpus: $CORPUS, $corpus_files files, $((corpus_bytes / 1048576)) MiB; $(nproc) CPUs; load $(cut -d' ' -f1-3 /proc/loadavg)"
find "$CORPUS" -type f -print0 | xargs -0 cat > /dev/null # warm the page cache for everyone

# best NAME CLEANUP COMMAND...: runs COMMAND RUNS times, prints and records the best wall time.
declare -A WALL CPU
best() {
  local name=$1 cleanup=$2; shift 2
  local bw="" bc=""
  for _ in $(seq "$RUNS"); do
    eval "$cleanup"
    sync
    /usr/bin/time -f "%e %U %S" -o "$WORK/time" "$@" >/dev/null
    read -r w u s < "$WORK/time"
    c=$(echo "$u + $s" | bc)
    if [ -z "$bw" ] || [ "$(echo "$w < $bw" | bc)" = 1 ]; then bw=$w; bc=$c; fi
  done
  WALL[$name]=$bw; CPU[$name]=$bc
  printf '  %-34s wall %7.2f s   cpu %7.2f s\n' "$name" "$bw" "$bc"
}
ratio() { echo "scale=2; $1 / $2" | bc; }

echo "packing (level 6, stored: $STORED)"
best "zip -r -6 -n" "rm -f $WORK/peer.zip" \
  bash -c "cd '$CORPUS' && zip -q -r -6 -n $STORED '$WORK/peer.zip' ."
best "zip_tool pack (flushes)" "rm -f $WORK/ours.zip" "$TOOL" pack "$WORK/ours.zip" "$CORPUS"
best "zip_tool pack --no-flush" "rm -f $WORK/ours-nf.zip" "$TOOL" pack "$WORK/ours-nf.zip" "$CORPUS" --no-flush
echo "  sizes: zip $(stat -c %s "$WORK/peer.zip"), engine $(stat -c %s "$WORK/ours.zip") bytes"

echo "extracting the engine's archive"
best "unzip" "rm -rf $WORK/out-peer" unzip -q "$WORK/ours.zip" -d "$WORK/out-peer"
best "zip_tool extract" "rm -rf $WORK/out-ours" "$TOOL" extract "$WORK/ours.zip" "$WORK/out-ours"
diff -r -q "$CORPUS" "$WORK/out-ours" >/dev/null && echo "  extracted tree is identical to the corpus" \
  || { echo "  EXTRACTED TREE DIFFERS"; exit 1; }

echo "ratios (peer / engine; >= 1.0 means at least the peer's speed)"
echo "  pack, wall:            $(ratio "${WALL[zip -r -6 -n]}" "${WALL[zip_tool pack (flushes)]}")  (no flush: $(ratio "${WALL[zip -r -6 -n]}" "${WALL[zip_tool pack --no-flush]}"))"
echo "  pack, cpu:             $(ratio "${CPU[zip -r -6 -n]}" "${CPU[zip_tool pack (flushes)]}")"
echo "  extract, wall:         $(ratio "${WALL[unzip]}" "${WALL[zip_tool extract]}")"
echo "  extract, cpu:          $(ratio "${CPU[unzip]}" "${CPU[zip_tool extract]}")"
rm -rf "$WORK"
