#!/usr/bin/env bash
# Draws the viewer's 16 x 16 folder icon and writes it as folder_icon.jpg
# beside this script: a baseline JPEG of three full-resolution components
# (YCbCr, 1x1 sampling) with a restart marker after every block, whose
# JFIF segment is followed by an Exif segment (orientation 1) and a further
# application segment naming the picture. The build embeds the committed
# file; run this only to change the picture.
# Needs perl and cjpeg (libjpeg-turbo-progs).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The picture, as a binary PPM.
perl -e '
  my @white = (255, 255, 255);
  my @edge = (138, 98, 20);       # outline
  my @back = (232, 184, 64);      # back panel and tab
  my @front = (252, 214, 102);    # front flap
  my @light = (255, 238, 168);    # top edge of the front flap
  my @px = map { [map { [@white] } 0 .. 15] } 0 .. 15;
  sub rect { my ($x0, $y0, $x1, $y1, @c) = @_;
             for my $y ($y0 .. $y1) { $px[$y][$_] = [@c] for $x0 .. $x1 } }
  sub frame { my ($x0, $y0, $x1, $y1) = @_;
              rect($x0, $y0, $x1, $y0, @edge); rect($x0, $y1, $x1, $y1, @edge);
              rect($x0, $y0, $x0, $y1, @edge); rect($x1, $y0, $x1, $y1, @edge); }
  rect(1, 2, 6, 4, @back);  frame(1, 2, 6, 4);     # tab
  rect(1, 4, 14, 13, @back); frame(1, 4, 14, 13);  # back panel
  rect(1, 6, 14, 13, @front); frame(1, 6, 14, 13); # front flap
  rect(2, 7, 13, 7, @light);
  binmode STDOUT;
  print "P6\n16 16\n255\n";
  print pack("C*", map { @$_ } @$_) for @px;
' >"$work/folder.ppm"

cjpeg -quality 92 -baseline -dct int -sample 1x1 -restart 1B -outfile "$work/plain.jpg" \
  "$work/folder.ppm"

# Insert the Exif and the further segment right after cjpeg's JFIF segment.
perl -e '
  local $/; binmode STDIN; binmode STDOUT;
  my $jpeg = <STDIN>;
  substr($jpeg, 0, 4) eq "\xFF\xD8\xFF\xE0" or die "no JFIF segment first\n";
  my $after_app0 = 4 + unpack("n", substr($jpeg, 4, 2));
  sub segment { my ($marker, $body) = @_; pack("CCn", 0xFF, $marker, 2 + length $body) . $body }
  # Exif: a little-endian TIFF header and one IFD holding Orientation = 1.
  my $tiff = "II" . pack("v V", 42, 8)
           . pack("v", 1) . pack("v v V v v", 0x0112, 3, 1, 1, 0)
           . pack("V", 0);
  my $exif = segment(0xE1, "Exif\0\0" . $tiff);
  my $note = segment(0xEF, "treeviewer\0folder icon, 16 x 16\0");
  print substr($jpeg, 0, $after_app0), $exif, $note, substr($jpeg, $after_app0);
' <"$work/plain.jpg" >"$here/folder_icon.jpg"
