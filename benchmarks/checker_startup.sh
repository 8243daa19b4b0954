#!/usr/bin/env bash
# Cost of `detector-settings check` on the default settings file, from start to
# exit, against an empty statically linked program, and against Taplo checking
# the same file with the same schema. The machine's load drifts, so the two
# programs run side by side in several hyperfine rounds, alternating which goes
# first, all on one core (moving between cores costs a start-up more than
# either program's work), and the median of the rounds' ratios is reported.
# Targets: at most 1.3 times the empty program, and faster than Taplo.
# Usage: checker_startup.sh <detector-settings> <empty static program> [taplo] [rounds] [runs per round]
set -euo pipefail
checker=$1 empty=$2 taplo=${3:-} rounds=${4:-7} runs=${5:-300}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Both programs run as installed copies: a linker writes its output out of
# order, and the page cache then maps it in small pieces, which costs a
# start-up time that an installed program does not pay.
cp "$checker" "$work/detector-settings"
cp "$empty" "$work/empty"
checker=$work/detector-settings empty=$work/empty
"$checker" defaults >"$work/settings.toml"
"$checker" schema >"$work/schema.json"
check_command="$checker check $work/settings.toml"

# Medians in seconds of the given commands, one line each, in the order given.
medians() {
  taskset -c "$(($(nproc) - 1))" hyperfine --shell=none --warmup 30 --runs "$1" --style none --export-csv "$work/times.csv" "${@:2}" >/dev/null 2>&1
  awk -F, 'NR > 1 { print $4 }' "$work/times.csv"
}

for ((round = 0; round < rounds; ++round)); do
  if ((round % 2 == 0)); then
    mapfile -t m < <(medians "$runs" "$empty" "$check_command")
    echo "${m[1]} ${m[0]}"
  else
    mapfile -t m < <(medians "$runs" "$check_command" "$empty")
    echo "${m[0]} ${m[1]}"
  fi
done >"$work/rounds"
# Each round as "ratio check empty", sorted by ratio; the middle one is the median.
awk '{ printf "%.6f %s %s\n", $1 / $2, $1, $2 }' "$work/rounds" | sort -g | awk -v n="$rounds" '
  NR == int((n + 1) / 2) {
    printf "check start to exit against an empty static program, %d rounds: median ratio %.3f (target <= 1.3); " \
           "that round %.1f us against %.1f us\n", n, $1, $2 * 1e6, $3 * 1e6
  }'

if [[ -n $taplo ]]; then
  mapfile -t m < <(medians 10 "$check_command" "$taplo check --schema file://$work/schema.json $work/settings.toml")
  awk -v check="${m[0]}" -v taplo="${m[1]}" 'BEGIN {
    printf "taplo check on the same file and schema: median %.1f us; check takes %.4f of its time (target < 1)\n",
           taplo * 1e6, check / taplo }'
fi
