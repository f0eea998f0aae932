#!/usr/bin/env bash
# Runs every example of the batch tool in the README (the code-block lines that start with
# build/batch/pelarin-batch, the synopsis aside), each in a fresh folder standing in for /tmp/run: each must
# exit 0 and write every file the README names under /tmp/run (the images only where the renderer is built).
# Usage: readme_examples_test.sh PELARIN_BATCH WITH_IMAGES(0|1) README
set -euo pipefail
batch=$1
with_images=$2
readme=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mapfile -t examples < <(awk '/^```/ { inside = !inside; next } inside && /^build\/batch\/pelarin-batch / && !/\[/' "$readme")
[ ${#examples[@]} -gt 0 ] || { echo "the README holds no example"; exit 1; }
# Every file the README names under /tmp/run, in backquotes.
mapfile -t named < <(grep -o '`/tmp/run/[^`]*`' "$readme" | tr -d '`' | sort -u)

ran=0
for example in "${examples[@]}"; do
  run="$work/$ran/run"
  mkdir -p "$work/$ran"
  read -r -a args <<<"${example#build/batch/pelarin-batch }"
  args=("${args[@]//\/tmp\/run/$run}")
  if [ "$with_images" != 1 ]; then
    # No image renderer in this build: the example runs without its images.
    mapfile -t args < <(printf '%s\n' "${args[@]}" | grep -vx -- '--images')
  fi
  status=0
  "$batch" "${args[@]}" >"$work/$ran.out" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "exit $status: $example"
    cat "$work/$ran.out"
    exit 1
  fi
  echo "ran: $example"
  ran=$((ran + 1))
done

# Each file the README names was written by one of the examples.
for file in "${named[@]}"; do
  found=no
  for ((i = 0; i < ran; i++)); do
    [ -f "$work/$i/run/${file#/tmp/run/}" ] && found=yes
  done
  if [ $found = no ] && { [ "$with_images" = 1 ] || [[ "$file" != *.bmp ]]; }; then
    echo "the README names $file, but no example wrote it"
    exit 1
  fi
done
echo "every README example ran; ${#named[@]} files named, all written"
