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

# The other containers, from a source whose hue turns once a second, so that
# no frame passes for its neighbour: 24 frames at 25 fps, a keyframe every 8.
# H.264 with two B-frames in MP4 (an edit list hides the B-frames' delay) and
# in Matroska, in M4V without; MPEG-4 Visual in QuickTime, VP9 in WebM,
# WMV 8 in ASF, Sorenson H.263 in FLV, Theora in Ogg.
hues=testsrc=size=48x32:rate=25,hue=H=2*PI*t
new() { ff -f lavfi -i $hues -frames:v 24 -g 8 "$@"; }
new -c:v libx264 -bf 2 -crf 30 -pix_fmt yuv420p h264.mp4
new -c:v libx264 -bf 0 -crf 30 -pix_fmt yuv420p h264.m4v
new -c:v mpeg4 -bf 2 -q:v 6 mpeg4.mov
new -c:v libx264 -bf 2 -crf 30 -pix_fmt yuv420p h264.mkv
new -c:v libvpx-vp9 -b:v 100k vp9.webm
new -c:v wmv2 -q:v 6 wmv2.wmv
new -c:v flv -q:v 6 flv1.flv
new -c:v libtheora -q:v 5 theora.ogv
# Cut from a longer MP4 without decoding: its edit list starts the video on
# a P-frame and drops the keyframe before it, whose time is negative.
ff -f lavfi -i $hues -frames:v 60 -c:v libx264 -bf 2 -g 8 -crf 30 -pix_fmt yuv420p long.mp4
ff -ss 0.5 -i long.mp4 -c copy -t 0.8 cut.mp4
rm long.mp4
# Variable frame rate: ten frames 0.04 s apart from 0 s, then ten 0.2 s apart
# from 0.4 s, with B-frames. In MP4 the stated length (1.88 s) follows the
# decoding times and ends before the last two frames are shown.
vfr() {
    ff -f lavfi -i $hues -frames:v 20 \
       -vf "setpts='if(lt(N,10),N/25,0.4+(N-10)/5)/TB'" -fps_mode passthrough \
       -c:v libx264 -bf 2 -g 8 -crf 30 -pix_fmt yuv420p "$1"
}
vfr vfr.mkv
vfr vfr.mp4

# Stored turned, as phones store upright video. FFmpeg 5.1 writes a rotate
# tag as a display matrix when it copies a stream into MP4, turning the
# other way (counter-clockwise); Matroska keeps the tag as it is, which the
# ffmpeg program does not turn by. Two matrices with a mirror are written
# over the track header's (version 0: 44 bytes after its type), a b c d in
# 16.16 fixed point. And an odd size in 4:4:4.
matrix() {
    cp upright.mp4 "$1"
    python3 - "$@" <<'EOF'
import struct, sys
path, *abcd = sys.argv[1:]
a, b, c, d = (int(v) * 65536 for v in abcd)
data = bytearray(open(path, 'rb').read())
at = data.index(b'tkhd') + 44
data[at:at + 20] = struct.pack('>5i', a, b, 0, c, d)
open(path, 'wb').write(data)
EOF
}
new -c:v libx264 -bf 2 -crf 30 -pix_fmt yuv420p upright.mp4
for degrees in 90 180 270; do
    ff -i upright.mp4 -c copy -metadata:s:v:0 rotate=$degrees turned$degrees.mp4
done
ff -i upright.mp4 -c copy -metadata:s:v:0 ROTATE=90 turned90.mkv
matrix mirrored.mp4 -1 0 0 1
matrix diagonal.mp4 0 1 1 0
rm upright.mp4
ff -f lavfi -i testsrc=size=45x27:rate=25 -frames:v 24 -g 8 -c:v libx264 -crf 30 -pix_fmt yuv444p \
   odd.mp4
ff -i odd.mp4 -c copy -metadata:s:v:0 rotate=270 oddturned.mp4
rm odd.mp4

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

# Reference frames: <video>.<frame>.bgr.gz, turned as the ffmpeg program
# shows them, and further by the filters in TURN.
reference() {
    local video=$1
    shift
    for n in "$@"; do
        ffmpeg -hide_banner -loglevel error -i "$video" -vf "select=eq(n\,$n)${TURN:-}" -vframes 1 \
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
for video in h264.mp4 h264.m4v mpeg4.mov h264.mkv vp9.webm wmv2.wmv flv1.flv theora.ogv; do
    reference $video 0 9 23
done
reference cut.mp4 0 1 21
for video in turned90.mp4 turned180.mp4 turned270.mp4 mirrored.mp4 diagonal.mp4 oddturned.mp4; do
    reference $video 0 9 23
done
TURN=,transpose=clock reference turned90.mkv 0 9 23
reference vfr.mkv 0 10 19
# FFmpeg's frames of vfr.mkv at 10 fps, each the last frame shown at or
# before its time (rounding times up to the output's ticks), all in one.
ffmpeg -hide_banner -loglevel error -i vfr.mkv -vf fps=10:round=up -pix_fmt bgr24 \
    -f rawvideo - | gzip -9n > vfr.mkv.fps10.bgr.gz
