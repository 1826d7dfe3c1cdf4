#!/bin/bash
# Whole-process benchmark of a backup of many small files: `torvinel-cli backup` of COUNT
# small text files (default 200,000, 100 to a folder) to the image drive, against
# `zip -r -6` of the same folder, timed in the same round since the machine is shared.
# Prints both times and their ratio per round, and the median ratio of ROUNDS (default 3).
#
#   [COUNT=N] [ROUNDS=N] bench/small_files_bench.sh [BUILD_DIR]
#
# The files and all work files go to a temporary folder below TMPDIR (default /tmp) that is
# removed; not /dev/shm: the backup never enters /dev.
set -euo pipefail
BUILD=$(realpath "${1:-build}")
CLI="$BUILD/src/cli/torvinel-cli"
COUNT=${COUNT:-200000}
ROUNDS=${ROUNDS:-3}
[ -x "$CLI" ] || { echo "no $CLI: build the target torvinel-cli first" >&2; exit 2; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}"/torvinel-small-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# Small files of a few hundred bytes to a few KiB, different in content and length.
TREE="$WORK/small"
python3 - "$TREE" "$COUNT" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
random.seed(1)
words = [w.encode() for w in "backup disc archive volume catalog file photo letter note page".split()]
for i in range(count):
    folder = os.path.join(root, "d%04d" % (i // 100))
    if i % 100 == 0:
        os.makedirs(folder)
    n = random.randint(30, 600)
    with open(os.path.join(folder, "f%06d.txt" % i), "wb") as f:
        f.write(b" ".join(random.choice(words) for _ in range(n)) + b"\n")
PY
echo "small files: $COUNT in $(du -sm "$TREE" | cut -f1) MiB"

now() { date +%s.%N; }
for i in $(seq "$ROUNDS"); do
    HOMEDIR="$WORK/home"
    rm -rf "$HOMEDIR" "$WORK/discs" "$WORK/small.zip"
    mkdir -p "$HOMEDIR/.local/share/Torvinel"
    printf '[ImageDrive]\r\nFolder=%s\r\nMediaType=DVD+R\r\n' "$WORK/discs" > "$HOMEDIR/.local/share/Torvinel/Torvinel.ini"
    sync
    START=$(now)
    env HOME="$HOMEDIR" XDG_DATA_HOME="$HOMEDIR/.local/share" XDG_CONFIG_HOME="$HOMEDIR/.config" \
        "$CLI" backup --select "$TREE" --no-md5 --no-verify </dev/null >"$WORK/torvinel.out" 2>"$WORK/torvinel.err"
    OURS=$(echo "$(now) - $START" | bc)
    grep -q "The backup is finished." "$WORK/torvinel.out" || { cat "$WORK/torvinel.out"; echo "the backup did not finish" >&2; exit 1; }
    sync
    START=$(now)
    (cd "$WORK" && zip -q -r -6 small.zip small)
    PEER=$(echo "$(now) - $START" | bc)
    RATIO=$(echo "scale=3; $OURS / $PEER" | bc)
    echo "round $i: torvinel-cli backup ${OURS}s, zip -r -6 ${PEER}s, ratio torvinel / zip $RATIO"
    echo "$RATIO" >> "$WORK/ratios"
done
echo "median ratio torvinel / zip -r -6 of $ROUNDS rounds: $(sort -n "$WORK/ratios" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
