#!/usr/bin/env bash
# The Debian packages a fresh machine needs to build, test and demonstrate Morvane: the one
# list. As root the missing ones are installed; otherwise the one command to run is printed
# and the script fails, so `make demo` and `make test` stop before a confusing build error.
set -euo pipefail

packages=(
  build-essential cmake make           # compilers and the build
  libgtest-dev libgmock-dev            # tests
  libbenchmark-dev                     # benchmarks
  libgmp-dev                           # the tester and the tests' oracle
  libtbb-dev                           # the tester's parallel pipeline
  pari-gp                              # the independent prover of the tests
  clang libclang-rt-14-dev             # the second compiler and the fuzz targets
  parallel                             # the multi-machine recipe and its test
  man-db                               # rendering the manual pages
)

need=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || need+=("$pkg")
done
[ ${#need[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
else
  echo "Missing packages. Run this, then try again:"
  echo "  sudo apt-get install ${need[*]}"
  exit 1
fi
