#!/usr/bin/env bash
# The batch tool loads no Qt library for a study without images, and loads the image renderer when
# --images asks for it (when the window program, and so the renderer, is built), in each of its formats.
# Usage: loaded_libraries_test.sh PELARIN_BATCH WITH_IMAGES(0|1)
set -euo pipefail
batch=$1
with_images=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

LD_DEBUG=libs "$batch" all --dir "$dir" --no-save >/dev/null 2>"$dir/libs.log"
grep -q "libstdc++" "$dir/libs.log" || { echo "LD_DEBUG listed no library: the check sees nothing"; exit 1; }
if grep "libQt6" "$dir/libs.log" | head -3; then
  echo "a study without images loaded Qt"
  exit 1
fi

if [ "$with_images" = 1 ]; then
  LD_DEBUG=libs "$batch" all --dir "$dir" --no-save --images >/dev/null 2>"$dir/libs.log"
  grep -q "libQt6Gui" "$dir/libs.log" || { echo "--images did not load the image renderer"; exit 1; }
  for image in "Test_All junctions_ill.bmp" "Test_All junctions_dark.bmp"; do
    [ -s "$dir/Test_plr/$image" ] || { echo "no image $image"; exit 1; }
  done
  # The format option reaches the renderer: a PNG signature, an SVG document.
  "$batch" all --dir "$dir" --no-save --images=png >/dev/null
  head -c 8 "$dir/Test_plr/Test_All junctions_ill.png" | grep -q "PNG" || { echo "no PNG image"; exit 1; }
  "$batch" all --dir "$dir" --no-save --images=svg >/dev/null
  grep -q "<svg" "$dir/Test_plr/Test_All junctions_dark.svg" || { echo "no SVG image"; exit 1; }
fi
echo "Qt is loaded only for images."
