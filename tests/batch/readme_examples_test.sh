#!/usr/bin/env bash
# Runs every example of the batch tool in the README (the code-block commands that start with
# build/batch/pelarin-batch, continued lines joined, the synopsis aside), each in a fresh folder that stands
# in for /tmp: each must exit 0 and, together, write every file the README names under /tmp/run. Without the
# image renderer (a build without Qt) an example runs without --images, and one that draws a --plot is left.
# Usage: readme_examples_test.sh PELARIN_BATCH WITH_IMAGES(0|1) README
set -euo pipefail
batch=$(realpath "$1")
with_images=$2
readme=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mapfile -t examples < <(awk '
  /^```/ { inside = !inside; next }
  !inside { next }
  pending != "" { line = pending " " $0; pending = "" }
  pending == "" && line == "" { line = $0 }
  /\\$/ { sub(/[[:space:]]*\\$/, "", line); pending = line; line = ""; next }
  line ~ /^build\/batch\/pelarin-batch / && line !~ /\[/ { print line }
  { line = "" }' "$readme")
[ ${#examples[@]} -gt 0 ] || { echo "the README holds no example"; exit 1; }
# Every file the README names under /tmp/run, in backquotes.
mapfile -t named < <(grep -o '`/tmp/run/[^`]*`' "$readme" | tr -d '`' | sort -u)

ran=0
for example in "${examples[@]}"; do
  if [[ "$with_images" != 1 && "$example" == *" --plot "* ]]; then
    echo "left (no image renderer in this build): $example"
    continue
  fi
  tmp="$work/$ran/tmp"
  mkdir -p "$tmp"
  read -r -a args <<<"${example#build/batch/pelarin-batch }"
  for i in "${!args[@]}"; do
    [[ "${args[$i]}" == /tmp/* ]] && args[$i]="$tmp/${args[$i]#/tmp/}"
  done
  if [ "$with_images" != 1 ]; then
    mapfile -t args < <(printf '%s\n' "${args[@]}" | grep -vE -- '^--images(=.*)?$')
  fi
  status=0
  (cd "$work/$ran" && "$batch" "${args[@]}") >"$work/$ran.out" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "exit $status: $example"
    tail -20 "$work/$ran.out"
    exit 1
  fi
  echo "ran: $example"
  ran=$((ran + 1))
done

# Each file the README names was written by one of the examples.
for file in "${named[@]}"; do
  found=no
  for ((i = 0; i < ran; i++)); do
    [ -f "$work/$i/tmp/${file#/tmp/}" ] && found=yes
  done
  if [ $found = no ] && { [ "$with_images" = 1 ] || [[ "$file" != *.bmp ]]; }; then
    echo "the README names $file, but no example wrote it"
    exit 1
  fi
done
echo "every README example ran ($ran); ${#named[@]} files named, all written"
