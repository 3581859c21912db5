#!/usr/bin/env bash
# Makes the seed inputs of the picture, sound and grouping targets from the
# test data (files ImageMagick, FFmpeg, Pillow and lame wrote) and a few hand-written
# path lists. The corpora grow beyond these seeds by `FUZZ_MERGE=1 make fuzz`.
set -euo pipefail
cd "$(dirname "$0")"
data=../../tests/data
mkdir -p bmp tga png jpeg mp3 frame grouping

for f in "$data"/image/*.bmp "$data"/convert/*.bmp; do
  cp "$f" bmp/
  # The same bitmap without its file header, as the in-memory entry takes it.
  tail -c +15 "$f" >"bmp/$(basename "$f" .bmp).dib"
done
cp "$data"/image/*.tga "$data"/convert/*.tga tga/
cp "$data"/image/*.jpg "$data"/convert/*.jpg jpeg/
cp "$data"/image/*.png png/
cp "$data"/sound/*.mp3 mp3/
# Other sounds named .mp3, which are re-encoded: a quarter second of tone.
tone() {
  ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "sine=frequency=440:sample_rate=$1:duration=0.25" -ac "$2" "${@:3}"
}
tone 22050 1 -c:a aac -f adts mp3/aac-adts.mp3
tone 11025 2 -c:a aac -f ipod mp3/aac-m4a.mp3
tone 8000 1 -c:a pcm_s16le -f wav mp3/pcm-wav.mp3
tone 16000 1 -c:a flac -f flac mp3/flac.mp3
tone 48000 2 -c:a mp2 -b:a 64k -f mp2 mp3/layer2-48k.mp3
{ printf 'not a frame %.0s' {1..20}; cat "$data"/sound/mono.mp3; } >mp3/other-data-then-mp3.mp3
cp "$data"/convert/red4x3.bmp "$data"/convert/red4x3.jpg "$data"/convert/red4x3.tga \
   "$data"/image/alpha32.tga "$data"/image/ramp8_bmp3.bmp "$data"/image/redblue_progressive.jpg \
   "$data"/image/png_rgba8_interlaced.png frame/

printf '/anim/walk001.bmp\n/anim/walk002.bmp\n/anim/walk010.bmp\n/anim/walk3.bmp\n' >grouping/walk
printf 'a/0001.jpg\na/0002.jpg\na/b/x1.tga\na/b/x01.tga\na/b/x2147483647.tga\na/b/x2147483648.tga\n' >grouping/zeros
printf 'w/a1.png\nw/a2.jpeg\nw/a3.JPG\nw/a1.jpg\n' >grouping/kinds
printf 'shot.v2/frame9.bmp\nshot.v2/frame10.bmp\nnodigits.bmp\n.5.bmp\nframe007\n' >grouping/odd
