#!/usr/bin/env bash
# Whole-process comparison, side by side in one hyperfine run: ngspice -b solving the stack's three DC
# sweeps (netlist written by pelarin_spice_netlist, same cell, same point counts) against the batch tool's
# studies and its exact figures of the same stack. Installs hyperfine and ngspice when they are missing.
# Usage: bench/compare_with_ngspice.sh [build-dir] [NAME=VALUE...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true
missing=()
for p in hyperfine ngspice; do command -v "$p" >/dev/null || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
cmake --build "$build" --target pelarin-batch pelarin_spice_netlist >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/pelarin_spice_netlist" "$@" >"$work/stack.cir"
sets=()
for s in "$@"; do sets+=(--set "$s"); done
batch="$build/batch/pelarin-batch"
cd "$work"
hyperfine -N -w 3 -r 30 \
  "ngspice -b $work/stack.cir" \
  "$batch all --dir $work --overwrite ${sets[*]}" \
  "$batch figures all ${sets[*]}" \
  "$batch independent --dir $work --overwrite ${sets[*]}" \
  "$batch two --dir $work --overwrite ${sets[*]}" \
  "$batch one --dir $work --overwrite ${sets[*]}"
