#!/bin/bash
# How much disc damage the recovery data survives, side by side with dvdisaster and par2.
#
#   [SETS="cd mid"] [TRIALS=20] [PEER_TRIALS=3] [PEER_SETS="cd mid"] [EDGE_SETS=cd]
#   [PEERS="rs01 rs03file rs03image par2"] [AUGMENT_SETS="mid dvd"] [RECOVERY=12] [KEEP=1]
#       bench/recovery_damage_bench.sh [BUILD_DIR]
#
# BUILD_DIR (default ./build) is configured and its torvinel-cli built when missing;
# dvdisaster and par2 are installed with apt-get when missing (through sudo when not root).
# Work files go to a folder below TMPDIR (default /var/tmp, on disk: the DVD set takes about
# 15 GB, 35 GB with its peers) that is removed at the end unless KEEP=1.
#
# Disc images ("sets"), each made once per run:
#   cd   a CD-R image written by a real `torvinel-cli backup` on the image drive (own HOME,
#        Torvinel.ini's [ImageDrive] and [Status] RecoveryPercent) of 40 files, 27 MB, mixed
#        random and text;
#   mid  the same on a DVD+R image with about 600 MB of mixed data;
#   dvd  the first disc of a backup of 4.3 GB of random files on a DVD+R of 2,295,104
#        blocks (slow; only when SETS names it).
# Damage: zeroed 2048-byte sectors (bench/damage_image.py) on a copy of the pristine image,
# spread over the whole image, RECOVERY.DAT and the file tree included, one seed per trial:
#   (a) 5 % of the sectors at random;
#   (b) 1 % at random plus a burst over the last 3 % of the image (the rim);
#   (c) sectors 0-59 (volume descriptors and file tree) plus 3 % at random.
# Torvinel, TRIALS trials per pattern: `verify --from COPY DISCID` (exit code and first line),
# `repair --from COPY DISCID --image OUT.iso`, and whether OUT.iso has the pristine image's
# MD5. Also a repair of the undamaged image, and on EDGE_SETS the largest share of random
# damage (steps of 1 %, then 0.25 % below the first failure) repaired in TRIALS of TRIALS.
# Peers on PEER_SETS with PEER_TRIALS trials (the same seeds, so the same damaged images),
# at RECOVERY % redundancy where they let it be chosen:
#   rs01       dvdisaster -mRS01 -n RECOVERY% error-correction file;
#   rs03file   dvdisaster -mRS03 -o file -n RECOVERY% error-correction file;
#   rs03image  dvdisaster -mRS03 -o image: the image augmented in place; dvdisaster picks the
#              smallest medium that fits and fills it, so its redundancy is its own (printed);
#              the damage hits the augmented image, its ecc data included. Only on
#              AUGMENT_SETS (default "mid dvd"): the 24 MB CD image becomes a 700 MB CD at
#              200 % redundancy (170 roots), whose repair went at about 0.3 MB/s here;
#   par2       par2 create -r RECOVERY over the image (par2's own block size).
# The peers' separate files (.ecc, .par2) are not damaged: they are taken as kept elsewhere,
# while Torvinel's recovery data and RS03's augmented ecc share the damaged image.
# Each peer: creation time, a check of the undamaged image (dvdisaster -t, par2 verify), and
# per damaged copy the repair time and whether the result has the pristine MD5 (for
# rs03image, the augmented image's MD5). MB/s are of the pristine (unaugmented) image.
# Prints a table per set: tool x pattern -> repaired k of n, median repair time, MB/s; the
# speeds (encode, check, repair) with ratios against each peer; and the damage edge.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SOURCE=$(dirname "$HERE")
BUILD=$(realpath -m "${1:-build}")
SETS=${SETS:-"cd mid"}
TRIALS=${TRIALS:-20}
PEER_TRIALS=${PEER_TRIALS:-3}
PEER_SETS=${PEER_SETS-"cd mid"}
EDGE_SETS=${EDGE_SETS-cd}
PEERS=${PEERS-"rs01 rs03file rs03image par2"}
AUGMENT_SETS=${AUGMENT_SETS-"mid dvd"} # the sets rs03image runs on (see above for the CD)
RECOVERY=${RECOVERY:-12}
TIMEOUT=${TIMEOUT:-3600} # seconds for any one command; a command that takes longer fails
DAMAGE="$HERE/damage_image.py"
CLI="$BUILD/src/cli/torvinel-cli"
PATTERNS="a b c"

# ---- what the run needs --------------------------------------------------------------------
if [ ! -x "$CLI" ]; then
    echo "building torvinel-cli in $BUILD"
    generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    [ -f "$BUILD/CMakeCache.txt" ] || cmake -S "$SOURCE" -B "$BUILD" "${generator[@]}" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVINEL_BENCH=OFF >/dev/null
    cmake --build "$BUILD" -j2 --target torvinel-cli >/dev/null
fi
if ! command -v dvdisaster >/dev/null || ! command -v par2 >/dev/null; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    install=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends dvdisaster par2)
    "${install[@]}" >/dev/null || { "${sudo[@]}" apt-get update -qq && "${install[@]}" >/dev/null; }
fi
command -v python3 >/dev/null || { echo "python3 is missing" >&2; exit 2; }

WORK=$(mktemp -d "${TMPDIR:-/var/tmp}"/torvinel-damage-bench.XXXXXX)
if [ "${KEEP:-0}" = 1 ]; then
    echo "work folder (kept): $WORK"
else
    trap 'rm -rf "$WORK"' EXIT
fi
RESULTS="$WORK/results.tsv" # set tool pattern trial ok seconds exit
SPEEDS="$WORK/speeds.tsv"   # set tool what seconds
: > "$RESULTS"
: > "$SPEEDS"
export HOME_FOR_PEERS="$WORK/peer-home" # dvdisaster keeps its settings file in HOME
mkdir -p "$HOME_FOR_PEERS" "$WORK/logs"

# ---- helpers ---------------------------------------------------------------------------------
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
md5() { md5sum "$1" | cut -c1-32; }
mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1e6 }'; }
pattern_name() {
    case $1 in
    a) echo "(a) 5 % random" ;;
    b) echo "(b) 1 % random + 3 % rim" ;;
    c) echo "(c) sectors 0-59 + 3 % random" ;;
    0) echo "undamaged" ;;
    *) echo "$1 % random" ;;
    esac
}
pattern_parts() {
    case $1 in
    a) echo "random:5" ;;
    b) echo "random:1 rim:3" ;;
    c) echo "head:60 random:3" ;;
    *) echo "random:$1" ;;
    esac
}
# The seed of a trial: the same for every tool of a set, different per pattern and trial.
seed_of() { echo $(( $(printf '%s' "$1" | cksum | cut -d' ' -f1) % 100000 * 1000 + $2 )); }
# damage COPY PATTERN TRIAL: zeroes the pattern's sectors of COPY; prints "zeroed/total".
damage() {
    [ "$2" = 0 ] && { echo "0/0"; return; }
    # shellcheck disable=SC2046
    python3 "$DAMAGE" "$1" "$(seed_of "$2" "$3")" $(pattern_parts "$2") | tr ' ' /
}
# reason LOG: the last line a failed command printed, without progress and banner lines.
reason() { tr '\r\b' '\n\n' < "$1" | grep -v -e '%$' -e '^[*[:space:]]*$' | tail -n 1 | cut -c1-90 || true; }
# timed LOG COMMAND...: runs COMMAND with its output in LOG; sets RC and SECONDS_TAKEN.
timed() {
    local log=$1 start
    shift
    start=$EPOCHREALTIME
    RC=0
    timeout "$TIMEOUT" "$@" >"$log" 2>&1 </dev/null || RC=$?
    SECONDS_TAKEN=$(elapsed "$start" "$EPOCHREALTIME")
}

# make_data DIR MEGABYTES FILES RANDOM_SHARE SEED: FILES files, about MEGABYTES MB in all,
# RANDOM_SHARE of the bytes incompressible and the rest text of words and numbers.
make_data() {
    python3 - "$@" <<'PY'
import os, random, sys
root, total, count, share, seed = sys.argv[1], float(sys.argv[2]) * 1e6, int(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5])
rng = random.Random(seed)
os.makedirs(root, exist_ok=True)
words = ("disc backup archive volume catalog photo letter note page holiday invoice report "
         "the of and to in is was for on with as by at from summer winter garden").split()
texts = count - round(count * share) if share < 1 else 0
weights = [rng.uniform(0.3, 1.7) for _ in range(count)]
for i in range(count):
    text = i < texts
    part = (1 - share) / texts if text else share / (count - texts)
    size = int(total * part * weights[i] / (sum(weights[:texts]) / texts if text else sum(weights[texts:]) / (count - texts)))
    folder = os.path.join(root, "d%02d" % (i % 7))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, ("t%04d.txt" if text else "r%04d.bin") % i), "wb") as f:
        if text:
            chunk = "".join("%s %d %s.\n" % (" ".join(rng.choices(words, k=rng.randint(4, 14))),
                                             rng.randint(0, 99999), rng.choice(words))
                            for _ in range(40000)).encode()
            while size > 0:
                f.write(chunk[:size])
                size -= len(chunk)
        else:
            while size > 0:
                f.write(rng.randbytes(min(size, 1 << 24)))
                size -= 1 << 24
PY
}

# ---- the pristine images ---------------------------------------------------------------------
# make_image SET: backs the set's data up with torvinel-cli onto the image drive and takes the
# run's first disc; sets IMAGE, DISC, HOMEDIR and TCLI (the command line for that HOME).
make_image() {
    local set=$1 media blocks
    local dir="$WORK/$set"
    HOMEDIR="$dir/home"
    local app="$HOMEDIR/.local/share/Torvinel"
    mkdir -p "$app" "$dir/discs"
    case $set in
    cd) media=CD-R blocks=359849; make_data "$dir/data" 27 40 0.67 1 ;;
    mid) media=DVD+R blocks=2295104; make_data "$dir/data" 600 120 0.8 2 ;;
    dvd) media=DVD+R blocks=2295104; make_data "$dir/data" 4300 43 1 3 ;;
    *) echo "unknown set $set (cd, mid, dvd)" >&2; exit 2 ;;
    esac
    printf '[ImageDrive]\r\nFolder=%s\r\nMediaType=%s\r\nBlocks=%s\r\n[Status]\r\nRecoveryPercent=%s\r\n' \
        "$dir/discs" "$media" "$blocks" "$RECOVERY" > "$app/Torvinel.ini"
    local files bytes
    files=$(find "$dir/data" -type f | wc -l)
    bytes=$(du -sb "$dir/data" | cut -f1)
    # An array, not a function: timeout runs programs only.
    TCLI=(env HOME="$HOMEDIR" XDG_DATA_HOME="$HOMEDIR/.local/share" XDG_CONFIG_HOME="$HOMEDIR/.config" "$CLI")
    timed "$WORK/logs/$set-backup.log" "${TCLI[@]}" backup --select "$dir/data" --no-verify
    [ "$RC" = 0 ] || { cat "$WORK/logs/$set-backup.log"; echo "the $set backup failed (exit $RC)" >&2; exit 1; }
    IMAGE=$(find "$dir/discs" -name '*.iso' | sort | head -n 1)
    DISC=$(basename "$IMAGE" .iso)
    echo "$set torvinel backup $SECONDS_TAKEN $bytes" >> "$SPEEDS"
    printf '%s: backup of %d files, %.1f MB (%s %s blocks, recovery %s %%) in %.1f s: %d disc(s), the first %s, %s MB (%d sectors)\n' \
        "$set" "$files" "$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')" "$media" "$blocks" "$RECOVERY" "$SECONDS_TAKEN" \
        "$(find "$dir/discs" -name '*.iso' | wc -l)" "$DISC" "$(mb "$IMAGE")" "$(( $(stat -c %s "$IMAGE") / 2048 ))"
    rm -rf "$dir/data"
}

# ---- Torvinel --------------------------------------------------------------------------------
# ours_trial SET PATTERN TRIAL: damages a copy, verifies and repairs it; sets OK (1 or 0).
ours_trial() {
    local set=$1 pattern=$2 trial=$3
    local copy="$WORK/$set/damaged.iso" out="$WORK/$set/repaired.iso" zeroed verify first
    cp "$IMAGE" "$copy"
    zeroed=$(damage "$copy" "$pattern" "$trial")
    timed "$WORK/logs/verify.log" "${TCLI[@]}" verify --from "$copy" "$DISC"
    verify=$RC
    first=$(grep -m1 -v '^[[:space:]]*$' "$WORK/logs/verify.log" | cut -c1-90 || true)
    rm -f "$out"
    timed "$WORK/logs/repair.log" "${TCLI[@]}" repair --from "$copy" "$DISC" --image "$out"
    OK=0
    [ -f "$out" ] && [ "$(md5 "$out")" = "$PRISTINE_MD5" ] && OK=1
    echo "$set torvinel $pattern $trial $OK $SECONDS_TAKEN $RC" >> "$RESULTS"
    printf '  %-3s torvinel  %-30s trial %2d: %s sectors zeroed; verify exit %s "%s"; repair exit %s in %.2f s: %s\n' \
        "$set" "$(pattern_name "$pattern")" "$trial" "$zeroed" "$verify" "$first" "$RC" "$SECONDS_TAKEN" \
        "$([ $OK = 1 ] && echo "same MD5" || { [ -f "$out" ] && echo "MD5 differs" || echo "no image: $(reason "$WORK/logs/repair.log")"; })"
    rm -f "$copy" "$out"
}
ours() {
    local set=$1 pattern trial ok
    timed "$WORK/logs/verify.log" "${TCLI[@]}" verify --from "$IMAGE" "$DISC"
    echo "$set torvinel verify $SECONDS_TAKEN" >> "$SPEEDS"
    printf '  %-3s torvinel  verify of the undamaged image: exit %s in %.2f s: "%s"\n' "$set" "$RC" "$SECONDS_TAKEN" \
        "$(grep -m1 -v '^[[:space:]]*$' "$WORK/logs/verify.log" | cut -c1-90 || true)"
    ours_trial "$set" 0 1
    for pattern in $PATTERNS; do
        for trial in $(seq "$TRIALS"); do
            ours_trial "$set" "$pattern" "$trial"
        done
        ok=$(awk -v s="$set" -v p="$pattern" '$1 == s && $2 == "torvinel" && $3 == p { k += $5 } END { print k + 0 }' "$RESULTS")
        echo "  $set torvinel $(pattern_name "$pattern"): $ok of $TRIALS repaired byte for byte"
    done
}
# all_repaired SET PERCENT: whether TRIALS trials of PERCENT % random damage all repair
# (stops at the first failure).
all_repaired() {
    local trial
    for trial in $(seq "$TRIALS"); do
        ours_trial "$1" "$2" "$((trial + 50))" >> "$WORK/logs/$1-edge.log"
        [ "$OK" = 1 ] || return 1
    done
}
edge() {
    local set=$1 best="" p=1 q
    while [ "$p" -le 50 ] && all_repaired "$set" "$p"; do
        best=$p
        p=$((p + 1))
    done
    q=$(awk -v b="${best:-0}" 'BEGIN { print b + 0.25 }')
    while awk -v q="$q" -v p="$p" 'BEGIN { exit !(q < p) }' && all_repaired "$set" "$q"; do
        best=$q
        q=$(awk -v b="$q" 'BEGIN { print b + 0.25 }')
    done
    EDGE=${best:+$best %}
    EDGE=${EDGE:-"none (0.25 % already fails)"}
    echo "  $set torvinel largest random damage repaired in $TRIALS of $TRIALS trials: $EDGE"
    echo "$set $EDGE" >> "$WORK/edges"
}

# ---- peers -----------------------------------------------------------------------------------
DVD=(env HOME="$HOME_FOR_PEERS" dvdisaster)
PAR2=(env -C) # env -C DIR par2 ...: par2 names the files relative to its folder
# peer_create SET TOOL: makes the tool's ecc data for the set's image into $PEERDIR.
peer_create() {
    local set=$1 tool=$2 log="$WORK/logs/$1-$2-create.log"
    case $tool in
    rs01) timed "$log" "${DVD[@]}" -i "$IMAGE" -e "$PEERDIR/rs01.ecc" -mRS01 -n "$RECOVERY%" -c ;;
    rs03file) timed "$log" "${DVD[@]}" -i "$IMAGE" -e "$PEERDIR/rs03.ecc" -mRS03 -o file -n "$RECOVERY%" -x 2 -c ;;
    rs03image)
        cp "$IMAGE" "$PEERDIR/augmented.iso"
        timed "$log" "${DVD[@]}" -i "$PEERDIR/augmented.iso" -mRS03 -o image -x 2 -c ;;
    par2)
        mkdir -p "$PEERDIR/par2"
        ln "$IMAGE" "$PEERDIR/par2/image.iso"
        timed "$log" "${PAR2[@]}" "$PEERDIR/par2" par2 create -q -r"$RECOVERY" image.iso.par2 image.iso
        rm "$PEERDIR/par2/image.iso" ;;
    esac
    [ "$RC" = 0 ] || { tail -c 2000 "$log"; echo "$tool could not make its data for $set (exit $RC)" >&2; exit 1; }
    echo "$set $tool create $SECONDS_TAKEN" >> "$SPEEDS"
    local share
    case $tool in
    rs01) share="$(stat -c %s "$PEERDIR/rs01.ecc") bytes" ;;
    rs03file) share="$(stat -c %s "$PEERDIR/rs03.ecc") bytes" ;;
    rs03image) share="augmented image $(mb "$PEERDIR/augmented.iso") MB: $(tr '\r\b' '\n\n' < "$log" | grep -m1 -o '[0-9]* roots; [0-9.]*% redundancy' || echo '?')"
               PEER_MD5=$(md5 "$PEERDIR/augmented.iso") ;;
    par2) share="$(cat "$PEERDIR"/par2/*.par2 | wc -c) bytes in $(find "$PEERDIR/par2" -name '*.par2' | wc -l) files" ;;
    esac
    [ "$tool" = rs03image ] || PEER_MD5=$PRISTINE_MD5
    case $tool in
    rs01 | rs03file) share="$share, $(awk -v e="${share%% *}" -v i="$(stat -c %s "$IMAGE")" 'BEGIN { printf "%.1f %% of the image", 100 * e / i }')" ;;
    par2) share="$share, $(awk -v e="${share%% *}" -v i="$(stat -c %s "$IMAGE")" 'BEGIN { printf "%.1f %% of the image", 100 * e / i }')" ;;
    esac
    printf '  %-3s %-9s created in %.2f s: %s\n' "$set" "$tool" "$SECONDS_TAKEN" "$share"
    echo "$set $tool $share" >> "$WORK/shares"
}
# peer_check SET TOOL: the tool's check of the undamaged image, timed.
peer_check() {
    local set=$1 tool=$2 log="$WORK/logs/$1-$2-check.log"
    case $tool in
    rs01) timed "$log" "${DVD[@]}" -i "$IMAGE" -e "$PEERDIR/rs01.ecc" -t ;;
    rs03file) timed "$log" "${DVD[@]}" -i "$IMAGE" -e "$PEERDIR/rs03.ecc" -t ;;
    rs03image) timed "$log" "${DVD[@]}" -i "$PEERDIR/augmented.iso" -t ;;
    par2)
        ln "$IMAGE" "$PEERDIR/par2/image.iso"
        timed "$log" "${PAR2[@]}" "$PEERDIR/par2" par2 verify -q image.iso.par2
        rm "$PEERDIR/par2/image.iso" ;;
    esac
    echo "$set $tool verify $SECONDS_TAKEN" >> "$SPEEDS"
    printf '  %-3s %-9s check of the undamaged image: exit %s in %.2f s\n' "$set" "$tool" "$RC" "$SECONDS_TAKEN"
}
# peer_trial SET TOOL PATTERN TRIAL: the same damage as Torvinel's trial, then the repair.
peer_trial() {
    local set=$1 tool=$2 pattern=$3 trial=$4 log="$WORK/logs/$1-$2-repair.log" copy zeroed
    case $tool in
    rs03image) cp "$PEERDIR/augmented.iso" "$PEERDIR/damaged.iso" ;;
    *) cp "$IMAGE" "$PEERDIR/damaged.iso" ;;
    esac
    copy="$PEERDIR/damaged.iso"
    zeroed=$(damage "$copy" "$pattern" "$trial")
    case $tool in
    rs01) timed "$log" "${DVD[@]}" -i "$copy" -e "$PEERDIR/rs01.ecc" -f ;;
    rs03file) timed "$log" "${DVD[@]}" -i "$copy" -e "$PEERDIR/rs03.ecc" -x 2 -f ;;
    rs03image) timed "$log" "${DVD[@]}" -i "$copy" -a RS03 -x 2 -f ;;
    par2)
        mv "$copy" "$PEERDIR/par2/image.iso"
        copy="$PEERDIR/par2/image.iso"
        timed "$log" "${PAR2[@]}" "$PEERDIR/par2" par2 repair -q image.iso.par2
        rm -f "$PEERDIR"/par2/image.iso.[0-9]* ;;
    esac
    OK=0
    [ -f "$copy" ] && [ "$(md5 "$copy")" = "$PEER_MD5" ] && OK=1
    echo "$set $tool $pattern $trial $OK $SECONDS_TAKEN $RC" >> "$RESULTS"
    printf '  %-3s %-9s %-30s trial %2d: %s sectors zeroed; repair exit %s in %.2f s: %s\n' "$set" "$tool" \
        "$(pattern_name "$pattern")" "$trial" "$zeroed" "$RC" "$SECONDS_TAKEN" "$([ $OK = 1 ] && echo "same MD5" || echo "MD5 differs: $(reason "$log")")"
    rm -f "$copy"
}
peers() {
    local set=$1 tool pattern trial ok
    echo "  peers: $PEER_TRIALS trial(s) per pattern (PEER_TRIALS), Torvinel's first seeds; their .ecc/.par2 files are left undamaged"
    for tool in $PEERS; do
        if [ "$tool" = rs03image ]; then
            case " $AUGMENT_SETS " in *" $set "*) ;; *) echo "  $set rs03image: not on this set (AUGMENT_SETS)"; continue ;; esac
        fi
        PEERDIR="$WORK/$set/$tool"
        mkdir -p "$PEERDIR"
        peer_create "$set" "$tool"
        peer_check "$set" "$tool"
        for pattern in $PATTERNS; do
            for trial in $(seq "$PEER_TRIALS"); do
                peer_trial "$set" "$tool" "$pattern" "$trial"
            done
            ok=$(awk -v s="$set" -v t="$tool" -v p="$pattern" '$1 == s && $2 == t && $3 == p { k += $5 } END { print k + 0 }' "$RESULTS")
            echo "  $set $tool $(pattern_name "$pattern"): $ok of $PEER_TRIALS repaired byte for byte"
        done
        rm -rf "$PEERDIR"
    done
}

# ---- the tables ------------------------------------------------------------------------------
# speed SET TOOL WHAT: MB/s of the pristine image for the median time of WHAT (create,
# verify, backup, repair); "-" when not measured. A repair counts when it gave the image back
# or at least ended with exit 0 (one that gives up at once would flatter the figure).
speed() {
    local secs
    if [ "$3" = repair ]; then
        secs=$(awk -v s="$1" -v t="$2" '$1 == s && $2 == t && $3 != "0" && ($5 == 1 || $7 == 0) { print $6 }' "$RESULTS" | median)
    else
        secs=$(awk -v s="$1" -v t="$2" -v w="$3" '$1 == s && $2 == t && $3 == w { print $4 }' "$SPEEDS" | median)
    fi
    awk -v s="$secs" -v b="$IMAGE_BYTES" 'BEGIN { if (s == "-" || s <= 0) print "-"; else printf "%.1f", b / 1e6 / s }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b <= 0) print "-"; else printf "%.2fx", a / b }'; }
table() {
    local set=$1 tool pattern
    echo
    echo "== $set: image $DISC.iso, $(awk -v b="$IMAGE_BYTES" 'BEGIN { printf "%.1f", b / 1e6 }') MB; Torvinel at $RECOVERY % recovery data"
    printf '%-10s %-31s %-16s %-15s %s\n' tool pattern "byte for byte" "median repair" "MB/s"
    for tool in torvinel $PEERS; do
        for pattern in 0 $PATTERNS; do
            awk -v s="$set" -v t="$tool" -v p="$pattern" '$1 == s && $2 == t && $3 == p' "$RESULTS" > "$WORK/rows"
            [ -s "$WORK/rows" ] || continue
            local n k secs
            n=$(wc -l < "$WORK/rows")
            k=$(awk '{ k += $5 } END { print k }' "$WORK/rows")
            secs=$(awk '{ print $6 }' "$WORK/rows" | median)
            printf '%-10s %-31s %-16s %-15s %s\n' "$tool" "$(pattern_name "$pattern")" "$k of $n" "$(printf '%.2f s' "$secs")" \
                "$(awk -v s="$secs" -v b="$IMAGE_BYTES" 'BEGIN { printf "%.1f", (s > 0) ? b / 1e6 / s : 0 }')"
        done
    done
    grep "^$set " "$WORK/shares" 2>/dev/null | sed 's/^[^ ]* /  ecc data: /' || true
    echo "speeds in MB/s of the $(awk -v b="$IMAGE_BYTES" 'BEGIN { printf "%.1f", b / 1e6 }') MB image (medians; repairs that ended with exit 0 or the image back); Torvinel's encoding is part of its backup:"
    local ours_backup ours_verify ours_repair
    ours_backup=$(speed "$set" torvinel backup)
    ours_verify=$(speed "$set" torvinel verify)
    ours_repair=$(speed "$set" torvinel repair)
    printf '  %-10s backup (packing, recovery data, image) %s, verify %s, repair %s\n' torvinel "$ours_backup" "$ours_verify" "$ours_repair"
    for tool in $PEERS; do
        grep -q "^$set $tool create" "$SPEEDS" || continue
        local c v r
        c=$(speed "$set" "$tool" create)
        v=$(speed "$set" "$tool" verify)
        r=$(speed "$set" "$tool" repair)
        printf '  %-10s create %s, check %s, repair %s; Torvinel against it: backup/create %s, verify/check %s, repair %s\n' \
            "$tool" "$c" "$v" "$r" "$(ratio "$ours_backup" "$c")" "$(ratio "$ours_verify" "$v")" "$(ratio "$ours_repair" "$r")"
    done
    if grep -q "^$set " "$WORK/edges" 2>/dev/null; then
        grep "^$set " "$WORK/edges" | sed "s/^[^ ]* /largest random damage repaired in $TRIALS of $TRIALS (torvinel): /"
    else
        echo "largest random damage repaired in $TRIALS of $TRIALS (torvinel): not searched on this set (EDGE_SETS)"
    fi
}

# ---- the run ---------------------------------------------------------------------------------
echo "recovery damage benchmark: sets $SETS, $TRIALS trials (peers: $PEERS on $PEER_SETS, $PEER_TRIALS trials), work in $WORK"
echo "torvinel-cli: $CLI ($(git -C "$SOURCE" log -1 --format='%h %s' 2>/dev/null | cut -c1-70 || echo '?'))"
echo "$(dvdisaster --version 2>&1 | grep -m1 .); $(par2 -V 2>&1 | head -n 1); $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
: > "$WORK/tables"
for set in $SETS; do
    echo
    echo "==== $set"
    make_image "$set"
    PRISTINE_MD5=$(md5 "$IMAGE")
    IMAGE_BYTES=$(stat -c %s "$IMAGE")
    ours "$set"
    case " $EDGE_SETS " in *" $set "*) edge "$set" ;; esac
    case " $PEER_SETS " in *" $set "*) peers "$set" ;; esac
    table "$set" | tee -a "$WORK/tables"
    echo "load average after $set: $(cut -d' ' -f1-3 /proc/loadavg)" | tee -a "$WORK/tables"
    rm -rf "${WORK:?}/$set"
done
echo
echo "==== summary"
cat "$WORK/tables"
