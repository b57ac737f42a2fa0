#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Draws the search window's banner, banner.jpg: 215 x 85, baseline (not
# progressive) JPEG with three colour components, as the window's picture
# slot expects. Everything in it is drawn here from plain shapes and the
# DejaVu Sans font; rerun after changing it and commit the picture.
# Needs ImageMagick (convert) and fonts-dejavu-core.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/banner.jpg}

convert -size 215x85 gradient:'#ffffff-#dce9f7' \
  -fill none -stroke '#e8731c' -strokewidth 5 -draw 'circle 36,36 36,56' \
  -stroke '#e8731c' -strokewidth 8 -draw 'line 52,52 66,68' \
  -stroke none -fill '#1d4f91' -font DejaVu-Sans-Bold -pointsize 28 \
  -annotate +76+44 'docseek' \
  -fill '#5b6b7d' -font DejaVu-Sans -pointsize 11 \
  -annotate +78+64 'document search' \
  -colorspace sRGB -type TrueColor -interlace none -sampling-factor 2x2,1x1,1x1 \
  -strip -quality 90 "jpeg:$out"
