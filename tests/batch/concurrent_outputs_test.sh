#!/usr/bin/env bash
# Two runs started together on one missing output: one writes its whole file and exits 0, the other exits 3
# as if the file had been there. 40 pairs of figures, 10 of scans. Usage: concurrent_outputs_test.sh BATCH
set -uo pipefail
batch=$1 dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
race() {  # race N ARGS...: N pairs of pelarin-batch ARGS --summary FILE, each against one run alone
  "$batch" "${@:2}" --summary "$dir/$2.csv" >/dev/null 2>&1
  for i in $(seq "$1"); do
    "$batch" "${@:2}" --summary "$dir/$2$i.csv" >/dev/null 2>"$dir/err1" & a=$!
    "$batch" "${@:2}" --summary "$dir/$2$i.csv" >/dev/null 2>"$dir/err2" & b=$!
    wait $a; s=$?; wait $b; s="$s $?"
    [[ "$s" == "0 3" || "$s" == "3 0" ]] && cmp -s "$dir/$2$i.csv" "$dir/$2.csv" &&
      grep -q "$2$i.csv exists already" "$dir/err1" "$dir/err2" && ! ls "$dir" | grep -q 'tmp~' ||
      { echo "pair $i of $*: exit statuses $s"; cat "$dir/err1" "$dir/err2"; exit 1; }
  done
}
race 40 figures all
race 10 scan all --vary Rp1=10:1e6:400:log -j 1
echo "40 of 40 pairs of figures and 10 of 10 pairs of scans: exactly one run of each wrote the file."
