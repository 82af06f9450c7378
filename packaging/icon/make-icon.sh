#!/usr/bin/env bash
# Renders the program's icon from podiant-server.mvg into podiant-server.ico
# (256, 48, 32, 24 and 16 pixels). The .ico is kept in the repository beside
# its source, so that building the Windows program needs no image tools; run
# this again after a change to the drawing and commit both.
# Needs ImageMagick 6 (Debian's imagemagick package).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# The real program, not whatever "convert" is first on the PATH.
convert=convert-im6.q16
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$convert" -size 256x256 -background none "mvg:$here/podiant-server.mvg" -depth 8 -strip "$work/256.png"
images=("$work/256.png")
for size in 48 32 24 16; do
  "$convert" "$work/256.png" -filter Lanczos -resize "${size}x${size}" -depth 8 -strip "$work/$size.png"
  images+=("$work/$size.png")
done
"$convert" "${images[@]}" "$work/icon.ico"
mv "$work/icon.ico" "$here/podiant-server.ico"
echo "wrote $here/podiant-server.ico"
