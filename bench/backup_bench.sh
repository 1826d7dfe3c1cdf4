#!/bin/bash
# Whole-process benchmark of a backup: `torvinel-cli backup` of the shared corpus to the image
# drive (one DVD+R image), against the peer pipeline that produces the same kind of result:
# `zip -r -6` with the same stored extensions, `md5sum` of every file, and
# `xorriso -as mkisofs -J` of the archive. Prints both times, their ratio, where the
# program's time goes, phase by phase (from the time each phase's caption appears), the
# archives' total size against zip's and the peak memory of both. With ROUNDS=N (default 3)
# it runs N rounds, each against the peer in the same round, and ends with the medians.
# RECOVERY=P gives the discs P % of recovery data instead of the default share (0: none).
#
#   [ROUNDS=N] [RECOVERY=P] bench/backup_bench.sh [BUILD_DIR] [CORPUS]
#
# BUILD_DIR defaults to ./build; CORPUS to /tmp/torvinel-corpus, made with the shared
# make_corpus.sh when it does not exist. Work files go to a temporary folder that is removed.
set -euo pipefail
BUILD=$(realpath "${1:-build}")
CORPUS=${2:-/tmp/torvinel-corpus}
CLI="$BUILD/src/cli/torvinel-cli"
[ -x "$CLI" ] || { echo "no $CLI: build the target torvinel-cli first" >&2; exit 2; }
if [ ! -d "$CORPUS" ]; then
    /work/shared/bench/make_corpus.sh "$CORPUS"
fi
CORPUS=$(realpath "$CORPUS")
WORK=$(mktemp -d "${TMPDIR:-/tmp}"/torvinel-backup-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

ROUNDS=${ROUNDS:-3}
RECOVERY_ARGS=()
[ -n "${RECOVERY:-}" ] && RECOVERY_ARGS=(--recovery "$RECOVERY")
SIZE=$(du -sb "$CORPUS" | cut -f1)
FILES=$(find "$CORPUS" -type f | wc -l)
echo "corpus: $CORPUS, $FILES files, $((SIZE / 1048576)) MiB"

now() { date +%s.%N; }

round() {

# ---- Torvinel ---------------------------------------------------------------
HOMEDIR="$WORK/home"
APP="$HOMEDIR/.local/share/Torvinel"
rm -rf "$HOMEDIR" "$WORK/discs" "$WORK/peer"
mkdir -p "$APP"
printf '[ImageDrive]\r\nFolder=%s\r\nMediaType=DVD+R\r\n' "$WORK/discs" > "$APP/Torvinel.ini"
sync
START=$(now)
/usr/bin/time -f "%U %S %M" -o "$WORK/torvinel.cpu" \
  env HOME="$HOMEDIR" XDG_DATA_HOME="$HOMEDIR/.local/share" XDG_CONFIG_HOME="$HOMEDIR/.config" \
    "$CLI" backup --select "$CORPUS" --no-md5 --no-verify "${RECOVERY_ARGS[@]}" </dev/null 2>"$WORK/torvinel.err" \
  | while IFS= read -r line; do printf '%s %s\n' "$(now)" "$line"; done > "$WORK/torvinel.out"
END=$(now)
OURS=$(echo "$END - $START" | bc)
grep -q "The backup is finished." "$WORK/torvinel.out" || { cat "$WORK/torvinel.out"; echo "the backup did not finish" >&2; exit 1; }
IMAGES=$(du -cb "$WORK"/discs/*.iso | tail -1 | cut -f1)
# The archives (and split volumes) on the discs, without catalogs, STATUS.INI, the recovery
# data and the index of the database.
ARCHIVES=0
for iso in "$WORK"/discs/*.iso; do
    n=$(7z l -slt "$iso" | awk '/^Path = /{ p = tolower($3) }
        /^Size = /{ if (p !~ /\.(csv|ini)$/ && p !~ /recovery\.dat$/ && p !~ /\/index\//) t += $3 } END { print t + 0 }')
    ARCHIVES=$((ARCHIVES + n))
done
OURMEM=$(awk '{ print $3 }' "$WORK/torvinel.cpu")

echo
OURCPU=$(awk '{ print $1 + $2 }' "$WORK/torvinel.cpu")
echo "torvinel-cli backup: ${OURS}s (processor ${OURCPU}s), image(s) $((IMAGES / 1048576)) MiB, archives $ARCHIVES bytes, peak memory $((OURMEM / 1024)) MiB"
echo "  where the time goes (from each line's first appearance to the next):"
awk -v start="$START" -v end="$END" '
    { t[NR] = $1; $1 = ""; text[NR] = substr($0, 2) }
    END {
        prev = start; label = "start-up";
        for (i = 1; i <= NR; i++) {
            if (text[i] ~ /^Phase|^Please remove|^Done\.|^The backup/) {
                printf "    %-55s %7.2fs\n", label, t[i] - prev; prev = t[i]; label = text[i];
            }
        }
        printf "    %-55s %7.2fs\n", label " (to exit)", end - prev;
    }' "$WORK/torvinel.out"

# ---- peer pipeline ------------------------------------------------------------
mkdir -p "$WORK/peer/disc"
sync
START=$(now)
(cd "$(dirname "$CORPUS")" && /usr/bin/time -f "%U %S %M" -o "$WORK/zip.cpu" zip -q -r -6 -n .gif:.jpg:.png:.mp3:.flac:.ogg:.wmv:.avi:.mpg:.mpeg:.mp4:.mov:.zip \
     "$WORK/peer/disc/backup.zip" "$(basename "$CORPUS")")
T1=$(now)
find "$CORPUS" -type f -print0 | /usr/bin/time -f "%U %S" -o "$WORK/md5.cpu" xargs -0 md5sum > "$WORK/peer/disc/md5.txt"
T2=$(now)
/usr/bin/time -f "%U %S" -o "$WORK/xorriso.cpu" xorriso -as mkisofs -quiet -J -o "$WORK/peer/backup.iso" "$WORK/peer/disc" 2>/dev/null
END=$(now)
PEER=$(echo "$END - $START" | bc)
echo
PEERCPU=$(cat "$WORK/zip.cpu" "$WORK/md5.cpu" "$WORK/xorriso.cpu" | awk '{ t += $1 + $2 } END { print t }')
ZIPSIZE=$(stat -c %s "$WORK/peer/disc/backup.zip")
ZIPMEM=$(awk '{ print $3 }' "$WORK/zip.cpu")
echo "peer pipeline: ${PEER}s (processor ${PEERCPU}s), image $(( $(stat -c %s "$WORK/peer/backup.iso") / 1048576 )) MiB, zip $ZIPSIZE bytes, zip peak memory $((ZIPMEM / 1024)) MiB"
printf "    %-55s %7.2fs\n" "zip -r -6" "$(echo "$T1 - $START" | bc)" "md5sum" "$(echo "$T2 - $T1" | bc)" \
    "xorriso -as mkisofs -J" "$(echo "$END - $T2" | bc)"
echo
SPEEDUP=$(echo "scale=3; $PEER / $OURS" | bc)
SIZERATIO=$(echo "scale=4; $ARCHIVES / $ZIPSIZE" | bc)
echo "ratio torvinel / peer: $(echo "scale=2; $OURS / $PEER" | bc) (processor time: $(echo "scale=2; $OURCPU / $PEERCPU" | bc)), speed-up ${SPEEDUP}x"
echo "archives / zip -6 size: $SIZERATIO"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$SPEEDUP $SIZERATIO $OURMEM" >> "$WORK/rounds"
}

for i in $(seq "$ROUNDS"); do
    echo
    echo "==== round $i of $ROUNDS"
    round
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo
echo "medians of $ROUNDS rounds: speed-up (peer time / torvinel time) $(cut -d' ' -f1 "$WORK/rounds" | median)x," \
     "archives / zip -6 size $(cut -d' ' -f2 "$WORK/rounds" | median)," \
     "torvinel peak memory $(( $(cut -d' ' -f3 "$WORK/rounds" | median | cut -d. -f1) / 1024 )) MiB"
