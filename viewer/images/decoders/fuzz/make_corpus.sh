#!/usr/bin/env bash
# Writes the fuzzer's seed files into corpus/ beside this script: tiny
# images of every format and of the main variants each decoder handles, made
# by the formats' own tools. The files are committed; run this only to
# change the seeds.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$here/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$out"/*
mkdir -p "$out"
cd "$work"

convert -size 5x3 xc: -seed 7 +noise Random -depth 8 rgb.ppm
convert rgb.ppm -colorspace Gray grey.pgm
convert rgb.ppm -alpha set -channel A -fx '(i+j)/8' +channel -depth 8 rgba.png
convert rgb.ppm -colors 4 +dither colours4.ppm

convert rgb.ppm -colors 2 +dither -type Palette bmp3:"$out/1bit.bmp"
convert rgb.ppm -colors 16 +dither -type Palette -compress None bmp3:"$out/4bit.bmp"
convert rgb.ppm -type Palette -compress RLE bmp3:"$out/8bit_rle.bmp"
convert rgb.ppm -define bmp:subtype=RGB565 bmp:"$out/16bit.bmp"
convert rgb.ppm -type TrueColor bmp3:"$out/24bit.bmp"
convert rgba.png bmp:"$out/32bit.bmp"
convert rgb.ppm -type TrueColor bmp2:"$out/os2.bmp"

pnmtopng -interlace colours4.ppm >"$out/palette_interlaced.png" 2>/dev/null
convert grey.pgm -strip -depth 2 -define png:color-type=0 -define png:bit-depth=2 "$out/grey2.png"
convert rgba.png -strip -depth 16 "$out/rgba16.png"

cjpeg -quality 80 -outfile "$out/baseline.jpg" rgb.ppm
cjpeg -quality 80 -progressive -outfile "$out/progressive.jpg" rgb.ppm
cjpeg -quality 80 -restart 1B -sample 1x1 -outfile "$out/restart.jpg" rgb.ppm
cjpeg -quality 80 -arithmetic -outfile "$out/arithmetic.jpg" rgb.ppm
cjpeg -quality 80 -outfile "$out/grey.jpg" grey.pgm
convert rgb.ppm -strip -colorspace CMYK -quality 80 "$out/cmyk.jpg"

opj_compress -i rgb.ppm -o "$out/rgb.j2k" -n 2 >/dev/null 2>&1
opj_compress -i rgba.png -o "$out/rgba_lossy.j2k" -n 2 -r 4 >/dev/null 2>&1

convert rgb.ppm -depth 5 -compress RLE tga:"$out/16bit_rle.tga"
convert rgb.ppm -type TrueColor tga:"$out/24bit.tga"
convert rgba.png -compress RLE tga:"$out/32bit_rle.tga"

convert rgb.ppm -strip -compress LZW "$out/lzw.tif"
tiffcp -t -w 16 -l 16 -c zip "$out/lzw.tif" "$out/tiled_zip.tif"
convert rgb.ppm -strip -type bilevel -compress Group4 "$out/g4.tif"
convert colours4.ppm -strip -type Palette -compress None "$out/palette.tif"
convert rgb.ppm -strip -colorspace CMYK -compress RLE "$out/cmyk.tif"
convert rgb.ppm -strip -compress JPEG -quality 80 "$out/jpeg.tif"
