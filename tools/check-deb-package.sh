#!/usr/bin/env bash
# Builds the Debian package from a configured and built folder, installs it
# the way a user would (apt-get install ./orbelt_*.deb), uses it (the
# version, a map of the default pair, a find_package(Orbelt) consumer built
# against /usr), then purges it and checks that nothing it installed is left
# behind. Needs root (it installs into the system); anywhere else it says so
# and skips. The package is purged even when a step fails.
#
# Usage: check-deb-package.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="$(cd "${1:-build}" && pwd)"

if [ "$(id -u)" -ne 0 ]; then
  echo "deb-package: skipped: installing a package needs root (CI runs as root; so can you: sudo bash $0)"
  exit 0
fi
purge() {
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq orbelt >/dev/null 2>&1 || true
}

# An installed orbelt is somebody's: outside CI the check will not replace it.
# On a CI machine one can only be the leftover of a check that was killed
# before its own purge ran, so it is purged and the check goes on.
if dpkg-query -W -f='${Status}' orbelt 2>/dev/null | grep -q "ok installed"; then
  if [ "${CI:-}" != "true" ]; then
    echo "deb-package: an orbelt package is installed already; remove it first (apt-get purge orbelt)" >&2
    exit 1
  fi
  echo "deb-package: purging an orbelt package left installed by an earlier, interrupted check"
  purge
fi

rm -f "$build_dir"/orbelt_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$(ls "$build_dir"/orbelt_*_amd64.deb)
echo "deb-package: built $(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
echo "deb-package: depends on $depends"
case "$depends" in
  */*|"") echo "deb-package: the dependencies are not Debian package names" >&2; exit 1 ;;
esac

# What the package will install, and which of its folders are there before.
work=$(mktemp -d)
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^/*$' >"$work/contents"
while read -r path; do
  if [ -d "$path" ]; then echo "$path"; fi
done <"$work/contents" >"$work/folders-before"

trap 'purge; rm -rf "$work"' EXIT
# A check stopped from outside still takes the package away again.
trap 'exit 130' INT TERM HUP

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
orbelt-cli --version
orbelt --version
for page in orbelt-cli orbelt; do
  [ -f "/usr/share/man/man1/$page.1.gz" ] || { echo "deb-package: no manual page for $page" >&2; exit 1; }
done
(cd /usr/share/orbelt && orbelt-cli --seed 1 -q -o "$work/map.png" --ground-truth data/Img0-disparity.pfm)
[ -s "$work/map.png" ] || { echo "deb-package: orbelt-cli wrote no map" >&2; exit 1; }

# The consumer project, against the installed tree alone.
cmake -S tests/install/consumer -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer"

purge
trap 'rm -rf "$work"' EXIT
left=0
while read -r path; do
  if [ -d "$path" ]; then
    grep -qxF "$path" "$work/folders-before" || { echo "deb-package: left behind: $path/" >&2; left=1; }
  elif [ -e "$path" ] || [ -L "$path" ]; then
    echo "deb-package: left behind: $path" >&2
    left=1
  fi
done <"$work/contents"
[ "$left" -eq 0 ] || exit 1
echo "deb-package: installed, used and purged; nothing left behind"
