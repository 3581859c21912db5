#!/bin/sh
# Regenerates the picture files of the image tests with ImageMagick 6
# (convert) and FFmpeg. Run from this folder. What each picture shows is
# written down here and checked pixel by pixel by tests/image. The edge cases
# (short palettes, masks, padding, hostile sizes) are built byte by byte in
# the tests themselves.
set -e

# quad (7 x 5): red x 0-3 / y 0-2, lime x 4-6 / y 0-2, blue x 0-3 / y 3-4,
# white x 4-6 / y 3-4. The split is off-centre so a flipped picture shows.
convert -size 7x5 xc:red -fill lime -draw "rectangle 4,0 6,2" \
  -fill blue -draw "rectangle 0,3 3,4" -fill white -draw "rectangle 4,3 6,4" png24:quad.png
# alpha (7 x 5): quad with pixel (0,0) fully transparent and pixel (1,4)
# blue at alpha 128.
convert quad.png -alpha set -fill none -draw "color 0,0 point" \
  -fill "#0000FF80" -draw "color 1,4 point" png32:alpha.png
# mono (10 x 3): white, black at x 0-2 and at pixel (9,0).
convert -size 10x3 xc:white -fill black -draw "rectangle 0,0 2,2" -draw "point 9,0" png24:mono.png
# The intermediate PNGs are true colour so that every writer below keeps
# its own choice of depth.
# ramp (20 x 2): pixel (k,0) is rgb(12k, 255-12k, 5k), row 1 is white;
# 21 colours, so the palette formats need 8 bits.
draw=""
k=0
while [ $k -lt 20 ]; do
  draw="$draw -fill \"rgb($((12 * k)),$((255 - 12 * k)),$((5 * k)))\" -draw \"point $k,0\""
  k=$((k + 1))
done
eval convert -size 20x2 xc:white $draw png24:ramp.png

for v in BMP2 BMP3 BMP; do
  n=$(echo $v | tr 'A-Z' 'a-z'); [ $n = bmp ] && n=bmp4
  convert quad.png -type TrueColor $v:quad24_$n.bmp
  convert quad.png -type Palette $v:quad4_$n.bmp
  convert mono.png -type Bilevel $v:mono1_$n.bmp
  convert ramp.png -type Palette -compress None $v:ramp8_$n.bmp
done
convert quad.png -define bmp:subtype=RGB565 BMP:quad565_bmp4.bmp
convert quad.png -define bmp:subtype=RGB555 BMP:quad555_bmp4.bmp
# BMP3 16-bit: ImageMagick writes bit-field compression without the masks.
convert quad.png -define bmp:subtype=RGB565 BMP3:quad565_bmp3_nomasks.bmp
convert alpha.png -define bmp3:alpha=true BMP3:alpha32_bmp3.bmp
convert alpha.png BMP:alpha32_bmp4.bmp
# 16 bits with an alpha mask: ImageMagick cuts alpha 128 down to 7 of 15
# and to 0 of 1.
convert alpha.png -define bmp:subtype=ARGB4444 BMP:alpha4444_bmp4.bmp
convert alpha.png -define bmp:subtype=ARGB1555 BMP:alpha1555_bmp4.bmp
convert ramp.png -type Palette -compress RLE BMP3:ramp8_rle.bmp

# Exact conversions: swscale's default path smears the last column of an
# odd-width picture when it reduces to 16 bits.
exact="-sws_flags neighbor+accurate_rnd+full_chroma_int+bitexact"
for f in bgr24 bgra rgb565le rgb555le; do
  ffmpeg -v error -y -i quad.png $exact -pix_fmt $f ff_quad_$f.bmp
done
# From a colour-mapped PNG FFmpeg keeps the exact palette.
convert quad.png png8:quad8.png
ffmpeg -v error -y -i quad8.png -pix_fmt pal8 ff_quad_pal8.bmp
ffmpeg -v error -y -i alpha.png $exact -pix_fmt bgra ff_alpha_bgra.bmp
ffmpeg -v error -y -i mono.png $exact -pix_fmt monob ff_mono_monob.bmp

# ImageMagick 6 writes the rows top row first but marks them bottom-up (the
# picture it reads back keeps a bottom-left orientation); -flip makes the
# stored rows bottom-up, as the mark says.
convert quad.png -type TrueColor -flip TGA:quad24.tga
convert alpha.png -flip TGA:alpha32.tga
convert quad.png -type TrueColor -compress RLE TGA:quad24_rle.tga
convert quad.png -type Palette TGA:quad_palette.tga
convert quad.png -colorspace Gray TGA:quad_grey.tga
ffmpeg -v error -y -i quad.png $exact -rle 0 -pix_fmt bgr24 ff_quad_bgr24.tga
ffmpeg -v error -y -i alpha.png $exact -rle 0 -pix_fmt bgra ff_alpha_bgra.tga
ffmpeg -v error -y -i quad.png $exact -rle 0 -pix_fmt rgb555le ff_quad_rgb555le.tga
ffmpeg -v error -y -i quad.png ff_quad_rle.tga

# grey (16 x 16): grey 128 everywhere, one component.
convert -size 16x16 xc:"rgb(128,128,128)" -colorspace Gray -quality 95 grey.jpg
# redblue (16 x 8): left half red, right half blue; 4:4:4 so colours do not
# bleed across the middle.
convert -size 8x8 xc:red -size 8x8 xc:blue +append -sampling-factor 1x1 -quality 95 redblue.jpg
convert -size 8x8 xc:red -size 8x8 xc:blue +append -sampling-factor 1x1 -quality 95 \
  -interlace Plane redblue_progressive.jpg
convert -size 8x8 xc:red -size 8x8 xc:blue +append -sampling-factor 1x1 -quality 95 \
  -colorspace CMYK redblue_cmyk.jpg

rm quad.png quad8.png alpha.png mono.png ramp.png
