#!/usr/bin/env bash
# Makes the decoder tests' image files in the folder given as $1, each with
# the tools of the format (ImageMagick, netpbm, cjpeg, libtiff's tools,
# OpenJPEG's opj_compress), and beside each file its reference decode by a
# tool other than ours:
#   NAME.EXT        the image file
#   NAME.ref.pnm    the reference pixels (P5, P6 or P7 at 8 bits), or
#   NAME.ref_C.pgx  for JPEG 2000, one file per component as OpenJPEG decodes it
#   folder_icon.ref.pnm  djpeg's decode of the icon file given as $2
# Ends by touching $1/stamp.
set -euo pipefail
out=$1
icon=$(realpath "$2")
mkdir -p "$out"
cd "$out"
rm -f ./*.bmp ./*.png ./*.jpg ./*.j2k ./*.tga ./*.tif ./*.pnm ./*.pgx ./*.raw

# The source pictures: noise, so every pixel differs from its neighbours,
# 13 pixels wide so that 24-bit rows need padding.
convert -size 13x9 xc: -seed 3 +noise Random -depth 8 rich.ppm
convert -size 13x9 xc: -seed 5 +noise Random -depth 16 rich16.ppm
convert rich.ppm -colorspace Gray -depth 8 grey.pgm
convert rich.ppm -alpha set -channel A -fx '(i+j)/20' +channel -depth 8 alpha.png
convert rich16.ppm -alpha set -channel A -fx '(i+2*j)/30' +channel -depth 16 alpha16.png
for n in 2 4 16 200; do convert rich.ppm -colors $n +dither -depth 8 "colours$n.ppm"; done

ref() { convert "$1" -depth 8 "pam:${1%.*}.ref.pnm"; }

# BMP
convert rich.ppm -colors 2 +dither -type Palette bmp3:bmp_1.bmp
convert rich.ppm -colors 16 +dither -type Palette -compress None bmp3:bmp_4.bmp
convert colours200.ppm -type Palette -compress None bmp3:bmp_8.bmp
convert colours200.ppm -type Palette -compress RLE bmp3:bmp_8_rle.bmp
convert rich.ppm -define bmp:subtype=RGB555 bmp:bmp_16_555.bmp
convert rich.ppm -define bmp:subtype=RGB565 bmp:bmp_16_565.bmp
convert rich.ppm -type TrueColor bmp3:bmp_24.bmp
convert alpha.png bmp:bmp_32.bmp
convert rich.ppm -colors 16 +dither -type Palette bmp2:bmp_os2_4.bmp
convert rich.ppm -type TrueColor bmp2:bmp_os2_24.bmp
ppmtobmp -windows -bpp 8 colours200.ppm >bmp_ppmtobmp_8.bmp 2>/dev/null
for f in bmp_*.bmp; do ref "$f"; done

# PNG: every colour type at every bit depth it allows
png() {  # name, source, colour type, bit depth, extra convert options...
  local name=$1 src=$2 type=$3 depth=$4
  shift 4
  convert "$src" "$@" -depth "$depth" -define png:color-type="$type" \
    -define png:bit-depth="$depth" "$name.png"
}
png png_grey_1 rich.ppm 0 1 -colorspace Gray
png png_grey_2 rich.ppm 0 2 -colorspace Gray
png png_grey_4 rich.ppm 0 4 -colorspace Gray
png png_grey_8 rich.ppm 0 8 -colorspace Gray
png png_grey_16 rich16.ppm 0 16 -colorspace Gray
png png_greyalpha_8 alpha.png 4 8 -colorspace Gray
png png_greyalpha_16 alpha16.png 4 16 -colorspace Gray
png png_rgb_8 rich.ppm 2 8
png png_rgb_16 rich16.ppm 2 16
png png_rgba_8 alpha.png 6 8
png png_rgba_16 alpha16.png 6 16
png png_interlaced_rgb_8 rich.ppm 2 8 -interlace PNG
# netpbm picks the smallest palette depth for the colours it is given.
pnmtopng colours2.ppm >png_palette_1.png 2>/dev/null
pnmtopng colours4.ppm >png_palette_2.png 2>/dev/null
pnmtopng colours16.ppm >png_palette_4.png 2>/dev/null
pnmtopng colours200.ppm >png_palette_8.png 2>/dev/null
first=$(convert colours16.ppm -format '#%[hex:p{0,0}]' info:)
pnmtopng -transparent "$first" colours16.ppm >png_palette_trns.png 2>/dev/null
first=$(convert rich.ppm -format '#%[hex:p{0,0}]' info:)
pnmtopng -force -transparent "$first" rich.ppm >png_rgb_trns.png 2>/dev/null
convert grey.pgm -depth 2 grey2.pgm
pnmtopng -interlace grey2.pgm >png_interlaced_grey_2.png 2>/dev/null
for f in png_*.png; do ref "$f"; done

# JPEG: djpeg's decode is the reference (same library defaults as ours).
jpeg() {  # name, source, cjpeg options...
  local name=$1 src=$2
  shift 2
  cjpeg "$@" -outfile "$name.jpg" "$src"
  djpeg -pnm -outfile "$name.ref.pnm" "$name.jpg"
}
jpeg jpeg_420 rich.ppm -quality 90
jpeg jpeg_444 rich.ppm -quality 90 -sample 1x1
jpeg jpeg_422 rich.ppm -quality 90 -sample 2x1
jpeg jpeg_grey grey.pgm -quality 90
jpeg jpeg_greyscaled rich.ppm -quality 90 -grayscale
jpeg jpeg_progressive rich.ppm -quality 90 -progressive
jpeg jpeg_restart rich.ppm -quality 90 -sample 1x1 -restart 1B
jpeg jpeg_arithmetic rich.ppm -quality 90 -arithmetic
jpeg jpeg_optimized rich.ppm -quality 75 -optimize
# ImageMagick writes CMYK through libjpeg, which stores it as Adobe YCCK.
convert rich.ppm -colorspace CMYK -quality 95 jpeg_cmyk.jpg
convert jpeg_cmyk.jpg -colorspace sRGB -depth 8 pam:jpeg_cmyk.ref.pnm

# JPEG 2000 raw codestreams; the reference is OpenJPEG's own decode.
j2k() {  # name, opj_compress options...
  local name=$1
  shift
  # OpenJPEG's tools write a blank line to stderr even when all is well.
  opj_compress "$@" -o "$name.j2k" >/dev/null 2>&1
  opj_decompress -i "$name.j2k" -o "$name.ref.pgx" >/dev/null 2>&1
}
convert rich.ppm -depth 12 rich12.ppm
# 4-bit and signed samples come from raw planes.
convert rich.ppm -evaluate divide 17 -depth 8 -interlace plane rgb:rich4.raw
convert rich.ppm -depth 8 -interlace plane rgb:rich8.raw
j2k j2k_rgb_8 -i rich.ppm -n 3
j2k j2k_rgb_8_lossy -i rich.ppm -n 3 -r 8
j2k j2k_rgb_8_tiled -i rich.ppm -n 2 -t 8,8
j2k j2k_rgba_8 -i alpha.png -n 3
j2k j2k_rgb_16 -i rich16.ppm -n 3
j2k j2k_rgb_12 -i rich12.ppm -n 3
j2k j2k_rgb_4 -i rich4.raw -F 13,9,3,4,u -n 3
j2k j2k_rgb_8_signed -i rich8.raw -F 13,9,3,8,s -n 3
j2k j2k_grey_8 -i grey.pgm -n 3

# TGA
convert rich.ppm -type TrueColor tga:tga_24.tga
convert rich.ppm -type TrueColor -compress RLE tga:tga_24_rle.tga
convert rich.ppm -type TrueColor -orient TopLeft tga:tga_24_top.tga
convert alpha.png tga:tga_32.tga
convert alpha.png -compress RLE tga:tga_32_rle.tga
convert rich.ppm -depth 5 tga:tga_16.tga
convert rich.ppm -depth 5 -compress RLE tga:tga_16_rle.tga
ppmtotga -rgb rich.ppm >tga_ppmtotga_rle.tga 2>/dev/null
ppmtotga -rgb -norle rich.ppm >tga_ppmtotga.tga 2>/dev/null
# ImageMagick keeps a TGA's rows in file order and only notes the origin;
# -auto-orient applies it.
for f in tga_*.tga; do convert "$f" -auto-orient -depth 8 "pam:${f%.*}.ref.pnm"; done

# TIFF
convert rich.ppm -compress None tiff_rgb_8.tif
tiffcp -c lzw:2 tiff_rgb_8.tif tiff_rgb_8_lzw.tif
tiffcp -c zip tiff_rgb_8.tif tiff_rgb_8_zip.tif
tiffcp -c packbits tiff_rgb_8.tif tiff_rgb_8_packbits.tif
tiffcp -t -w 16 -l 16 tiff_rgb_8.tif tiff_rgb_8_tiled.tif
tiffcp -p separate tiff_rgb_8.tif tiff_rgb_8_planar.tif
convert rich.ppm -compress JPEG -quality 90 tiff_rgb_8_jpeg.tif
convert rich16.ppm -depth 16 -compress None tiff_rgb_16.tif
convert grey.pgm -compress None tiff_grey_8.tif
convert rich16.ppm -colorspace Gray -depth 16 -compress LZW tiff_grey_16.tif
convert rich.ppm -type bilevel -compress Group4 tiff_bilevel_g4.tif
convert rich.ppm -type bilevel -depth 1 -compress None tiff_bilevel.tif
convert colours16.ppm -type Palette -compress None tiff_palette_4.tif
convert colours200.ppm -type Palette -compress None tiff_palette_8.tif
convert alpha.png -compress LZW tiff_rgba_8.tif
convert rich.ppm -colorspace CMYK -compress None tiff_cmyk_8.tif
for f in tiff_*.tif; do ref "$f"; done
convert tiff_cmyk_8.tif -colorspace sRGB -depth 8 pam:tiff_cmyk_8.ref.pnm

djpeg -pnm -outfile folder_icon.ref.pnm "$icon"

# Narrow images for the row pitch of the image layer.
convert rich.ppm -crop 5x3+0+0 +repage -type TrueColor bmp3:width_5.bmp
convert rich.ppm -crop 4x3+0+0 +repage -define png:color-type=2 width_4.png
for f in width_*; do ref "$f"; done

rm -f rich*.ppm rich*.raw grey*.pgm colours*.ppm alpha*.png
touch stamp
