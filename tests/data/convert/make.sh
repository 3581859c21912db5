#!/bin/sh
# Makes the driver's test pictures with ImageMagick.
set -e
cd "$(dirname "$0")"
convert -size 4x3 xc:'#ff0000' BMP3:red4x3.bmp
convert -size 4x3 xc:'#0000ff' BMP3:blue4x3.bmp
convert -size 6x5 xc:'#00ff00' BMP3:green6x5.bmp
convert -size 4x3 xc:'#ff0000' -compress none red4x3.tga
convert -size 4x3 xc:'#ff0000' -quality 95 red4x3.jpg
cp ../sound/stereo.mp3 tone.mp3  # a short tone made by lame (see ../sound)
