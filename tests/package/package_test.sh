#!/usr/bin/env bash
# The Debian package that CPack makes from the build folder: the files it
# holds (no more, owned by root, programs executable), the control fields,
# Depends as dpkg-shlibdeps found it from the programs' libraries, and that
# the window's path to the installed manual leads to the manual's page.
#   package_test.sh BUILD_FOLDER VERSION MANUAL_FROM_BINDIR
set -euo pipefail
build=$1
version=$2
manual_from_bin=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'echo "package_test: line $LINENO failed" >&2' ERR
fail() {
  echo "$*"
  exit 1
}

# A folder of its own, so that a package made beside it is left alone.
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$work/cpack.log")"
deb=$work/vantrel_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || fail "no $deb; cpack made: $(ls "$work")"

# The pictures come from the manual's own page, so a screenshot it shows
# cannot be left out.
pictures=$(grep -oE 'src="images/[^"]+"' "$(dirname "$0")/../../manual/index.html" |
  sed -E 's|src="(.*)"|644 usr/share/doc/vantrel/manual/\1|' | LC_ALL=C sort -u)
expected=$(
  LC_ALL=C sort <<LIST
755 usr/bin/vantrel
755 usr/bin/vantrel-cli
755 usr/bin/vantrel-convert-archive
644 usr/share/applications/vantrel.desktop
644 usr/share/icons/hicolor/16x16/apps/vantrel.png
644 usr/share/icons/hicolor/24x24/apps/vantrel.png
644 usr/share/icons/hicolor/32x32/apps/vantrel.png
644 usr/share/icons/hicolor/48x48/apps/vantrel.png
644 usr/share/icons/hicolor/64x64/apps/vantrel.png
644 usr/share/icons/hicolor/128x128/apps/vantrel.png
644 usr/share/icons/hicolor/256x256/apps/vantrel.png
644 usr/share/icons/hicolor/scalable/apps/vantrel.svg
644 usr/share/man/man1/vantrel.1.gz
644 usr/share/man/man1/vantrel-cli.1.gz
644 usr/share/man/man1/vantrel-convert-archive.1.gz
644 usr/share/doc/vantrel/copyright
644 usr/share/doc/vantrel/changelog.gz
644 usr/share/doc/vantrel/manual/index.html
644 usr/share/doc/vantrel/manual/style.css
$pictures
LIST
)
# "-rwxr-xr-x root/root 1234 2026-12-08 12:00 ./usr/bin/vantrel" as "755 usr/bin/vantrel";
# anything not owned by root, or neither a file nor a folder, is kept whole.
listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 ~ /^-/ && $2 == "root/root" {
    mode = 0; for (i = 2; i <= 10; i++) mode = mode * 2 + (substr($1, i, 1) != "-")
    sub(/^\.\//, "", $6); printf "%o %s\n", mode, $6; next }
  !($1 ~ /^d/ && $2 == "root/root") { print "unexpected:", $0 }' <<<"$listing" | LC_ALL=C sort)
[[ "$files" == "$expected" ]] ||
  fail "the package's files differ from the list:$(diff <(echo "$expected") <(echo "$files"))"

# Field, and a pattern its value's first line must match (extended regular expression).
while IFS='|' read -r field pattern; do
  # Not piped into head: dpkg-deb writes a field in pieces, and one cut off
  # by head's exit would end the test through pipefail without a word.
  value=$(dpkg-deb -f "$deb" "$field")
  value=${value%%$'\n'*}
  [[ $value =~ $pattern ]] || fail "$field is \"$value\", not like $pattern"
done <<'FIELDS'
Package|^vantrel$
Architecture|^[a-z0-9]+$
Section|^(video|graphics)$
Maintainer|^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$
Description|^[a-z].{10,79}$
Depends|(^|, )libqt6widgets6 \(>= 
Depends|(^|, )libavcodec[0-9]+ \(>= 
Depends|(^|, )libavformat[0-9]+ \(>= 
Depends|(^|, )libc6 \(>= 
Recommends|(^|, )jq, parallel(,|$)
FIELDS
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "Version is not $version"
(($(dpkg-deb -f "$deb" Description | wc -l) > 3)) || fail "the Description has no long text"

# The installed desktop entry is valid, and the manual pages are of this
# version and render without warnings as man reads them, gzipped.
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/vantrel.desktop" ||
  fail "desktop-file-validate refused the desktop entry"
for page in "$work"/root/usr/share/man/man1/*.gz; do
  zgrep -q "^\.TH .*\"Vantrel $version\"" "$page" || fail "${page##*/}: not of version $version"
  warnings=$(MANWIDTH=80 man -l --warnings=all "$page" 2>&1 >/dev/null) &&
    [[ -z $warnings ]] || fail "${page##*/}: $warnings"
done

# The window looks for the installed manual by this path from its own folder.
manual=$(realpath -m "/usr/bin/$manual_from_bin")
grep -qxF "644 ${manual#/}" <<<"$files" || fail "the window looks for the manual at $manual"
