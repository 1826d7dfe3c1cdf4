#!/usr/bin/env bash
# Shows that the Debian package installs on a clean Debian 12 and that both programs then run
# with nothing but what its Depends line pulled in:
#   bash scripts/check_deb.sh [BUILD_DIR]       (default build-deb, configured as a Release when new)
# It builds BUILD_DIR, makes the package with `cpack -G DEB`, runs lintian on it, installs it with
# apt-get into a throw-away overlay on a minimal bookworm root (essential packages and apt only)
# and runs there, as an ordinary user with a fresh home: torvinel-cli --version, --help, drives,
# discs, a backup onto the image drive and its restore; torvinel --version on the offscreen
# platform, and its main window on an X server (Xvfb, here). The root, apt's lists and the
# downloaded packages are kept in $TORVINEL_DEB_CACHE (default /var/tmp/torvinel-deb-check):
# the first run makes the root (about 2 minutes), later runs reuse it (about 1 minute).
# Exits non-zero, naming the step, on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
build=$(realpath -m "${1:-build-deb}")
cache=${TORVINEL_DEB_CACHE:-/var/tmp/torvinel-deb-check}
mirror=http://deb.debian.org/debian

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
fail() {
  echo "check_deb: FAILED: $*" >&2
  exit 1
}
step() { echo "== $*"; }

step "tools"
needed=(mmdebstrap lintian dpkg-dev file xvfb x11-utils imagemagick)
missing=()
for p in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
bash scripts/install-deps.sh || fail "scripts/install-deps.sh"
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq || fail "apt-get update"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" \
    || fail "could not install ${missing[*]}"
fi

step "package from $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  generator=()
  command -v ninja >/dev/null && generator=(-G Ninja)
  cmake -S "$source" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DTORVINEL_TESTS=OFF -DTORVINEL_BENCH=OFF >/dev/null || fail "configuring $build"
fi
cmake --build "$build" -j2 || fail "building $build"
rm -f "$build"/torvinel_*.deb
(cd "$build" && cpack -G DEB >"$build/check_deb-cpack.log" 2>&1) ||
  { cat "$build/check_deb-cpack.log"; fail "cpack -G DEB in $build"; }
debs=("$build"/torvinel_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single torvinel_*.deb in $build"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
echo "$(basename "$deb")"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"

step "lintian"
# Left on purpose: a native package's changelog and a maintainer's mail address belong to
# whoever publishes the package in a Debian archive.
lintian --fail-on error --suppress-tags no-changelog,malformed-contact "$deb" || fail "lintian reports errors"

base=$cache/bookworm
if [ ! -f "$cache/bookworm.done" ]; then
  step "making a minimal bookworm root in $base (once)"
  $SUDO rm -rf "$base" "$base.new"
  $SUDO mkdir -p "$cache"
  $SUDO mmdebstrap --quiet --variant=apt --mode=root bookworm "$base.new" \
    "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
    "deb http://deb.debian.org/debian-security bookworm-security main" || fail "mmdebstrap"
  $SUDO mv "$base.new" "$base"
  $SUDO touch "$cache/bookworm.done"
fi

# Each run writes into a fresh overlay upon the root; apt's lists and archives are shared.
run=$($SUDO mktemp -d "$cache/run.XXXXXX")
root=$run/root
mounts=()
xserver=""
cleanup() {
  [ -n "$xserver" ] && kill "$xserver" 2>/dev/null
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    $SUDO umount "${mounts[i]}" || echo "check_deb: could not unmount ${mounts[i]}" >&2
  done
  $SUDO rm -rf --one-file-system "$run"
}
trap cleanup EXIT
mount_in() { # mount_in TARGET MOUNT-ARGUMENTS...
  $SUDO mount "${@:2}" "$1" || fail "mounting $1"
  mounts+=("$1")
}
$SUDO mkdir -p "$run/upper" "$run/work" "$root" "$cache/lists/partial" "$cache/archives/partial"
mount_in "$root" -t overlay overlay -o "lowerdir=$base,upperdir=$run/upper,workdir=$run/work"
mount_in "$root/proc" -t proc proc
mount_in "$root/var/lib/apt/lists" --bind "$cache/lists"
mount_in "$root/var/cache/apt/archives" --bind "$cache/archives"
$SUDO cp /etc/resolv.conf "$root/etc/resolv.conf"
$SUDO cp "$deb" "$root/tmp/"
inside() { $SUDO chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

step "apt-get install ./$(basename "$deb") in the clean root"
# Without the mirror, the lists and packages of the last run still do.
if ! inside apt-get update -qq; then
  compgen -G "$cache/lists/*_Packages*" >/dev/null || fail "apt-get update in the clean root"
  echo "apt-get update failed: installing from the lists of the last run"
fi
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" \
  >"$run/apt.log" 2>&1 || { cat "$run/apt.log"; fail "apt-get install of the package"; }
grep -E '^(Setting up torvinel|[0-9]+ upgraded)' "$run/apt.log"

step "installed files"
id=com.quenmark.Torvinel
for f in bin/torvinel bin/torvinel-cli share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
         share/man/man1/torvinel.1.gz share/man/man1/torvinel-cli.1.gz \
         share/bash-completion/completions/torvinel-cli share/doc/torvinel/copyright; do
  [ -s "$root/usr/$f" ] || fail "/usr/$f is not installed"
done
# Every library the programs and Qt's platform plugins load is there.
unresolved=$(inside sh -c 'ldd /usr/bin/torvinel /usr/bin/torvinel-cli /usr/lib/*/qt6/plugins/platforms/*.so' |
  grep 'not found' || true)
[ -z "$unresolved" ] || fail "libraries missing in the clean root: $unresolved"

step "the programs, run by a user with a fresh home"
# The X server runs here; the clean root sees its socket.
$SUDO mkdir -p "$root/tmp/.X11-unix"
mount_in "$root/tmp/.X11-unix" --bind /tmp/.X11-unix
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -nolisten tcp -screen 0 1280x1024x24 2>"$run/xvfb.log" &
xserver=$!
read -r -t 60 -u "$displayfd" display || fail "Xvfb did not start: $(cat "$run/xvfb.log")"
exec {displayfd}>&-
$SUDO cp scripts/check_deb_inside.sh "$root/tmp/inside.sh"
inside mkdir -m 0777 /tmp/user
user() { inside setpriv --reuid 4242 --regid 4242 --clear-groups env HOME=/tmp/user/home "$@"; }
user bash /tmp/inside.sh "$version" || fail "a program did not run as it should (above)"

step "main window on the X server :$display"
user env DISPLAY=":$display" torvinel >"$run/window.log" 2>&1 &
window=$!
shown=""
for _ in $(seq 120); do
  xwininfo -display ":$display" -root -tree 2>/dev/null | grep -q '"Torvinel": ("torvinel"' && { shown=yes; break; }
  kill -0 "$window" 2>/dev/null || break
  sleep 0.5
done
[ -n "$shown" ] || { cat "$run/window.log"; fail "torvinel showed no main window on X"; }
import -display ":$display" -window root "$cache/main-window.png" 2>/dev/null || true
$SUDO kill "$window"
wait "$window" || true
echo "torvinel's main window is shown on X (screenshot: $cache/main-window.png)"

echo "check_deb: $(basename "$deb") installs on a clean Debian 12 and both programs run"
