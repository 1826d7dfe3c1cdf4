#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks one part of what it installed:
#   install_test.sh BUILD_DIR tree        every file is where the desktop looks for it
#   install_test.sh BUILD_DIR desktop     the desktop entry passes desktop-file-validate
#   install_test.sh BUILD_DIR metainfo    the metainfo passes appstreamcli validate
#   install_test.sh BUILD_DIR manpages    the pages render cleanly and name every command,
#                                         option and exit code of torvinel-cli --help
#   install_test.sh BUILD_DIR completion  the bash completion offers commands, options, DiscIds
# Exits 77 (skipped) when the tool a check needs is missing.
set -euo pipefail
build=$1
check=$2
id=com.quenmark.Torvinel

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
# The checks run side by side, and every install writes the build's install_manifest.txt.
DESTDIR=$root flock "$build/install-test.lock" cmake --install "$build" --prefix /usr >"$work/install.log" \
  || { cat "$work/install.log"; exit 1; }
usr=$root/usr

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
need() {
  command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed"; exit 77; }
}

case $check in
tree)
  for f in bin/torvinel bin/torvinel-cli; do
    [ -x "$usr/$f" ] || fail "$f is not an installed program"
  done
  for f in share/man/man1/torvinel.1 share/man/man1/torvinel-cli.1 \
           share/bash-completion/completions/torvinel-cli \
           share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
           share/icons/hicolor/scalable/apps/$id.svg; do
    [ -s "$usr/$f" ] || fail "$f is missing"
  done
  for size in 16 32 48 64 128 256; do
    png=$usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    if [ ! -s "$png" ]; then
      fail "the ${size}x${size} icon is missing"
    else
      # A PNG's IHDR holds the width and height as big-endian words at bytes 16 and 20.
      dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
      [ "$dims" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $dims"
    fi
  done
  # The entry starts the installed program and shows the installed icon.
  grep -qx "Exec=torvinel" "$usr/share/applications/$id.desktop" || fail "the desktop entry does not run torvinel"
  grep -qx "Icon=$id" "$usr/share/applications/$id.desktop" || fail "the desktop entry names another icon"
  grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$usr/share/metainfo/$id.metainfo.xml" ||
    fail "the metainfo does not launch the desktop entry"
  # Nothing of the build's own (static libraries, tests) is installed.
  extra=$(cd "$root" && find . -type f | grep -vE '^\./usr/(bin|share/(man|bash-completion|applications|metainfo|icons))/' || true)
  [ -z "$extra" ] || fail "installed besides the programs and their files: $extra"
  ;;
desktop)
  need desktop-file-validate
  desktop-file-validate "$usr/share/applications/$id.desktop" || fail "desktop-file-validate"
  ;;
metainfo)
  need appstreamcli
  appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
  ;;
manpages)
  need groff
  for page in torvinel torvinel-cli; do
    warnings=$(groff -man -Tutf8 -ww -z "$usr/share/man/man1/$page.1" 2>&1)
    [ -z "$warnings" ] || fail "$page.1 renders with warnings: $warnings"
  done
  page=$(groff -man -Tutf8 -P-cbou "$usr/share/man/man1/torvinel-cli.1" 2>/dev/null | sed 's/[‐−]/-/g')
  help=$(QT_QPA_PLATFORM=offscreen "$usr/bin/torvinel-cli" --help)
  # The commands are the first words of the indented lines; the options are every --word.
  commands=$(printf '%s\n' "$help" | sed -nE 's/^  ([a-z-]+|--[a-z]+)( .*)?$/\1/p' | sort -u)
  options=$(printf '%s\n' "$help" | grep -oE -- '--[a-z0-9-]+' | sort -u)
  [ "$(printf '%s\n' "$commands" | wc -l)" -ge 10 ] || fail "found too few commands in --help: $commands"
  for word in $commands $options; do
    # Not through a pipe: grep -q leaves at the first match, and pipefail would count the
    # writer's broken pipe as a failure.
    grep -qE -- "(^|[^a-z0-9-])$word([^a-z0-9-]|$)" <<<"$page" || fail "torvinel-cli.1 does not name $word"
  done
  exits=$(printf '%s\n' "$page" | sed -n '/^EXIT STATUS/,/^[A-Z]/p')
  for code in 0 1 2 3; do
    grep -qE "^ +$code\b" <<<"$exits" || fail "torvinel-cli.1 does not explain exit code $code"
  done
  ;;
completion)
  need bash
  data=$work/data
  mkdir -p "$data/Torvinel/Database/20240101001" "$data/Torvinel/Database/20240315002" \
           "$data/Torvinel/Database/20250601001" "$data/Torvinel/Database/filing-20250602001" \
           "$data/Torvinel/Database/2025060200"
  touch "$data/Torvinel/Database/20240101003" # a file, not a disc's folder
  # Each line: the words typed so far (the last one being completed) | the offers expected.
  while IFS='|' read -r typed expected; do
    [ -n "$typed" ] || continue
    got=$(XDG_DATA_HOME=$data bash --norc --noprofile -c '
      source "$1"
      [ "$(complete -p torvinel-cli)" = "complete -F _torvinel_cli torvinel-cli" ] || exit 9
      read -ra COMP_WORDS <<<"$2"
      [[ $2 == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      _torvinel_cli
      printf "%s\n" "${COMPREPLY[@]}" | sort | xargs' _ "$usr/share/bash-completion/completions/torvinel-cli" "$typed")
    [ "$got" = "$expected" ] || fail "completing \"$typed\": got \"$got\", expected \"$expected\""
  done <<'CASES'
torvinel-cli |--help --version add-disc backup discs drives remove-disc repair report restore sets state verify
torvinel-cli re|remove-disc repair report restore
torvinel-cli backup --|--md5 --no-md5 --no-verify --recovery --save-selection --select --verify --writer
torvinel-cli backup --select /tmp --no|--no-md5 --no-verify
torvinel-cli backup --writer |
torvinel-cli restore --|--from --plan --set --to
torvinel-cli restore --set |20240101001 20240315002 20250601001
torvinel-cli restore --set 2024|20240101001 20240315002
torvinel-cli state |--set
torvinel-cli state --set 2025|20250601001
torvinel-cli remove-disc |20240101001 20250601001
torvinel-cli remove-disc --|--yes
torvinel-cli remove-disc --yes |20240101001 20250601001
torvinel-cli sets |
torvinel-cli verify --|--from --next
torvinel-cli verify 2025|20250601001
CASES
  ;;
*)
  echo "unknown check $check" >&2
  exit 2
  ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "install $check: ok"
