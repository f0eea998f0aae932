#!/bin/sh
# Writes help2man's include file for pelarin-batch: a section for each subcommand with its own --help, so
# that the man page holds all of the batch tool's options.
# Usage: subcommands_h2m.sh PELARIN-BATCH OUT.h2m
set -eu
batch=$1
out=$2
{
  for command in figures scan fit; do
    echo "[$(echo "$command" | tr a-z A-Z) COMMAND]"
    echo ".nf"
    # roff: a backslash is written \e, and a line may not start with a dot or an apostrophe.
    "$batch" "$command" --help | sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"
    echo ".fi"
  done
} >"$out"
