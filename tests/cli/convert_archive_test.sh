#!/usr/bin/env bash
# scripts/convert-archive.sh on this machine: trees of folders converted two
# at a time, one merged report that names every job and every folder once.
# Every check runs and says what failed, so that one run shows them all.
set -uo pipefail
cli=$1
script=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

failures=0
fail() {
  echo "FAIL: $1"
  shift
  (($# == 0)) || printf '%s\n' "$@"
  failures=$((failures + 1))
}
# Compares what a check found with what it expected.
same() {
  [[ "$2" == "$3" ]] || fail "$1" "got:" "$2" "expected:" "$3"
}
picture() { ffmpeg -nostdin -loglevel error -f lavfi -i "color=$1:size=8x6" -frames:v "$2" "$3"; }
# Runs the script with the arguments: its report in $dir/NAME.json, its
# messages in $dir/NAME.err, its exit status in $status.
archive() {
  local name=$1
  shift
  status=0
  VANTREL_CLI=${wrapper:-$cli} ARCHIVE_JOBS=2 "$script" "$@" >"$dir/$name.json" \
    2>"$dir/$name.err" || status=$?
}
jobs_of() { jq -r '.jobs[] | "\(.source) \(.status) \(.code)"' "$dir/$1.json" | LC_ALL=C sort; }
folders_of() { jq -r '.folders[] | "\(.path) \(.status) \(.code)"' "$dir/$1.json"; }

# Without jq or GNU parallel on the PATH it says so before any work.
mkdir "$dir/no-tools"
status=0
PATH="$dir/no-tools" "$BASH" "$script" "$dir" >"$dir/no-tools.json" 2>"$dir/no-tools.err" ||
  status=$?
same "exit status without jq" "$status" 2
same "message without jq" "$(cat "$dir/no-tools.err")" \
  "$script: jq is not installed; it needs jq and GNU parallel"

# A tree with a damaged folder, an empty one, pictures right under the root
# and a folder whose vantrel-cli cannot run, over an sshloginfile that names
# this machine.
root="$dir/archive"
mkdir -p "$root/a b" "$root/c/deeper" "$root/d" "$root/empty" "$root/gone"
picture red 2 "$root/a b/walk%d.bmp"
picture blue 1 "$root/c/run%d.bmp"
picture green 3 "$root/c/deeper/jump%d.png"
picture yellow 2 "$root/loose%d.bmp"
picture red 1 "$root/gone/g%d.bmp"
printf 'not a picture' >"$root/d/bad1.bmp"
echo : >"$dir/machines"
wrapper="$dir/cli.sh"
# shellcheck disable=SC2016 # the wrapper expands them
printf '#!/usr/bin/env bash\n[[ ${!#} == */gone ]] && exit 127\nexec %q "$@"\n' "$cli" >"$wrapper"
chmod +x "$wrapper"

archive one "$root" "$dir/machines" --no-html
unset wrapper
same "exit status with a failed job" "$status" 1
same "merged jobs" "$(jobs_of one)" "$(printf '%s\n' "$root/a b/walk(1 - 2).bmp converted null" \
  "$root/c/deeper/jump(1 - 3).png converted null" "$root/c/run(1 - 1).bmp converted null" \
  "$root/d/bad(1 - 1).bmp failed no-picture-read" "$root/loose(1 - 2).bmp converted null")"
same "merged options" "$(jq -r '.options.html_page' "$dir/one.json")" false
for movie in "a b/walk" c/run c/deeper/jump loose; do
  [[ -s "$root/$movie.swf" ]] || fail "no $movie.swf"
done
same "folders" "$(folders_of one)" "$(printf '%s\n' "$root/a b converted null" \
  "$root/c converted null" "$root/d incomplete no-picture-read" "$root/empty empty no-pictures" \
  "$root/gone failed no-report" "$root converted null")"
same "exit status of the folder that failed" \
  "$(jq -c '[.folders[] | select(.status == "failed") | .exit_status, .reason]' "$dir/one.json")" \
  '[127,"vantrel-cli ended with exit status 127 and no report"]'
grep -qxF "empty $root/empty: no picture sequences or videos found" "$dir/one.err" ||
  fail "the empty folder is not named on standard error"

# --no-subfolders reaches each folder's run: c's deeper folder stays out.
archive shallow "$root" --no-subfolders -n --no-html
same "jobs with --no-subfolders" "$(jobs_of shallow)" "$(printf '%s\n' \
  "$root/a b/walk(1 - 2).bmp skipped movie-exists" "$root/c/run(1 - 1).bmp skipped movie-exists" \
  "$root/d/bad(1 - 1).bmp failed no-picture-read" "$root/gone/g(1 - 1).bmp converted null" \
  "$root/loose(1 - 2).bmp skipped movie-exists")"

# Options the script sets itself, or that leave a run without its report,
# are refused before any work, by name: the words given, then the name.
for refused in "--jobs 2,--jobs" "--jobs=2,--jobs" "-j2,-j" "-nj 2,-j" "--report r.json,--report" \
  "--report=-,--report" "--list,--list" "--no-subfolders=true,--no-subfolders" "--help,--help" \
  "-V,-V"; do
  read -ra words <<<"${refused%,*}"
  archive refused "$root" "${words[@]}"
  same "exit status with ${refused%,*}" "$status" 2
  same "output with ${refused%,*}" "$(cat "$dir/refused.json")" ""
  grep -q "^$script: ${refused#*,}: not passed on to vantrel-cli: " "$dir/refused.err" ||
    fail "${refused%,*} is not refused by name" "$(cat "$dir/refused.err")"
done

# With an output folder each folder keeps its place under it; linked folders
# are converted once, under the first name that reaches them.
root="$dir/links"
mkdir -p "$root/A" "$root/B" "$dir/elsewhere/E"
picture red 1 "$root/A/walk%03d.bmp"
picture blue 1 "$root/B/walk%03d.bmp"
picture green 2 "$dir/elsewhere/E/run%d.bmp"
picture yellow 1 "$root/top%d.bmp"
ln -s ../elsewhere/E "$root/E1"
ln -s "$dir/elsewhere/E" "$root/E2"
ln -s A "$root/Z"
ln -s . "$root/self"
archive two "$root" -no "$dir/out" --no-html  # -n, and -o taking the next word
same "exit status with linked folders" "$status" 0
same "movies under the output folder" \
  "$(jq -r '.jobs[].movie' "$dir/two.json" | LC_ALL=C sort)" \
  "$(printf "$dir/out/%s\n" A/walk.swf B/walk.swf E1/run.swf top.swf)"
same "movie files" "$(cd "$dir/out" && find . -type f | LC_ALL=C sort)" \
  "$(printf './%s\n' A/walk.swf B/walk.swf E1/run.swf top.swf)"
cmp -s "$dir/out/A/walk.swf" "$dir/out/B/walk.swf" && fail "A's and B's movies are the same"
same "linked folders" "$(folders_of two)" "$(printf '%s\n' "$root/A converted null" \
  "$root/B converted null" "$root/E1 converted null" "$root/E2 skipped same-folder" \
  "$root/Z skipped same-folder" "$root/self skipped link-loop" "$root converted null")"
same "the folder a link repeats" "$(jq -r '.folders[3].reason' "$dir/two.json")" \
  "the same folder as $root/E1"

# Jobs that still write one movie: here a link inside a folder leads to
# another, so both runs make the same file. The root is given by a link.
mkdir -p "$dir/twice/A" "$dir/twice/C"
ln -s twice "$dir/root"
root="$dir/root"
picture red 1 "$root/A/walk%d.bmp"
ln -s ../A "$root/C/inner"
archive three "$root" --no-html
same "exit status with one movie made twice" "$status" 1
same "the later job" "$(jq -r '.jobs[1] | "\(.status) \(.code) \(.movie): \(.reason)"' \
  "$dir/three.json")" "skipped duplicate-movie null: its movie $root/C/inner/walk.swf is already \
made from $root/A/walk(1 - 1).bmp in this batch"
same "the later job's folder" "$(folders_of three)" \
  "$(printf '%s\n' "$root/A converted null" "$root/C incomplete duplicate-movie")"

((failures == 0)) || { echo "$failures failed"; exit 1; }
