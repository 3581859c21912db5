#!/usr/bin/env bash
# Makes the seed inputs of the video targets: tiny videos from FFmpeg's test
# sources, a keyframe every 5 frames so that moving back seeks, in the
# containers and codecs the tool reads, two of them stored turned, and the
# smallest test videos. The grab-order seeds are the same files behind 4
# bytes that seed the order; the thread-count seeds some of them, and damaged
# copies of MJPEG and H.264 videos, two bytes inverted inside some frames.
set -euo pipefail
cd "$(dirname "$0")"
data=../../tests/data/video
mkdir -p video_source video_grab_order threads

ff() { ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=32x24:rate=25 "$@"; }
ff -frames:v 20 -c:v mpeg4 -bf 2 -g 5 -q:v 20 video_source/mpeg4-bframes.avi
ff -frames:v 16 -c:v mpeg4 -bf 0 -g 5 -q:v 20 video_source/mpeg4.avi
ff -frames:v 20 -c:v mpeg1video -bf 2 -g 5 -q:v 20 -f mpeg video_source/mpeg1.mpg
ff -frames:v 20 -c:v mpeg2video -bf 2 -g 5 -q:v 20 -f vob video_source/mpeg2.mpeg
ff -frames:v 16 -c:v libx264 -preset ultrafast -g 5 -crf 40 video_source/h264.mp4
ff -frames:v 12 -c:v mjpeg -q:v 20 video_source/mjpeg.avi
ff -frames:v 16 -c:v libx264 -bf 2 -g 5 -crf 40 video_source/h264-bframes.mkv
ff -frames:v 16 -c:v mpeg4 -bf 2 -g 5 -q:v 20 video_source/mpeg4.mov
ff -frames:v 16 -c:v libvpx-vp9 -g 5 -b:v 50k video_source/vp9.webm
ff -frames:v 16 -c:v wmv2 -g 5 -q:v 20 video_source/wmv2.wmv
ff -frames:v 16 -c:v flv -g 5 -q:v 20 video_source/flv1.flv
# Theora leaves out frames equal to the one before: spaced unevenly.
ff -frames:v 16 -c:v libtheora -g 5 -q:v 2 video_source/theora.ogv
ff -frames:v 16 -vf "setpts='if(lt(N,8),N/25,0.32+(N-8)/5)/TB'" -fps_mode passthrough \
   -c:v libx264 -bf 2 -g 5 -crf 40 video_source/vfr.mkv
cp "$data"/few.avi "$data"/truncated.mpg "$data"/cut.mp4 video_source/
# Stored turned, as phones record upright video: FFmpeg 5.1 writes the
# rotate tag as a display matrix when it copies a stream. One at an odd
# size, in QuickTime.
turned() { ffmpeg -hide_banner -loglevel error -y -i "$1" -c copy -metadata:s:v:0 rotate="$2" "$3"; }
turned video_source/h264.mp4 90 video_source/h264-turned.mp4
ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=33x19:rate=25 -frames:v 12 \
   -c:v mpeg4 -g 5 -q:v 20 odd.mov
turned odd.mov 270 video_source/mpeg4-odd-turned.mov
rm odd.mov

# Lengths the data does not keep: a Matroska file cut short (video and sound
# end early), an MP4 whose sound runs on past its pictures, and one of sound
# only.
ffs() { ff -f lavfi -i sine=sample_rate=8000 "$@"; }
ffs -t 2 -c:v mpeg4 -g 5 -q:v 20 -c:a pcm_s16le sound.mkv
head -c "$(($(stat -c %s sound.mkv) * 2 / 5))" sound.mkv >video_source/cut-with-sound.mkv
rm sound.mkv
ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=32x24:rate=25:duration=0.6 \
   -f lavfi -i sine=sample_rate=8000:duration=2 -c:v libx264 -preset ultrafast -g 5 -crf 40 \
   -c:a aac video_source/sound-runs-on.mp4
ffmpeg -hide_banner -loglevel error -y -f lavfi -i sine=sample_rate=8000:duration=0.5 -c:a aac \
   video_source/sound-only.mp4
for f in video_source/*; do
  printf '\x5e\x11\xa0\x07' | cat - "$f" >"video_grab_order/$(basename "$f")"
done

# Inverts the two bytes at OFFSET into each video packet numbered, of IN into OUT.
damage() {
  local in=$1 out=$2 offset=$3 packet at byte i
  shift 3
  cp "$in" "$out"
  mapfile -t at < <(ffprobe -v error -select_streams v -show_entries packet=pos -of csv=p=0 "$in")
  for packet in "$@"; do
    for i in 0 1; do
      byte=$(od -An -tu1 -j $((at[packet] + offset + i)) -N1 "$in")
      printf "\\$(printf %o $((255 - byte)))" |
        dd of="$out" bs=1 seek=$((at[packet] + offset + i)) conv=notrunc status=none
    done
  done
}
cp video_source/{mjpeg.avi,mpeg4-bframes.avi,mpeg1.mpg,h264-bframes.mkv,vfr.mkv,cut-with-sound.mkv,sound-runs-on.mp4} threads/
damage video_source/mjpeg.avi threads/mjpeg-damaged-frames.avi 330 1 4 7 10
ff -frames:v 40 -c:v libx264 -preset ultrafast -g 10 -crf 40 threads/h264-clean.mkv
damage threads/h264-clean.mkv threads/h264-slice-header-damaged.mkv 4 13
rm threads/h264-clean.mkv
