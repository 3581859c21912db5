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

# Run-length and grey TGA (quad and alpha, flipped so that the stored rows
# are bottom-up as marked), colour-mapped and grey ones by FFmpeg, grey with
# alpha by Pillow.
convert alpha.png -flip -compress RLE TGA:alpha32_rle.tga
convert quad.png -type Palette -flip -compress RLE TGA:quad_palette_rle.tga
convert quad.png -colorspace Gray -flip -compress RLE TGA:quad_grey_rle.tga
ffmpeg -v error -y -i quad8.png -pix_fmt pal8 ff_quad_pal8_rle.tga
ffmpeg -v error -y -i quad.png -pix_fmt gray ff_quad_gray_rle.tga
python3 - <<'PY'
from PIL import Image
la = Image.open("alpha.png").convert("LA")
la.save("pil_greyalpha.tga")
la.save("pil_greyalpha_rle.tga", compression="tga_rle")
PY

# Run-length BMP: ImageMagick writes RLE8 with a run or a literal per row,
# each row closed by an end of line. The escapes it leaves out are written
# here byte by byte: rle8_escapes.bmp (7 x 4) has a row cut short by an end
# of line, a delta over pixels of two rows and an early end of bitmap;
# rle4_escapes.bmp (7 x 3) runs of two alternating colours, literals with
# and without a padding byte, a delta and an end of line. Palette entry 0
# (rgb(10,20,30)) is left to the pixels no code sets.
convert quad.png -type Palette -compress RLE BMP3:quad8_rle.bmp
python3 - <<'PY'
import struct

def bmp(name, width, height, bits, compression, codes):
    palette = [(30, 20, 10), (0, 255, 0), (255, 0, 0), (0, 255, 255), (255, 255, 255)]
    table = b"".join(bytes(entry) + b"\0" for entry in palette)
    offset = 14 + 40 + len(table)
    data = bytes(codes)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(data),
                       2835, 2835, len(palette), 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    open(name, "wb").write(header + info + table + data)

bmp("rle8_escapes.bmp", 7, 4, 8, 1, [
    3, 1, 0, 0,                  # row 0: three of colour 1, the rest unset
    0, 3, 2, 3, 4, 0,            # row 1: a literal of 3 and its padding
    0, 2, 2, 1,                  # delta: 2 right, 1 up (row 2, x 5)
    2, 4, 0, 0,                  # x 5-6 of row 2
    7, 3,                        # row 3 whole
    0, 1, 0, 0])                 # end of bitmap
bmp("rle4_escapes.bmp", 7, 3, 4, 2, [
    7, 0x12, 0, 0,               # row 0: 1 2 1 2 1 2 1
    0, 5, 0x34, 0x12, 0x30, 0,   # row 1: a literal of 5 and its padding byte,
    2, 0x34, 0, 0,               # then 3 4
    0, 3, 0x21, 0x30,            # row 2: a literal of 3, no padding
    0, 2, 2, 0,                  # delta: 2 right
    1, 0x40, 0, 0,               # x 5; x 6 unset
    0, 1])                       # end of bitmap
PY

# PNG: one drawing of 13 x 7 pixels (rows of 1, 2 and 4 bits end inside a
# byte, every interlace pass has pixels) with 16-bit gradients and six
# levels of alpha, in every colour type and bit depth: grey, grey with
# alpha, RGB and RGBA by ImageMagick, palettes (1 to 8 bits, with and
# without tRNS) and colour keys by Pillow, interlaced by ImageMagick.
nodate="-define png:exclude-chunks=date,time"
convert -size 13x7 xc: -alpha set \
  -channel R -fx "i/12" -channel G -fx "j/6" -channel B -fx "(i*j%11)/10" \
  -channel A -fx "(i+3*j)%6/5" +channel -depth 16 $nodate png64:pattern.png
png() { out=$1; shift; convert pattern.png "$@" $nodate "png_$out.png"; }
for n in 1 2 4 8 16; do
  png grey$n -alpha off -colorspace Gray -depth $n -define png:color-type=0 -define png:bit-depth=$n
done
for n in 8 16; do
  png greyalpha$n -colorspace Gray -depth $n -define png:color-type=4 -define png:bit-depth=$n
  png rgb$n -alpha off -depth $n -define png:color-type=2 -define png:bit-depth=$n
  png rgba$n -depth $n -define png:color-type=6 -define png:bit-depth=$n
done
png rgba8_interlaced -depth 8 -define png:color-type=6 -interlace PNG
png rgb16_interlaced -alpha off -depth 16 -define png:color-type=2 -interlace PNG
png grey2_interlaced -alpha off -colorspace Gray -depth 2 -define png:color-type=0 \
  -define png:bit-depth=2 -interlace PNG
python3 - <<'PY'
from PIL import Image
rgba = Image.open("png_rgba8.png")
rgb = rgba.convert("RGB")
for bits in (1, 2, 4, 8):
    rgb.quantize(colors=1 << bits).save(f"png_palette{bits}.png", bits=bits)
rgba.quantize(colors=16, method=Image.Quantize.FASTOCTREE).save("png_palette4_trns.png", bits=4)
rgba.quantize(colors=64, method=Image.Quantize.FASTOCTREE).save("png_palette8_trns.png")
grey = rgb.convert("L")
grey.save("png_grey8_key.png", transparency=grey.getpixel((5, 3)))
rgb.save("png_rgb8_key.png", transparency=rgb.getpixel((5, 3)))
PY
convert png_palette8_trns.png -interlace PNG $nodate png8:png_palette8_trns_interlaced.png

# What independent decoders make of the files above: 8-bit red, green, blue,
# alpha, top row first, in FILE.rgba. FFmpeg for TGA (ImageMagick 6 ignores
# the row order mark), Pillow for grey with alpha TGA (FFmpeg reads it as
# 5-5-5), ImageMagick for BMP and PNG (libpng; it cuts 16-bit samples to 8
# bits where the reader rounds them).
for f in quad24_rle.tga ff_quad_rle.tga alpha32_rle.tga quad_palette.tga \
         quad_palette_rle.tga ff_quad_pal8_rle.tga quad_grey.tga quad_grey_rle.tga \
         ff_quad_gray_rle.tga; do
  ffmpeg -v error -y -i "$f" -f rawvideo -pix_fmt rgba "$f.rgba"
done
python3 - <<'PY'
from PIL import Image
for name in ("pil_greyalpha.tga", "pil_greyalpha_rle.tga"):
    open(name + ".rgba", "wb").write(Image.open(name).convert("RGBA").tobytes())
PY
for f in ramp8_rle.bmp quad8_rle.bmp rle8_escapes.bmp rle4_escapes.bmp png_*.png; do
  convert "$f" -depth 8 "RGBA:$f.rgba"
done

# grey (16 x 16): grey 128 everywhere, one component.
convert -size 16x16 xc:"rgb(128,128,128)" -colorspace Gray -quality 95 grey.jpg
# redblue (16 x 8): left half red, right half blue; 4:4:4 so colours do not
# bleed across the middle.
convert -size 8x8 xc:red -size 8x8 xc:blue +append -sampling-factor 1x1 -quality 95 redblue.jpg
convert -size 8x8 xc:red -size 8x8 xc:blue +append -sampling-factor 1x1 -quality 95 \
  -interlace Plane redblue_progressive.jpg
convert -size 8x8 xc:red -size 8x8 xc:blue +append -sampling-factor 1x1 -quality 95 \
  -colorspace CMYK redblue_cmyk.jpg

rm quad.png quad8.png alpha.png mono.png ramp.png pattern.png
