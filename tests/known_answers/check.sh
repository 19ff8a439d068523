#!/usr/bin/env bash
# One known answer: runs morvane on the job of line NAME of the answers file in a scratch
# folder and compares the survivor count, the checksum of the survivor lines and the depth the
# header claims.   check.sh MORVANE ANSWERS-FILE NAME
set -euo pipefail
morvane=$1 answers=$2 name=$3
line=$(grep -E "^$name " "$answers") || { echo "no answer named $name in $answers"; exit 1; }
read -r _ count sum depth options <<<"$line"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
# shellcheck disable=SC2086 # the options are words on purpose
"$morvane" -w -wp=answer.txt $options >run.log 2>&1 || { cat run.log; echo "morvane failed"; exit 1; }
got_count=$(tail -n +2 answer.txt | wc -l)
got_sum=$(tail -n +2 answer.txt | sha256sum | cut -d' ' -f1)
got_depth=$(head -1 answer.txt | sed 's|.*//Morvane:||' | cut -d: -f1)
status=0
[ "$got_count" = "$count" ] || { echo "$name: $got_count survivors, known answer $count"; status=1; }
[ "$got_sum" = "$sum" ] || { echo "$name: survivor lines differ from the known answer (sha256 $got_sum)"; status=1; }
[ "$got_depth" = "$depth" ] || { echo "$name: header claims depth $got_depth, known answer $depth"; status=1; }
[ $status = 0 ] && echo "$name: $count survivors to $depth as known"
exit $status
