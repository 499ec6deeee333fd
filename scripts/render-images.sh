#!/bin/sh
# Renders the program's images from their SVG sources in ui/images/ into the PNG files that
# the program carries as Qt resources (the program reads no SVG at run time). Run it after
# changing an SVG; needs rsvg-convert (Debian librsvg2-bin), which the build does not.
set -eu
cd "$(dirname "$0")/../ui/images"
for svg in tool*.svg; do rsvg-convert -w 24 -h 24 -o "${svg%.svg}.png" "$svg"; done
for svg in tray*.svg; do rsvg-convert -w 32 -h 32 -o "${svg%.svg}.png" "$svg"; done
for size in 16 32 48 256; do rsvg-convert -w $size -h $size -o "tvr-$size.png" tvr.svg; done
