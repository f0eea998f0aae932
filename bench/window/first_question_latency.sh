#!/usr/bin/env bash
# From the menu keystroke that starts "All junctions without Rl" to its first question box, in the window
# program under Xvfb, against the whole headless process of the same study, alternating runs.
# Usage: bench/window/first_question_latency.sh [build-dir] [runs]   (needs xvfb-run and xdotool)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
runs=${2:-8}
watch=$(mktemp -d)/map_watch
gcc -O2 "$here/map_watch.c" -o "$watch" -lX11
export build runs watch
xvfb-run -a -s "-screen 0 1366x768x24" bash -c '
  for ((i = 1; i <= runs; i++)); do
    folder=$(mktemp -d); cd "$folder"
    "$build/app/qt/pelarin" >/dev/null 2>&1 &
    program=$!
    window=$(xdotool search --sync --onlyvisible --name "Pelarin" | head -1)
    sleep 1.5
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    xdotool windowfocus "$window"
    xdotool key alt+c; sleep 0.3; xdotool key a; sleep 0.3
    echo -n "window to the first question: "; "$watch" xdotool key Return
    sleep 0.5; kill "$program"; wait "$program" 2>/dev/null || true
    folder=$(mktemp -d); cd "$folder"
    start=$(date +%s%N); "$build/batch/pelarin-batch" all >/dev/null 2>&1; end=$(date +%s%N)
    echo "headless process: $(( (end - start) / 1000000 )) ms"
  done'
