#!/usr/bin/env bash
# Speed gate for CI: the twin sieve's primes per second against the previous landed commit,
# both built here and run side by side, must not drop by more than 5%.
#   scripts/bench-gate.sh [BUILD-DIR] [BASE-REVISION]
# The base defaults to HEAD~1 (BENCH_BASE overrides); BENCH_RUNS pairs are run (default 7),
# old and new alternating, each timed in processor seconds (user + system), so that other
# work on the machine stretches neither side; the gate takes the median of the pair ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(cd "${1:-build}" && pwd)
base=${2:-${BENCH_BASE:-HEAD~1}}
runs=${BENCH_RUNS:-7}
floor=0.95
job=(-t=2 -base=2 -n=1000 -kmin=1 -kmax=1000000 -osp=1000000000)
primes=50847534  # odd primes and 2 up to 10^9: the primes the job applies

new="$build/morvane"
[ -x "$new" ] || { echo "bench gate: no $new; build first"; exit 1; }
if ! rev=$(git rev-parse --verify -q "$base^{commit}"); then
  echo "bench gate: no base revision $base in this checkout (a shallow clone?); nothing to compare"
  exit 1
fi

work=$(mktemp -d)
cleanup() {
  git -C "$root" worktree remove --force "$work/src" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
git worktree add --detach -q "$work/src" "$rev"
cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DMORVANE_TESTS=OFF >/dev/null
cmake --build "$work/build" --target morvane -j "${JOBS:-2}" >/dev/null
old=$(find "$work/build" -maxdepth 3 -type f -name morvane -perm -u+x | head -n 1)
[ -n "$old" ] || { echo "bench gate: the base build made no morvane"; exit 1; }

# Processor seconds of one run of the job in a scratch folder.
cpu_seconds() {
  local dir="$work/run"
  rm -rf "$dir" && mkdir -p "$dir"
  local TIMEFORMAT='%U %S'
  local t
  t=$( { time (cd "$dir" && "$1" -w -wp=twins.txt "${job[@]}" >/dev/null 2>&1); } 2>&1 )
  [ -s "$dir/twins.txt" ] || { echo "bench gate: $1 wrote no file" >&2; exit 1; }
  awk '{ printf "%.3f", $1 + $2 }' <<<"$t"
}

ratios=()
echo "bench gate: twins k*2^1000+-1, k <= 10^6, to p = 10^9; base $(git rev-parse --short "$rev") against this build"
for ((i = 1; i <= runs; i++)); do
  t_old=$(cpu_seconds "$old")
  t_new=$(cpu_seconds "$new")
  ratio=$(awk -v a="$t_old" -v b="$t_new" 'BEGIN { printf "%.4f", a / b }')
  ratios+=("$ratio")
  awk -v p="$primes" -v a="$t_old" -v b="$t_new" -v r="$ratio" -v i="$i" \
    'BEGIN { printf "  pair %d: base %.1f M primes/s, this build %.1f M primes/s, ratio %s\n", i, p / a / 1e6, p / b / 1e6, r }'
done
median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
if awk -v m="$median" -v f="$floor" 'BEGIN { exit !(m >= f) }'; then
  echo "bench gate: median ratio $median (this build / base primes per second), at least $floor"
else
  echo "bench gate: median ratio $median is below $floor: the twin sieve got slower by more than 5%"
  exit 1
fi
