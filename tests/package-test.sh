#!/usr/bin/env bash
# Checks the Debian package and `make install` without touching the system: the package is
# unpacked into a temporary folder, the show runs from there, and a `make install` goes to a
# temporary prefix and is removed again.
# Usage: tests/package-test.sh [BUILD_DIR]   (after `make package`)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/velmora_${version}_amd64.deb"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

[[ -f $deb ]] || { echo "FAIL: no $deb; run make package" >&2; exit 1; }
root="$work/root"
dpkg-deb -x "$deb" "$root"

# The unpacked show finds its data under usr/share/velmora from an empty working directory,
# and leaves that directory empty.
mkdir "$work/empty"
installed_before=$(cd "$root" && find . | sort)
if (cd "$work/empty" && "$root/usr/bin/velmora" --headless --frames 60 --stats > "$work/stats" 2> "$work/errors"); then
  if grep -q '^frames 60 ' "$work/stats"; then pass "unpacked velmora ran 60 frames"; else fail "no statistics: $(cat "$work/stats")"; fi
else
  fail "unpacked velmora: $(cat "$work/errors")"
fi
[[ -z $(ls -A "$work/empty") ]] || fail "velmora wrote into the working directory: $(ls -A "$work/empty")"
[[ $(cd "$root" && find . | sort) == "$installed_before" ]] || fail "velmora added files to the installation"

# Without data anywhere, the one error line names both places looked at.
mkdir -p "$work/bare/bin"
cp "$root/usr/bin/velmora" "$work/bare/bin/"
if (cd "$work/empty" && "$work/bare/bin/velmora" --headless --frames 1 > /dev/null 2> "$work/errors"); then
  fail "velmora without data succeeded"
elif grep -qF "($work/empty) nor in $work/bare/share/velmora" "$work/errors"; then
  pass "missing data names both places"
else
  fail "missing data: $(cat "$work/errors")"
fi

# Depends come from the linked libraries; ffmpeg is recommended for --record.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libsdl2 libxmp libjpeg libpng libstdc++; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
[[ $(dpkg-deb -f "$deb" Recommends) == *ffmpeg* ]] || fail "Recommends lacks ffmpeg"
pass "Depends: $depends"

# What the package holds besides the programs.
for file in usr/share/velmora/Data/atbia3.xm usr/share/velmora/Data/x26.pcx usr/share/doc/velmora/copyright \
            usr/share/doc/velmora/changelog.gz usr/share/icons/hicolor/256x256/apps/velmora.png; do
  [[ -f $root/$file ]] || fail "package lacks $file"
done
[[ $(file -b "$root/usr/share/icons/hicolor/256x256/apps/velmora.png") == "PNG image data, 256 x 256,"* ]] \
  || fail "the icon is not a 256 x 256 PNG"
if desktop-file-validate "$root/usr/share/applications/velmora.desktop"; then pass "desktop entry"; else fail "desktop entry"; fi

# Every man page renders without warnings and names every option its program's --help lists.
options_of() { "$@" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u; }
check_page() {
  local page="$root/usr/share/man/man1/$1.1.gz" warnings text option
  shift
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 > "$work/page")
  [[ -z $warnings ]] || fail "$page: $warnings"
  for option in $(for command in "$@"; do options_of $command; done | sort -u); do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" "$work/page" || fail "$page does not mention $option"
  done
}
bin="$root/usr/bin"
check_page velmora "$bin/velmora"
check_page velmora-data "$bin/velmora-data"
check_page velmora-image "$bin/velmora-image" "$bin/velmora-image convert"
pass "man pages"

# Debian's package checker: no errors (warnings and notes are shown).
if command -v lintian > /dev/null; then
  as_user=()
  [[ $(id -u) -ne 0 ]] || as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  cp "$deb" "$work/"
  chmod a+rx "$work"
  if "${as_user[@]}" lintian --fail-on error "$work/$(basename "$deb")"; then pass "lintian"; else fail "lintian"; fi
else
  fail "lintian is not installed"
fi

# make install to a prefix, run from there, and make uninstall leaves nothing behind.
prefix="$work/prefix"
make --no-print-directory install PREFIX="$prefix" BUILD="$build" > "$work/install.log" || fail "make install: $(tail -5 "$work/install.log")"
if [[ $("$prefix/bin/velmora" --version) == "velmora $version" ]]; then pass "installed velmora --version"; else fail "installed velmora --version"; fi
(cd "$work/empty" && "$prefix/bin/velmora" --headless --frames 1 > /dev/null) || fail "installed velmora did not run"
make --no-print-directory uninstall BUILD="$build" > /dev/null
left=$(find "$prefix" -type f)
[[ -z $left ]] || fail "make uninstall left: $left"
[[ ! -e $prefix/share/velmora && ! -e $prefix/share/doc/velmora ]] || fail "make uninstall left velmora's directories"
[[ -n $left ]] || pass "make install, make uninstall"

if [[ $failures -gt 0 ]]; then
  echo "package test: $failures failures" >&2
  exit 1
fi
echo "package test: all passed"
