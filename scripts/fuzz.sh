#!/usr/bin/env bash
# Builds every fuzz/*_fuzz.cpp with clang's libFuzzer and sanitizers, then runs each one for
# a bounded time (FUZZ_SECONDS in all, default 60) from its seed corpus fuzz/corpus/<name>/.
set -euo pipefail
cd "$(dirname "$0")/.."
shopt -s nullglob
sources=(fuzz/*_fuzz.cpp)
if [ ${#sources[@]} -eq 0 ]; then
  echo "fuzz: no targets"
  exit 0
fi
total=${FUZZ_SECONDS:-60}
per=$(( total / ${#sources[@]} ))
[ "$per" -ge 1 ] || per=1

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug \
  -DMORVANE_FUZZ=ON -DMORVANE_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "${JOBS:-2}" --target fuzz_targets

mkdir -p build-fuzz/artifacts
for src in "${sources[@]}"; do
  name=$(basename "$src" .cpp)
  echo "== fuzz $name for ${per}s"
  # New inputs go to a scratch folder; the checked-in seeds are only read.
  scratch=$(mktemp -d)
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds+=("fuzz/corpus/$name")
  log=build-fuzz/$name.log
  status=0
  "build-fuzz/fuzz/$name" -max_total_time="$per" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/"$name"- \
    "$scratch" "${seeds[@]}" >"$log" 2>&1 || status=$?
  rm -rf "$scratch"
  if [ "$status" -ne 0 ]; then
    cat "$log"
    echo "fuzz: $name failed (status $status; the input is in build-fuzz/artifacts/)"
    exit "$status"
  fi
  tail -n 6 "$log"
done
