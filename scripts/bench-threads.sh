#!/usr/bin/env bash
# Whole-binary benchmark of the sieving threads: each job is run with -ot=1 and with -ot=N
# (2 unless BENCH_THREADS says otherwise), alternately, BENCH_ROUNDS times (3 by default);
# prints the median wall and CPU seconds of each and the wall ratio one/N, and checks that
# every file is identical to the one-thread file. The large-p jobs continue a file whose
# header claims depth 10^12 (or 10^9): the survivors of a short sieve, so the run measures
# the walk at that depth without sieving up to it first.
#   scripts/bench-threads.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
bin="$build/morvane"
threads=${BENCH_THREADS:-2}
rounds=${BENCH_ROUNDS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A starting file: the survivors of a sieve to 10^6 with the options given, restarted at the
# depth given.
start_file() {
  local name=$1 depth=$2 opts=$3
  # shellcheck disable=SC2086
  (cd "$work" && "$bin" -w -wp=made.txt $opts -osp=1000000 -ot=1 -own </dev/null >/dev/null 2>&1)
  sed "1s/^[0-9]*:/$depth:/" "$work/made.txt" >"$work/$name"
  rm -f "$work/made.txt" "$work/Morvane.ini"
}

start_file plus12.txt 1000000000000 "-t=0 -base=2 -n=1000 -kmin=1 -kmax=100000"
start_file twins12.txt 1000000000000 "-t=2 -base=2 -n=1000 -kmin=1 -kmax=100000"
start_file ten9.txt 1000000000 "-t=0 -base=10 -n=1000 -kmin=1 -kmax=1000000"

# Name, then the options of the run (without -ot); OUT stands for the output file.
jobs=(
  "k*2^1000+1, k<=10^5, 10^12 to +4*10^9|-c -ci=plus12.txt -cp=OUT -osp=1004000000000"
  "k*2^1000+-1 twins, k<=10^5, 10^12 to +4*10^9|-c -ci=twins12.txt -cp=OUT -osp=1004000000000"
  "k*10^1000+1, k<=10^6, 10^9 to 2*10^9|-c -ci=ten9.txt -cp=OUT -osp=2000000000"
  "3*2^n-1, n<=10^5 (fixed k), to 10^8|-w -wp=OUT -t=17 -base=2 -k=3 -nmin=1 -nmax=100000 -osp=100000000"
  "2*3^n+1, n<=10^5 (fixed k, base 3), to 10^8|-w -wp=OUT -t=16 -base=3 -k=2 -nmin=1000 -nmax=100000 -osp=100000000"
  "twins k<=3*10^6, n=1000, new file to 10^8|-w -wp=OUT -t=2 -base=2 -n=1000 -kmin=1 -kmax=3000000 -osp=100000000"
)

# "wall cpu" seconds of one run.
run() {
  local file=$1 count=$2 opts=${3//OUT/$1} t
  rm -f "$work/Morvane.ini"
  # shellcheck disable=SC2086
  t=$( { TIMEFORMAT='%R %U %S'; time (cd "$work" && "$bin" $opts -ot="$count" -own </dev/null >/dev/null 2>&1); } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.2f %.2f\n", a[1], a[2] + a[3] }'
}

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

printf '%-48s %8s %8s %8s %8s %7s %s\n' "job" "wall 1" "cpu 1" "wall $threads" "cpu $threads" "1/$threads" "files"
status=0
for job in "${jobs[@]}"; do
  name=${job%%|*}
  opts=${job#*|}
  w1=() c1=() wn=() cn=()
  same=identical
  for ((r = 0; r < rounds; ++r)); do
    read -r w c < <(run one.txt 1 "$opts"); w1+=("$w"); c1+=("$c")
    read -r w c < <(run many.txt "$threads" "$opts"); wn+=("$w"); cn+=("$c")
    cmp -s "$work/one.txt" "$work/many.txt" || same=DIFFERENT
  done
  mw1=$(printf '%s\n' "${w1[@]}" | median); mc1=$(printf '%s\n' "${c1[@]}" | median)
  mwn=$(printf '%s\n' "${wn[@]}" | median); mcn=$(printf '%s\n' "${cn[@]}" | median)
  ratio=$(awk -v a="$mw1" -v b="$mwn" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  printf '%-48s %8s %8s %8s %8s %7s %s\n' "$name" "$mw1" "$mc1" "$mwn" "$mcn" "$ratio" "$same"
  [ "$same" = identical ] || status=1
  rm -f "$work/one.txt" "$work/many.txt"
done
exit "$status"
