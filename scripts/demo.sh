#!/usr/bin/env bash
# Default demonstration: a twin-prime sieve k*2^1000+-1 from the command line, in a scratch folder.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
dir=demo-run
mkdir -p "$dir"
cd "$dir"
# The tester the sieve hands its file to, and a clean slate for its results.
ln -sf "$build/ordax/ordax" ordax
rm -f ordax_results.txt twins.txt.ordax
"$build/morvane" -w -wp=twins.txt -t=2 -base=2 -n=1000 -kmin=1 -kmax=10000000 -osp=100000000
echo "First lines of $dir/twins.txt:"
head -n 5 twins.txt
echo "Testing the survivors of $dir/twins.txt with ordax:"
./ordax twins.txt
