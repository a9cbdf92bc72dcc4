#!/usr/bin/env bash
# Draws vandrix-discover.svg's shapes at each hicolor size with ImageMagick's own drawing
# (Debian's ImageMagick policy refuses to read SVG). Run it after changing the SVG.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for s in 16 22 24 32 48 64 128 256; do
  f=$(awk "BEGIN { print $s / 48 }")
  convert -size "${s}x${s}" xc:none -strokewidth 0 -draw "
    affine $f,0,0,$f,0,0
    fill '#f4f6f8' stroke '#3a4a5a' stroke-width 2 roundrectangle 3,5 45,43 4,4
    fill '#2f6db3' stroke none roundrectangle 3,5 45,13 3,3
    fill none stroke '#9fb2c6' stroke-width 1.5
    line 8,20 40,20  line 8,27 40,27  line 8,34 40,34  line 20,15 20,39
    fill none stroke '#d0452b' stroke-width 3 circle 33,31 41,31
    stroke-width 4 stroke-linecap round line 39,37 44,42
  " -define png:exclude-chunks=date,time "PNG32:$here/vandrix-discover-$s.png"
done
