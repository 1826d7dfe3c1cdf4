#!/usr/bin/env bash
# Run by scripts/check_deb.sh inside the clean Debian 12 root, as an ordinary user whose HOME
# does not exist yet, after the package was installed:
#   check_deb_inside.sh VERSION
# Runs the installed programs as a new user would and stops at the first that misbehaves.
set -euo pipefail
version=$1
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# cli NAME ARGUMENTS...: runs torvinel-cli, keeping its output in $out and its exit code in $code.
cli() {
  local name=$1
  shift
  code=0
  torvinel-cli "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err" || code=$?
  out=$(cat "$work/$name.out")
  echo "\$ torvinel-cli $* -> exit $code"
  [ "$code" -eq 0 ] || { cat "$work/$name.out" "$work/$name.err"; fail "torvinel-cli $* exited with $code"; }
}
mkdir -p "$HOME"
work=$HOME/check
data=$HOME/data
discs=$HOME/discs
mkdir -p "$work"

cli version --version
echo "  $out"
[[ $out == "torvinel-cli $version "* ]] || fail "torvinel-cli --version printed: $out"
cli help --help
grep -q '^  backup ' "$work/help.out" || fail "torvinel-cli --help lists no backup command"

# A first start: the image drive is the writer and the restore drive; no disc is known yet.
cli drives drives
sed 's/^/  /' "$work/drives.out"
grep -q "^Image: " "$work/drives.out" || fail "torvinel-cli drives lists no image drive"
cli discs discs
[ -z "$out" ] || fail "a new user's database lists discs: $out"

# A small disc, so that the run also splits a file over two discs.
printf '[ImageDrive]\r\nFolder=%s\r\nMediaType=CD-R\r\nBlocks=15360\r\n' "$discs" \
  >"$HOME/.local/share/Torvinel/Torvinel.ini"
mkdir -p "$data/Fotos/Sommer"
printf 'a line of text\n' >"$data/notes.txt"
: >"$data/empty.txt"
head -c 3000000 /dev/urandom >"$data/Fotos/Sommer/été.jpg"
head -c 25000000 /dev/urandom >"$data/Fotos/video.mp4"
seq 1 200000 >"$data/Fotos/list.txt"
cli backup backup --select "$data" --md5 --verify
tail -n 4 "$work/backup.out" | sed 's/^/  /'
images=$(find "$discs" -name '*.iso' | wc -l)
[ "$images" -ge 2 ] || fail "the backup wrote $images disc images, expected at least 2"
cli discs discs
[ "$(wc -l <"$work/discs.out")" -eq "$images" ] || fail "the database lists other discs than written: $out"

cli restore restore --from "$discs" "$data/"
tail -n 2 "$work/restore.out" | sed 's/^/  /'
restored=$(tail -n 1 "$work/restore.out")/r$data
diff -r "$data" "$restored" || fail "the restored files differ from the backed-up ones"
echo "  the restored tree equals the backed-up one"

QT_QPA_PLATFORM=offscreen torvinel --version >"$work/gui.out" 2>&1 || { cat "$work/gui.out"; fail "torvinel --version"; }
echo "\$ QT_QPA_PLATFORM=offscreen torvinel --version -> $(cat "$work/gui.out")"
grep -qx "torvinel $version" "$work/gui.out" || fail "torvinel --version printed: $(cat "$work/gui.out")"
