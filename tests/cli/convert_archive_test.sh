#!/usr/bin/env bash
# scripts/convert-archive.sh on this machine: a tree of folders converted two
# at a time, one merged report that names every job once.
set -euo pipefail
cli=$1
script=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

root="$dir/archive"
mkdir -p "$root/a b" "$root/c/deeper" "$root/d" "$root/empty"
picture() { ffmpeg -nostdin -loglevel error -f lavfi -i "color=$1:size=8x6" -frames:v "$2" "$3"; }
picture red 2 "$root/a b/walk%d.bmp"
picture blue 1 "$root/c/run%d.bmp"
picture green 3 "$root/c/deeper/jump%d.png"
printf 'not a picture' >"$root/d/bad1.bmp"

status=0
VANTREL_CLI=$cli ARCHIVE_JOBS=2 "$script" "$root" --no-html >"$dir/merged.json" || status=$?
[[ $status == 1 ]] || { echo "exit status $status, expected 1 (one job failed)"; exit 1; }

expected=$(printf '%s\n' "$root/a b/walk(1 - 2).bmp converted" "$root/c/deeper/jump(1 - 3).png converted" \
  "$root/c/run(1 - 1).bmp converted" "$root/d/bad(1 - 1).bmp failed")
actual=$(jq -r '.jobs[] | "\(.source) \(.status)"' "$dir/merged.json" | LC_ALL=C sort)
if [[ "$actual" != "$expected" ]]; then
  printf 'merged jobs:\n%s\nexpected:\n%s\n' "$actual" "$expected"
  exit 1
fi
[[ $(jq -r '.options.html_page' "$dir/merged.json") == false ]] || { echo "options not merged"; exit 1; }
for movie in "a b/walk" c/run c/deeper/jump; do
  [[ -s "$root/$movie.swf" ]] || { echo "no $movie.swf"; exit 1; }
done
