#!/bin/sh
# Regenerates this example with ImageMagick and FFmpeg: 24 frames of a
# figure walking across a 160 x 120 stage, and a short tune for walk.mp3.
set -e
cd "$(dirname "$0")"
for i in $(seq 1 24); do
    x=$((10 + i * 5))
    step=$(( (i % 4) * 4 - 6 ))
    n=$(printf '%03d' "$i")
    convert -size 160x120 gradient:'#9fd3ff-#e8f6ff' \
        -fill '#5a8f3c' -draw 'rectangle 0,96 159,119' \
        -fill '#f4c542' -draw 'circle 138,22 138,32' \
        -stroke '#222222' -strokewidth 3 -fill none \
        -draw "circle $x,40 $x,48" \
        -draw "line $x,48 $x,72" \
        -draw "line $x,56 $((x + step)),66" \
        -draw "line $x,56 $((x - step)),66" \
        -draw "line $x,72 $((x + step)),94" \
        -draw "line $x,72 $((x - step)),94" \
        -quality 85 "walk$n.jpg"
done
ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "sine=frequency=392:sample_rate=44100:duration=0.4" \
    -f lavfi -i "sine=frequency=523:sample_rate=44100:duration=0.4" \
    -f lavfi -i "sine=frequency=659:sample_rate=44100:duration=0.8" \
    -filter_complex '[0][1][2]concat=n=3:v=0:a=1' \
    -ac 1 -c:a libmp3lame -b:a 48k -map_metadata -1 -write_xing 0 walk.mp3
