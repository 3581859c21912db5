#!/usr/bin/env bash
# Times vantrel-cli on generated picture sequences and a video against two
# yardsticks: the floor (bench_floor: the bare library calls of the same
# work on one thread, nothing else) and FFmpeg's own SWF writer with MJPEG
# frames of about the same size. Prints one Markdown table, then a second:
# --target-size against a plain conversion at the quality it chose (cases
# named "target-size: ...").
#
#   bench/bench_cli.sh [BUILD]        (BUILD: build folder, default "build")
#
# Environment:
#   VANTREL_CLI      the tool to time (default BUILD/cli/vantrel-cli)
#   VANTREL_DEFLATE  zlib or libdeflate: the deflater the tool's lossless
#                    bitmaps use, for the floor (default: found in
#                    swf/BitmapTags.cpp)
#   BENCH_SCRATCH    folder for the inputs and movies (default: a new one in
#                    /tmp, removed at the end); never inside the repository
#   BENCH_BOTH_FLOORS=1  also time the lossless floor with the other
#                    deflater, printed below the table (about a minute more)
#   BENCH_CASES      an extended regular expression: only the cases whose
#                    names match it run (for example "MPEG-4")
#
# Inputs come from FFmpeg's "mandelbrot" source, a moving zoom of smooth
# gradients and fine detail, with temporal grain added by the "noise" filter
# so that frames carry the noise of filmed pictures; the lossless 1080p case
# uses the render without grain, like computer animation. The H.264 case is
# an 8 s 1080p clip at 25 fps with B-frames (libx264, preset fast) scaled
# down with --max-size 640x360, against FFmpeg with -vf scale=640:360. The JPEG
# sequences are FFmpeg's JPEGs (-q:v 2) of the 640x480 BMP frames; the long
# ones repeat those 300 pictures through hard links. FFmpeg's SWF writer
# runs with its default threads.
#
# Each command is timed with /usr/bin/time: wall, user + system CPU, peak
# resident memory. Runs per command: 5 when the first took under 1 s, 3
# under 15 s, otherwise that one run; medians are shown.
set -euo pipefail
shopt -s nullglob

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build}
cli=${VANTREL_CLI:-$build/cli/vantrel-cli}
floor=$build/bench/bench_floor
quality=90
rate=15
cores=$(nproc)

for tool in "$cli" "$floor"; do
  [[ -x "$tool" ]] || { echo "bench_cli: $tool is missing; run make build first" >&2; exit 1; }
done
for tool in /usr/bin/time ffmpeg jq; do
  command -v "$tool" >/dev/null || { echo "bench_cli: $tool is missing; run scripts/install-deps.sh" >&2; exit 1; }
done

deflate=${VANTREL_DEFLATE:-}
if [[ -z "$deflate" ]]; then
  deflate=zlib
  grep -q libdeflate "$repo/swf/BitmapTags.cpp" && deflate=libdeflate
fi

# -j only where the tool knows it; then also its one-thread variant.
variants=("")
if "$cli" --help | grep -q -- '--jobs'; then
  variants=("-j $cores" "-j 1")
fi

if [[ -n "${BENCH_SCRATCH:-}" ]]; then
  scratch=$BENCH_SCRATCH
  mkdir -p "$scratch"
else
  scratch=$(mktemp -d /tmp/vantrel-bench-cli.XXXXXX)
  trap 'rm -rf "$scratch"' EXIT
fi
case "$(realpath "$scratch")/" in
  "$repo"/*) echo "bench_cli: the scratch folder must be outside the repository" >&2; exit 1 ;;
esac

say() { echo "bench_cli: $*" >&2; }
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# ---- inputs -----------------------------------------------------------------

grain="noise=alls=6:allf=t"
source_at() { echo "mandelbrot=size=$1:rate=25"; }

make_sequence() {  # folder size frames extension [filter]
  mkdir -p "$scratch/$1"
  ff -f lavfi -i "$(source_at "$2")" -vf "${5:-$grain}" -frames:v "$3" "$scratch/$1/walk%03d.$4"
}

# Links the pictures of folder `from` over and over into `count` frames.
link_sequence() {  # folder count from
  mkdir -p "$scratch/$1"
  local pictures=("$scratch/$3"/walk[0-9]*.*) i
  for ((i = 0; i < $2; i++)); do
    local picture=${pictures[i % ${#pictures[@]}]}
    ln "$picture" "$(printf '%s/%s/walk%04d.%s' "$scratch" "$1" $((i + 1)) "${picture##*.}")"
  done
}

say "generating inputs in $scratch"
started=$SECONDS
make_sequence bmp320 320x240 300 bmp
make_sequence bmp640 640x480 300 bmp
make_sequence bmp1080 1920x1080 100 bmp
make_sequence render1080 1920x1080 100 bmp null
mkdir -p "$scratch/video"
ff -f lavfi -i "$(source_at 640x480)" -vf "$grain" -frames:v 500 -c:v mpeg4 -q:v 3 \
  "$scratch/video/clip.avi"
# H.264 with B-frames, whose decoding runs on the tool's threads.
mkdir -p "$scratch/video1080"
ff -f lavfi -i "$(source_at 1920x1080)" -vf "$grain" -frames:v 200 -c:v libx264 -pix_fmt yuv420p \
  "$scratch/video1080/clip.mp4"
mkdir -p "$scratch/h264"
ff -f lavfi -i "$(source_at 1920x1080)" -vf "$grain" -frames:v 200 -c:v libx264 -preset fast \
  -bf 3 -pix_fmt yuv420p "$scratch/h264/clip.mp4"
mkdir -p "$scratch/jpg300"
ff -i "$scratch/bmp640/walk%03d.bmp" -q:v 2 "$scratch/jpg300/walk%03d.jpg"
link_sequence jpg1200 1200 jpg300
link_sequence jpg4800 4800 jpg300
link_sequence lossless1080 300 render1080
say "inputs ready in $((SECONDS - started)) s"

# ---- timing -----------------------------------------------------------------

less() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs the command as often as its first run's length allows and sets
# m_wall, m_cpu (user + system) and m_rss (MiB) to the medians, m_runs to the
# number of runs.
measure() {
  local walls=() cpus=() rsss=() runs=1 k wall user sys rss
  for ((k = 0; k < runs; k++)); do
    if ! /usr/bin/time -f "%e %U %S %M" -o "$scratch/time.txt" "$@" >"$scratch/out.txt" 2>&1; then
      say "failed: $*"
      cat "$scratch/out.txt" >&2
      exit 1
    fi
    read -r wall user sys rss <"$scratch/time.txt"
    walls+=("$wall")
    cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')")
    rsss+=("$((rss / 1024))")
    if ((k == 0)); then
      if less "$wall" 1; then runs=5; elif less "$wall" 15; then runs=3; fi
    fi
  done
  m_wall=$(median "${walls[@]}")
  m_cpu=$(median "${cpus[@]}")
  m_rss=$(median "${rsss[@]}")
  m_runs=$runs
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
mib() { awk -v n="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", n / 1048576 }'; }

# FFmpeg's MJPEG scale whose frames come closest in size to ours, probed on
# 30 frames spread over the input (the zoom gains detail as it goes).
choose_scale() {  # ours_bytes frames probe_input...
  local ours=$1 frames=$2 best=2 best_gap="" q size gap
  shift 2
  for q in 1 2 3 4 5 6 7 8; do
    ff "$@" -frames:v 30 -c:v mjpeg -qmin 1 -q:v "$q" -f swf "$scratch/probe.swf"
    size=$(stat -c %s "$scratch/probe.swf")
    gap=$(awk -v s="$size" -v f="$frames" -v o="$ours" 'BEGIN { g = s * f / 30 - o; print (g < 0 ? -g : g) }')
    if [[ -z "$best_gap" ]] || less "$gap" "$best_gap"; then
      best=$q
      best_gap=$gap
    fi
  done
  echo "$best"
}

# Links every (frames / 30)th picture of a folder into probe-FOLDER as
# p001.EXT, p002.EXT, ...
make_probe() {  # folder
  local pictures=("$scratch/$1"/walk[0-9]*.*) i n=0
  local step=$((${#pictures[@]} / 30))
  mkdir -p "$scratch/probe-$1"
  for ((i = 0; i < ${#pictures[@]} && n < 30; i += step)); do
    n=$((n + 1))
    ln -f "${pictures[i]}" "$(printf '%s/probe-%s/p%03d.%s' "$scratch" "$1" "$n" "${pictures[i]##*.}")"
  done
}

rows=()
notes=()
case_options=""
other_deflate=""
floor_usage=$("$floor" 2>&1 || true)
if [[ "${BENCH_BOTH_FLOORS:-}" == 1 && "$floor_usage" == *libdeflate* ]]; then
  other_deflate=libdeflate
  [[ "$deflate" == libdeflate ]] && other_deflate=zlib
fi

# case frames folder lossless(0/1) floor-arguments... -- ffmpeg input
# arguments... -- ffmpeg probe input arguments...
run_case() {
  local name=$1 frames=$2 folder=$3 lossless=$4
  [[ -z "${BENCH_CASES:-}" || $name =~ $BENCH_CASES ]] || return 0
  shift 4
  local floor_args=() ffmpeg_in=() probe_in=()
  while [[ $1 != -- ]]; do floor_args+=("$1"); shift; done
  shift
  while (($#)) && [[ $1 != -- ]]; do ffmpeg_in+=("$1"); shift; done
  (($#)) && shift
  probe_in=("$@")
  local movie_dir=$scratch/$folder

  say "$name: floor"
  measure "$floor" "${floor_args[@]}"
  local f_wall=$m_wall f_cpu=$m_cpu
  if ((lossless)) && [[ -n "$other_deflate" ]]; then
    say "$name: floor with $other_deflate"
    local other_args=("${floor_args[@]}")
    other_args[2]=$other_deflate
    measure "$floor" "${other_args[@]}"
    notes+=("$name, floor with $other_deflate level 9: $m_wall s wall, $m_cpu s CPU (median of $m_runs)")
  fi

  local options=(--quiet --no-html)
  ((lossless)) && options+=(--lossless)
  # shellcheck disable=SC2206  # the case's own options, words apart
  options+=($case_options)

  local variant first=1 q="" ff_wall="" ff_cpu="" ff_size="-"
  for variant in "${variants[@]}"; do
    say "$name: vantrel-cli ${variant:-(no -j)}"
    # shellcheck disable=SC2086  # the variant is an option and its value
    measure "$cli" "${options[@]}" $variant "$movie_dir"
    local o_wall=$m_wall o_cpu=$m_cpu o_rss=$m_rss o_runs=$m_runs
    local movies=("$movie_dir"/*.swf)
    local movie=${movies[0]}
    local ours_bytes
    ours_bytes=$(stat -c %s "$movie")
    local ours_size
    ours_size=$(mib "$movie")

    if ((first)) && ((!lossless)); then
      q=$(choose_scale "$ours_bytes" "$frames" "${probe_in[@]}")
      say "$name: ffmpeg -q:v $q"
      measure ffmpeg -nostdin -loglevel error -y "${ffmpeg_in[@]}" -c:v mjpeg -qmin 1 -q:v "$q" \
        -f swf "$scratch/ffmpeg.swf"
      ff_wall=$m_wall
      ff_cpu=$m_cpu
      ff_size="$(mib "$scratch/ffmpeg.swf") (q $q)"
    fi
    first=0

    local label=$name
    [[ -n "$variant" ]] && label="$name, $variant"
    local vs_ff_wall="-" vs_ff_cpu="-" ff_cols="- | -"
    if [[ -n "$ff_wall" ]]; then
      vs_ff_wall=$(ratio "$o_wall" "$ff_wall")
      vs_ff_cpu=$(ratio "$o_cpu" "$ff_cpu")
      ff_cols="$ff_wall | $ff_cpu"
    fi
    rows+=("| $label | $frames | $o_runs | $o_wall | $o_cpu | $o_rss | $f_wall | $f_cpu | $ff_cols | $(ratio "$o_wall" "$f_wall") | $(ratio "$o_cpu" "$f_cpu") | $vs_ff_wall | $vs_ff_cpu | $ours_size | $ff_size |")
  done
}

seq_list() {  # folder: the list file of its pictures for the floor
  printf '%s\n' "$scratch/$1"/walk[0-9]*.bmp "$scratch/$1"/walk[0-9]*.jpg >"$scratch/$1.list"
  echo "$scratch/$1.list"
}

started=$SECONDS
for input in "bmp320 300 bmp 320x240" "bmp640 300 bmp 640x480" "bmp1080 100 bmp 1920x1080"; do
  read -r folder frames ext size <<<"$input"
  make_probe "$folder"
  run_case "BMP $size" "$frames" "$folder" 0 pictures "$scratch/floor.bin" jpeg "$quality" \
    "$(seq_list "$folder")" -- -framerate "$rate" -i "$scratch/$folder/walk%03d.$ext" \
    -- -framerate "$rate" -i "$scratch/probe-$folder/p%03d.$ext"
done
run_case "MPEG-4 640x480, 500 at 25 fps" 300 video 0 video "$scratch/floor.bin" "$quality" \
  "$rate" "$scratch/video/clip.avi" -- -i "$scratch/video/clip.avi" -r "$rate" \
  -- -i "$scratch/video/clip.avi" -vf "select=not(mod(n\\,16)),setpts=N/($rate*TB)" -r "$rate"
run_case "H.264 1920x1080, 200 at 25 fps" 120 video1080 0 video "$scratch/floor.bin" "$quality" \
  "$rate" "$scratch/video1080/clip.mp4" -- -i "$scratch/video1080/clip.mp4" -r "$rate" \
  -- -i "$scratch/video1080/clip.mp4" -vf "select=not(mod(n\\,7)),setpts=N/($rate*TB)" -r "$rate"
case_options="--max-size 640x360"
run_case "H.264 1920x1080 to 640x360, 200 at 25 fps" 120 h264 0 video "$scratch/floor.bin" \
  "$quality" "$rate" "$scratch/h264/clip.mp4" 640x360 \
  -- -i "$scratch/h264/clip.mp4" -vf scale=640:360 -r "$rate" \
  -- -i "$scratch/h264/clip.mp4" -vf "select=not(mod(n\\,6)),setpts=N/($rate*TB),scale=640:360" \
  -r "$rate"
case_options=""
for frames in 1200 4800; do
  make_probe "jpg$frames"
  run_case "JPEG 640x480" "$frames" "jpg$frames" 0 pictures "$scratch/floor.bin" jpeg \
    "$quality" "$(seq_list "jpg$frames")" \
    -- -framerate "$rate" -i "$scratch/jpg$frames/walk%04d.jpg" \
    -- -framerate "$rate" -i "$scratch/probe-jpg$frames/p%03d.jpg"
done
run_case "BMP 640x480 lossless" 300 bmp640 1 pictures "$scratch/floor.bin" "$deflate" 0 \
  "$(seq_list bmp640)" --
run_case "BMP 1920x1080 render, lossless" 300 lossless1080 1 pictures "$scratch/floor.bin" \
  "$deflate" 0 "$(seq_list lossless1080)" --

# --target-size against a plain conversion at the quality it chose: the
# target is half the movie at quality 90, so that the estimate has work.
target_rows=()
run_target_case() {  # name folder
  local name="target-size: $1" folder=$scratch/$2 plain target q
  [[ -z "${BENCH_CASES:-}" || $name =~ $BENCH_CASES ]] || return 0
  "$cli" --quiet --no-html -q "$quality" "$folder" >/dev/null
  plain=("$folder"/*.swf)
  target=$(($(stat -c %s "${plain[0]}") / 2))
  say "$name: --target-size $target"
  measure "$cli" --quiet --no-html --target-size "$target" --report "$scratch/target.json" "$folder"
  local t_wall=$m_wall t_cpu=$m_cpu t_runs=$m_runs bytes
  bytes=$(stat -c %s "${plain[0]}")
  q=$(jq '.jobs[0].quality' "$scratch/target.json")
  say "$name: -q $q"
  measure "$cli" --quiet --no-html -q "$q" "$folder"
  target_rows+=("| $1 | $target | $bytes | $q | $t_runs | $t_wall | $t_cpu | $m_wall | $m_cpu | $(ratio "$t_wall" "$m_wall") | $(ratio "$t_cpu" "$m_cpu") |")
}
run_target_case "MPEG-4 640x480, 300 frames" video
run_target_case "BMP 640x480, 300 frames" bmp640
run_target_case "BMP 1920x1080, 100 frames" bmp1080
say "timed in $((SECONDS - started)) s"

echo
echo "vantrel-cli: $cli ($("$cli" --version)); floor: one thread, JPEG by TurboJPEG at quality $quality 4:2:0, lossless by $deflate level 9; $cores cores"
echo
echo "| case | frames | runs | ours wall s | ours CPU s | ours peak RSS MiB | floor wall s | floor CPU s | FFmpeg wall s | FFmpeg CPU s | ours/floor wall | ours/floor CPU | ours/FFmpeg wall | ours/FFmpeg CPU | ours MiB | FFmpeg MiB |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
if ((${#target_rows[@]})); then
  echo
  echo "| --target-size case | target bytes | movie bytes | quality chosen | runs | target wall s | target CPU s | plain -q wall s | plain -q CPU s | target/plain wall | target/plain CPU |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${target_rows[@]}"
fi
if ((${#notes[@]})); then
  echo
  printf -- '- %s\n' "${notes[@]}"
fi
