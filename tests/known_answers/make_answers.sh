#!/usr/bin/env bash
# Remakes one line of answers.txt without the sieve: the oracle generator tries every prime up
# to the depth on every member number (GMP), and the line is printed for pasting.
#   make_answers.sh GENERATOR NAME MODE BASE N CHAIN-LENGTH VMIN VMAX DEPTH -- MORVANE-OPTIONS...
set -euo pipefail
gen=$1 name=$2 mode=$3 base=$4 n=$5 len=$6 vmin=$7 vmax=$8 depth=$9
shift 9
[ "${1:-}" = "--" ] && shift
out=$(mktemp)
trap 'rm -f "$out" "$out.depth"' EXIT
"$gen" "$mode" "$base" "$n" "$len" "$vmin" "$vmax" "$depth" >"$out" 2>"$out.depth"
count=$(wc -l <"$out")
sum=$(sha256sum <"$out" | cut -d' ' -f1)
echo "$name $count $sum $(cat "$out.depth") $*"
