#!/bin/sh
# Renders the button images, the about window's glyph and picture, and the 48 px program icon
# from their SVG sources (ImageMagick). The results are kept in the repository; run this only
# after changing a source.
set -e
cd "$(dirname "$0")"

# A disabled form: the same shape in light grey.
disabled() {
  convert "$1" -colorspace Gray -fill '#b4b4b4' -colorize 45% \
    -channel A -evaluate multiply 0.9 +channel -colorspace sRGB -depth 8 "$2"
}

for name in add remove ok; do
  convert -background none "$name.svg" -depth 8 "$name.png"
  disabled "$name.png" "$name-disabled.png"
done

# The about button's glyph: normal and disabled image side by side in one bitmap.
convert -background none close-glyph.svg -depth 8 /tmp/vantrel-glyph.png
disabled /tmp/vantrel-glyph.png /tmp/vantrel-glyph-disabled.png
convert /tmp/vantrel-glyph.png /tmp/vantrel-glyph-disabled.png -background none +append +repage \
  -depth 8 close-glyph.png
rm -f /tmp/vantrel-glyph.png /tmp/vantrel-glyph-disabled.png

convert logo.svg -background white -flatten -quality 95 -sampling-factor 1x1 logo.jpg
convert -background none ../icons/vantrel.svg -depth 8 ../icons/vantrel-48.png
