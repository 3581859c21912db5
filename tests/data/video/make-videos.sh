#!/usr/bin/env bash
# Makes the test videos of tests/video from FFmpeg's test sources, and the
# reference pictures: FFmpeg's own decode of chosen frames, as raw 24-bit
# blue, green, red rows (top row first, no padding), gzip-compressed.
# Run from this folder; needs the ffmpeg program (FFmpeg 5.1 made the files).
set -euo pipefail
cd "$(dirname "$0")"

ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }

# Motion JPEG (intra only, 4:2:2, full range) at an odd size, 10 frames at 25 fps.
ff -f lavfi -i testsrc=size=65x49:rate=25 -frames:v 10 -pix_fmt yuvj422p \
   -c:v mjpeg -q:v 10 mjpeg.avi
# MPEG-4 Visual (mpeg4) with two B-frames between references, keyframe every 12 frames.
ff -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 40 -c:v mpeg4 -bf 2 -g 12 -q:v 6 mpeg4.avi
# MPEG-1 program stream; its timestamps start at 0.54 s.
ff -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 40 -c:v mpeg1video -bf 2 -g 12 -q:v 6 \
   -f mpeg mpeg1.mpg
# MPEG-2 program stream at 29.97 fps.
ff -f lavfi -i testsrc2=size=64x48:rate=30000/1001 -frames:v 40 -c:v mpeg2video -bf 2 -g 12 \
   -q:v 6 -f vob mpeg2.mpeg
# A size that is no multiple of 16 and whose 24-bit rows need padding.
ff -f lavfi -i testsrc2=size=98x74:rate=25 -frames:v 16 -c:v mpeg4 -bf 2 -g 6 -q:v 6 odd.avi
# Three frames only, the last of them held back by the decoder until the end.
ff -f lavfi -i testsrc2=size=64x48:rate=10 -frames:v 3 -c:v mpeg4 -bf 1 -q:v 6 few.avi
# Ten seconds at 25 fps, 250 frames, a keyframe every 25: long enough for
# seeks far ahead. MPEG-4 in AVI, MPEG-2 in a program stream.
ff -f lavfi -i testsrc2=size=32x24:rate=25 -frames:v 250 -c:v mpeg4 -bf 2 -g 25 -q:v 20 \
   tenseconds.avi
ff -f lavfi -i testsrc2=size=32x24:rate=25 -frames:v 250 -c:v mpeg2video -bf 2 -g 25 -q:v 20 \
   -f vob tenseconds.mpg

# One frame of 9000 x 8000 pixels, over the pictures' limit of 2^26; a flat
# colour in H.264 takes a few kilobytes.
ff -f lavfi -i color=c=red:s=9000x8000:d=0.04 -frames:v 1 -c:v libx264 -preset veryfast huge.avi

# Broken inputs: cut short, damaged in the middle, not a video at all, empty.
head -c 6000 mpeg4.avi > truncated.avi
head -c 5000 mpeg1.mpg > truncated.mpg
cp mpeg4.avi damaged.avi
head -c 3000 /dev/zero | tr '\0' '\377' | dd of=damaged.avi bs=1 seek=7000 conv=notrunc status=none
# A damaged MPEG-1 program stream the video grab-order fuzzer made from a
# copy of mpeg1.mpg; its reproducer is that file behind 4 bytes of seed.
tail -c +5 ../../../fuzz/regressions/video_grab_order/mpeg1-ps-backward-grab-placed-on-another-keyframe \
    > damaged.mpg
printf 'This is a text file, not a video.\n' > notvideo.avi
: > empty.mpeg

# Reference frames: <video>.<frame>.bgr.gz
reference() {
    local video=$1
    shift
    for n in "$@"; do
        ffmpeg -hide_banner -loglevel error -i "$video" -vf "select=eq(n\,$n)" -vframes 1 \
            -pix_fmt bgr24 -f rawvideo - | gzip -9n > "$video.$n.bgr.gz"
    done
}
reference mjpeg.avi 0 2 5 9
reference mpeg4.avi 0 11 12 13 25 39
reference mpeg1.mpg 0 11 12 13 25 39
reference mpeg2.mpeg 0 11 12 13 25 39
reference odd.avi 0 5 6 15
reference few.avi 0 1 2
reference tenseconds.avi 0 24 25 124 249
reference tenseconds.mpg 0 24 25 124 249
