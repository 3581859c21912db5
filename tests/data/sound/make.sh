#!/bin/sh
# Regenerates the MP3 test files of this folder from a 440 Hz sine tone,
# encoded by LAME 3.100 and FFmpeg 5.1 (Debian 12). Run it in this folder.
# The expected values the tests use (from ffprobe and the frame headers):
#   stereo.mp3        MPEG-1 Layer III, 44.1 kHz, 64 kbit/s, stereo, no tags
#   mono.mp3          MPEG-1 Layer III, 44.1 kHz, 64 kbit/s, single channel
#   dual.mp3          MPEG-1 Layer III, 44.1 kHz, 64 kbit/s, dual channel
#   mpeg2.mp3         MPEG-2 Layer III, 22.05 kHz, 64 kbit/s, joint stereo
#   id3v1.mp3         stereo.mp3 with a 128-byte ID3v1 trailer
#   id3v2.mp3         stereo.mp3 behind a 102-byte ID3v2.3 tag
#   both.mp3          stereo.mp3 between an ID3v2.3 tag and an ID3v1 trailer
#   ffmpeg_id3v2.mp3  MPEG-1 Layer III, 32 kbit/s, mono, ID3v2.4 tag by FFmpeg;
#                     its first frame (the Xing info frame) is a 56 kbit/s one
#   layer2.mp3        MPEG-1 Layer II, 44.1 kHz, 192 kbit/s, stereo (FFmpeg mp2)
set -e
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
tone() {
    ffmpeg -hide_banner -loglevel error -y \
        -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=0.25" -ac "$1" "$2"
}
tone 2 "$tmp/stereo.wav"
tone 1 "$tmp/mono.wav"

lame="lame --quiet --resample 44.1 -b 64"
$lame -m s "$tmp/stereo.wav" stereo.mp3
$lame -m m "$tmp/mono.wav" mono.mp3
$lame -m d "$tmp/stereo.wav" dual.mp3
lame --quiet --resample 22.05 -b 64 -m j "$tmp/stereo.wav" mpeg2.mp3
$lame -m s --id3v1-only --tt Tone "$tmp/stereo.wav" id3v1.mp3
$lame -m s --id3v2-only --tt Tone "$tmp/stereo.wav" id3v2.mp3
$lame -m s --add-id3v2 --tt Tone "$tmp/stereo.wav" both.mp3

ffmpeg -hide_banner -loglevel error -y -i "$tmp/mono.wav" \
    -c:a libmp3lame -b:a 32k -metadata title=Tone ffmpeg_id3v2.mp3
ffmpeg -hide_banner -loglevel error -y -i "$tmp/stereo.wav" -t 0.1 \
    -c:a mp2 -b:a 192k -f mp2 layer2.mp3
