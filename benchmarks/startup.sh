#!/usr/bin/env bash
# Start-up cost of the self-check program against an empty C++ program built
# with the compiler's default flags, side by side in one hyperfine run. Prints
# both medians and their ratio; the target is a ratio of at most 1.05.
# Usage: startup.sh <selfcheck> <empty program> [runs]
set -euo pipefail
selfcheck=$1 empty=$2 runs=${3:-2000}
csv=$(mktemp)
trap 'rm -f "$csv"' EXIT

hyperfine --shell=none --warmup 200 --runs "$runs" --style none --export-csv "$csv" "$selfcheck" "$empty"
# Columns: command, mean, stddev, median, ...; one row per command, in the order given.
awk -F, 'NR == 2 { selfcheck = $4 } NR == 3 { empty = $4 }
  END { printf "start-up median: selfcheck %.1f us, empty program %.1f us, ratio %.3f (target <= 1.05)\n",
               selfcheck * 1e6, empty * 1e6, selfcheck / empty }' "$csv"
