#!/usr/bin/env bash
# render-pictures.sh: renders the hand-written SVG pictures of the desktop program into the PNGs that
# src/gui/resources.qrc compiles in. Needs rsvg-convert (Debian package librsvg2-bin); run it after
# changing an SVG and commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")/../src/gui/resources"
rsvg-convert -w 256 -h 256 bexo-z0.svg -o bexo-z0.png
for size in 16 32 48; do
  rsvg-convert -w $size -h $size bexo-z0.svg -o bexo-z0-$size.png
done
rsvg-convert -w 160 -h 136 product.svg -o product.png
rsvg-convert -w 320 -h 272 product.svg -o product@2x.png
for name in user lock; do
  rsvg-convert -w 24 -h 24 $name.svg -o $name.png
  rsvg-convert -w 48 -h 48 $name.svg -o $name@2x.png
done
