#!/usr/bin/env bash
# Runs the desktop window for real on a virtual X server (Xvfb) and drives it
# with xdotool as a user would: `vantrel FOLDER` opens with the folder's jobs,
# File > Convert to SWF shows the Convert dialog, lossless is chosen with the
# keyboard, Enter converts, and the movies must equal what vantrel-cli
# writes with the same options. A second batch stopped with Escape must
# leave the movies as they were. A batch of 300 broken videos must list
# them in a box that fits the screen. Saves screenshots of the window
# (before, during and after a batch), the dialog, the About box and the
# box of failed jobs. Alt+M opens the dialog's More options and closes them
# again, leaving the dialog as it was. Then View > Details: a batch in the table with its
# statuses and thumbnails (screenshot), and 1,000 jobs dropped on the table
# through the X server, with the time from the drop to the table's first
# paint and the table's paints while the thumbnails are made printed.
#
#   scripts/gui-check.sh [BUILD_DIR [SCREENSHOT_DIR]]
#
# Installs what it needs beyond the build (Xvfb, xdotool, ImageMagick, a
# window manager for title bars) through scripts/install-deps.sh gui-check.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shots=${2:-manual/images}

bash scripts/install-deps.sh gui-check
make --no-print-directory build BUILD="$build" >/dev/null

# A fixed, readable place: its paths show in the screenshots.
work=${TMPDIR:-/tmp}/vantrel-gui-check
rm -rf "$work"
mkdir -p "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "gui-check: FAILED: $*" >&2; exit 1; }

# Two identical folders: one for the window, one for the command line.
# The video is long enough for the progress display to be seen.
for copy in anim cli/anim; do
  mkdir -p "$work/$copy/walk" "$work/$copy/clips"
  cp examples/walk/*.jpg examples/walk/walk.mp3 "$work/$copy/walk/"
done
ffmpeg -loglevel error -f lavfi -i testsrc2=size=640x480:rate=25:duration=20 \
  -c:v mpeg4 -q:v 3 "$work/anim/clips/testcard.avi"
cp "$work/anim/clips/testcard.avi" "$work/cli/anim/clips/"

exec 3< <(true)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 3>"$work/display" &
pids+=($!)
for _ in $(seq 50); do [[ -s "$work/display" ]] && break; sleep 0.1; done
[[ -s "$work/display" ]] || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

mkdir -p "$shots"
shot() {  # shot WINDOW FILE: the window with its title bar
  sleep 0.4
  import -frame -window "$1" "$shots/$2"
  echo "gui-check: saved $shots/$2"
}
find_window() {  # find_window TITLE: waits for a window of that exact title
  xdotool search --sync --limit 1 --name "^$1\$"
}

"$build/app/vantrel" "$work/anim" >"$work/app.log" 2>&1 &
app=$!
pids+=("$app")

main=$(timeout 20 bash -c "$(declare -f find_window); find_window 'Untitled - Vantrel'") ||
  fail "the window did not open"
xdotool windowsize "$main" 600 260
xdotool windowmove "$main" 100 100
xdotool windowactivate --sync "$main"
shot "$main" window.png

convert_from_menu() {  # File > Convert to SWF, from the keyboard
  xdotool windowactivate --sync "$main"
  xdotool key --clearmodifiers alt+f
  sleep 0.3
  xdotool key Return
  dialog=$(timeout 10 bash -c "$(declare -f find_window); find_window Convert") ||
    fail "File > Convert to SWF showed no Convert dialog"
}
movie=$work/anim/clips/testcard.swf

convert_from_menu
shot "$dialog" convert-dialog.png
closed=$(xdotool getwindowgeometry "$dialog" | grep Geometry)
# Alt+M opens More options; Tab reaches their fields after Output HTML.
xdotool key alt+m
sleep 0.4
xdotool key Tab Tab Tab Tab Tab Tab Tab && xdotool type 1280 && xdotool key Tab && xdotool type 720
xdotool key Tab && xdotool type 2 && xdotool key Tab Down Tab && xdotool type 10
shot "$dialog" convert-dialog-more.png
xdotool key alt+m
sleep 0.4
[[ "$(xdotool getwindowgeometry "$dialog" | grep Geometry)" == "$closed" ]] ||
  fail "closing More options did not give the dialog back its size"
echo "gui-check: More options open and close again"
xdotool key Escape
sleep 0.5
convert_from_menu
# Tab from OK over Cancel to the compression buttons, then down to lossless.
xdotool key Tab Tab Down Return
sleep 1.5
shot "$main" window-converting.png
for _ in $(seq 600); do
  [[ -f "$movie" ]] && break
  sleep 0.1
done
[[ -f "$movie" ]] || fail "no movie appeared"
sleep 1
shot "$main" window-converted.png

"$build/cli/vantrel-cli" --quiet --lossless "$work/cli/anim" >/dev/null
for file in walk/walk.swf walk/walk.html clips/testcard.swf clips/testcard.html; do
  cmp -s "$work/anim/$file" "$work/cli/anim/$file" ||
    fail "$file differs from the command line's"
  echo "gui-check: $file equals the command line's"
done

# Again, stopped with Escape while the video converts: the earlier movie stays.
before=$(stat -c %i "$movie")
convert_from_menu
xdotool key Return
sleep 0.8
xdotool key Escape
sleep 2
[[ "$(stat -c %i "$movie")" == "$before" ]] || fail "Escape did not keep the earlier movie"
leftovers=$(find "$work/anim" -name '.vantrel-*' | wc -l)
((leftovers == 0)) || fail "Escape left $leftovers temporary files"
echo "gui-check: Escape stopped the batch and kept the earlier movie"

# Help > About Vantrel...
xdotool key --clearmodifiers alt+h
sleep 0.3
xdotool key a
about=$(timeout 10 bash -c "$(declare -f find_window); find_window 'About Vantrel'") ||
  fail "Help > About showed no About box"
shot "$about" about.png
xdotool key Return

# File > Exit ends the program.
xdotool windowactivate --sync "$main"
xdotool key --clearmodifiers alt+f
sleep 0.3
xdotool key x
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "File > Exit did not end the program"

# A batch whose 300 videos all fail: the box that lists them stays on the
# screen with its OK button, which Enter presses.
mkdir -p "$work/broken"
for i in $(seq 1000 1299); do echo "not a video" >"$work/broken/clip$i.avi"; done
"$build/app/vantrel" "$work/broken" >"$work/app-broken.log" 2>&1 &
app=$!
pids+=("$app")
main=$(timeout 20 bash -c "$(declare -f find_window); find_window 'Untitled - Vantrel'") ||
  fail "the window did not open with the broken videos"
xdotool windowsize "$main" 600 260
xdotool windowmove "$main" 100 100
convert_from_menu
xdotool key Return
box=$(timeout 60 xdotool search --sync --onlyvisible --limit 1 --name '^Vantrel$') ||
  fail "no box listed the failed jobs"
sleep 0.4
eval "$(xdotool getwindowgeometry --shell "$box")"
read -r screen_width screen_height < <(xdotool getdisplaygeometry)
((X >= 0 && Y >= 0 && X + WIDTH <= screen_width && Y + HEIGHT <= screen_height)) ||
  fail "the box of failed jobs (${WIDTH}x$HEIGHT at $X,$Y) leaves the screen"
echo "gui-check: the box of 300 failed jobs fits the screen (${WIDTH}x$HEIGHT)"
shot "$box" failed-jobs.png
xdotool key Return
for _ in $(seq 50); do xdotool search --onlyvisible --name '^Vantrel$' >/dev/null || break; sleep 0.1; done
xdotool search --onlyvisible --name '^Vantrel$' >/dev/null && fail "Enter did not close the box"
# Its window closes, so that the next one is the only one of its name.
kill "$app"
wait "$app" 2>/dev/null || true

# The details view: View > Details from the keyboard, a batch with a sound,
# a video and a broken video, and the table with statuses and thumbnails.
mkdir -p "$work/details/walk" "$work/details/clips"
cp examples/walk/*.jpg examples/walk/walk.mp3 "$work/details/walk/"
ffmpeg -loglevel error -f lavfi -i testsrc2=size=320x240:rate=25:duration=2 \
  -f lavfi -i sine=duration=2 -c:v mpeg4 -q:v 3 -c:a mp3 "$work/details/clips/testcard.avi"
echo "not a video" >"$work/details/clips/broken.avi"
"$build/app/vantrel" "$work/details" >"$work/app-details.log" 2>&1 &
app=$!
pids+=("$app")
main=$(timeout 20 bash -c "$(declare -f find_window); find_window 'Untitled - Vantrel'") ||
  fail "the window did not open for the details view"
xdotool windowsize "$main" 800 320
xdotool windowmove "$main" 100 100
xdotool windowactivate --sync "$main"
xdotool key --clearmodifiers alt+v
sleep 0.3
xdotool key d
sleep 1.5
shot "$main" window-details-queued.png
convert_from_menu
xdotool key Return
box=$(timeout 60 xdotool search --sync --onlyvisible --limit 1 --name '^Vantrel$') ||
  fail "no box listed the broken video"
xdotool key Return
sleep 1
[[ -f "$work/details/clips/testcard.swf" && -f "$work/details/walk/walk.swf" ]] ||
  fail "the details view's batch wrote no movies"
shot "$main" window-details.png
kill "$app"

# 1,000 jobs of one small picture, dropped on the table: the time from the
# drop to the table's first paint, and the table repainting while the
# thumbnails are made (the window's timing log).
convert -size 64x48 xc:SteelBlue -fill white -draw "circle 32,24 32,8" "$work/one.png"
mkdir -p "$work/thousand"
for i in $(seq -w 0 999); do
  mkdir -p "$work/thousand/shot$i"
  cp "$work/one.png" "$work/thousand/shot$i/frame001.png"
done
QT_LOGGING_RULES="vantrel.timing.info=true" "$build/app/vantrel" >"$work/app-thousand.log" 2>&1 &
app=$!
pids+=("$app")
main=$(timeout 20 bash -c "$(declare -f find_window); find_window 'Untitled - Vantrel'") ||
  fail "the window did not open for the 1,000 jobs"
xdotool windowsize "$main" 800 400
xdotool windowmove "$main" 100 100
xdotool windowactivate --sync "$main"
xdotool key --clearmodifiers alt+v
sleep 0.3
xdotool key d
"$build/tests/app/vantrel_drag_source" "$work/thousand" >/dev/null 2>&1 &
pids+=($!)
source_window=$(timeout 20 bash -c "$(declare -f find_window); find_window 'Drag source'") ||
  fail "the drag source did not open"
xdotool windowmove "$source_window" 850 100
sleep 0.5
xdotool mousemove --window "$source_window" 80 40 mousedown 1
sleep 0.3
for step in 700 600 500 400; do xdotool mousemove "$step" 300; sleep 0.1; done
xdotool mouseup 1
for _ in $(seq 300); do
  grep -q "read in" "$work/app-thousand.log" && break
  sleep 0.1
done
painted=$(grep -o "[0-9]* jobs painted [0-9]* ms after the drop" "$work/app-thousand.log") ||
  fail "the dropped jobs were never painted"
[[ "$painted" == 1000\ * ]] || fail "the drop gave not 1000 jobs: $painted"
read_line=$(grep -o "details of .*" "$work/app-thousand.log") ||
  fail "the thumbnails of the 1,000 jobs were not all made"
paints=$(sed -n 's/.*painted \([0-9]*\) times.*/\1/p' <<<"$read_line")
((paints > 1)) || fail "the table did not repaint while thumbnails were made: $read_line"
echo "gui-check: $painted"
echo "gui-check: $read_line"
shot "$main" window-details-thousand.png
kill "$app"

echo "gui-check: passed"
