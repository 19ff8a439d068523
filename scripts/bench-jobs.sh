#!/usr/bin/env bash
# Whole-binary benchmark: the jobs where speed matters most, each run to p = 10^9 in a scratch
# folder, with the CPU time (user + system) of each. Given a second binary (an older build),
# runs each job with both, one after the other, prints the ratio new/old and checks that the
# two files are identical, so a speed change is measured in one run and never changes a result.
#   scripts/bench-jobs.sh [BUILD_DIR] [OLD_BINARY]     (BENCH_JOBS_DEPTH=P sets the depth)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
new="$build/morvane"
old=${2:-}
[ -z "$old" ] || old=$(cd "$(dirname "$old")" && pwd)/$(basename "$old")
depth=${BENCH_JOBS_DEPTH:-1000000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Name, then the options of the job (without the file name and the stop point).
jobs=(
  "k*10^1000+1, k<=10^6|-t=0 -base=10 -n=1000 -kmin=1 -kmax=1000000"
  "3*2^n-1, 1000<=n<=10^5 (fixed k)|-t=17 -base=2 -k=3 -nmin=1000 -nmax=100000"
)

# CPU seconds of one run of binary $1 writing file $2 with options $3.
cpu_seconds() {
  local bin=$1 file=$2 opts=$3 t
  rm -f "$work/Morvane.ini"  # each run starts from the defaults
  # shellcheck disable=SC2086
  t=$( { TIMEFORMAT='%U %S'; time (cd "$work" && "$bin" -w -wp="$file" $opts -osp="$depth" -own >/dev/null 2>&1); } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.2f", a[1] + a[2] }'
}

printf '%-40s %10s' "job (p up to $depth)" "CPU s"
[ -z "$old" ] || printf ' %10s %9s %s' "old CPU s" "new/old" "files"
printf '\n'
for job in "${jobs[@]}"; do
  name=${job%%|*}
  opts=${job#*|}
  t_new=$(cpu_seconds "$new" new.txt "$opts")
  printf '%-40s %10s' "$name" "$t_new"
  if [ -n "$old" ]; then
    t_old=$(cpu_seconds "$old" old.txt "$opts")
    same=identical
    cmp -s "$work/new.txt" "$work/old.txt" || same=DIFFERENT
    ratio=$(awk -v a="$t_new" -v b="$t_old" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    printf ' %10s %9s %s' "$t_old" "$ratio" "$same"
    [ "$same" = identical ] || status=1
  fi
  printf '\n'
  rm -f "$work"/*.txt "$work"/*.txt~ "$work"/Morvane.ini
done
exit "${status:-0}"
