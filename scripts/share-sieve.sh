#!/usr/bin/env bash
# Shares one sieve file across several machines with GNU Parallel: sieve N ranges of p at
# once and merge the results, or split a finished file among machines for primality testing.
# Usage and the matching steps for a batch scheduler: docs/multi-machine.md.
set -euo pipefail

usage() {
  cat >&2 <<'TEXT'
Usage :
  share-sieve.sh sieve FILE COPIES RANGE [-- PARALLEL_OPTIONS...]
      Duplicate FILE into COPIES copies that each sieve RANGE more p's, sieve them at once
      through GNU Parallel (-j N here, -S host1,host2 over ssh), check that every copy
      reached its limit, and merge them into FILE.share/merge/Merged.mrv.
  share-sieve.sh test FILE TESTER SPEED[@HOST]... [-- PARALLEL_OPTIONS...]
      Split FILE among machines in proportion to their speeds (MHz) and run TESTER on each
      machine's file ({} marks the file in TESTER; without it the file is appended). With
      @HOST every file goes to its own host over ssh, otherwise all run here.
Remote hosts need rsync, as GNU Parallel moves the files with it.
Environment : MORVANE and MORVANE_SERVICES name the programs (default: this build's, or the
ones on PATH); on remote hosts MORVANE must name a program found there.
TEXT
  exit 2
}

here=$(cd "$(dirname "$0")/.." && pwd)
pick() {  # $1 = env value, $2 = program name
  if [ -n "$1" ]; then echo "$1"
  elif [ -x "$here/build/$2" ]; then echo "$here/build/$2"
  else echo "$2"; fi
}
MORVANE=$(pick "${MORVANE:-}" morvane)
MORVANE_SERVICES=$(pick "${MORVANE_SERVICES:-}" morvane-services)
command -v parallel >/dev/null || { echo "GNU Parallel is needed (Debian package 'parallel')" >&2; exit 1; }

# A fresh work folder beside FILE, holding a copy of it; prints the folder.
workdir() {  # $1 = file, $2 = suffix
  local work="$1.$2"
  [ -e "$work" ] && { echo "$work already exists: remove it or move it away first" >&2; exit 1; }
  mkdir -p "$work"
  cp "$1" "$work/"
  echo "$work"
}

sieve() {
  [ $# -ge 3 ] || usage
  local file=$1 copies=$2 range=$3
  shift 3
  [ "${1:-}" = "--" ] && shift
  [ -f "$file" ] || { echo "Cannot open file $file" >&2; exit 1; }
  local work name
  work=$(workdir "$file" share)
  name=$(basename "$file")
  # 1. Duplicate: copy i is named for the p it must sieve up to.
  (cd "$work" && "$MORVANE_SERVICES" duplicate "$name" "$copies" "$range")
  rm "$work/$name"
  # 2. Each copy in a folder of its own, so that every run has its own settings file.
  local copy
  for copy in "$work"/*_"$name"; do
    mkdir "$work/run_$(basename "$copy")"
    mv "$copy" "$work/run_$(basename "$copy")/"
  done
  # 3. Sieve every copy to its limit, in place. Remote hosts get the file and send it back.
  local remote=()
  case " $* " in *" -S"* | *" --sshlogin"* | *" --slf"* | *" --sshloginfile"*)
    remote=(--trc {} --wd ...) ;;
  esac
  (cd "$work" && parallel --will-cite --halt now,fail=1 "$@" "${remote[@]}" \
    --rpl '{limit} s:.*/::; s:_.*::' \
    "cd {//} && $(printf %q "$MORVANE") -c -ci={/} -cp={/} -osp={limit}" ::: run_*/*)
  # 4. A copy that stopped short of its range would leave a hole in the merged file.
  mkdir "$work/merge"
  for copy in "$work"/run_*/*_"$name"; do
    local limit header p
    limit=$(basename "$copy"); limit=${limit%%_*}
    header=$(head -n 1 "$copy"); p=${header%%:*}
    if [ "$p" -lt $((limit - 1)) ]; then
      echo "$copy was sieved only to $p, short of its limit $limit: not merged" >&2
      exit 1
    fi
    cp "$copy" "$work/merge/"
  done
  "$MORVANE_SERVICES" merge "$work/merge"
}

tests() {
  [ $# -ge 3 ] || usage
  local file=$1 tester=$2
  shift 2
  [ -f "$file" ] || { echo "Cannot open file $file" >&2; exit 1; }
  local speeds=() hosts=() machine
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    machine=$1
    shift
    speeds+=("${machine%%@*}")
    [[ $machine == *@* ]] && hosts+=("${machine#*@}")
  done
  [ "${1:-}" = "--" ] && shift
  [ ${#speeds[@]} -ge 1 ] || usage
  if [ ${#hosts[@]} -ne 0 ] && [ ${#hosts[@]} -ne ${#speeds[@]} ]; then
    echo "Give a host to every machine or to none" >&2
    exit 1
  fi
  local work name
  work=$(workdir "$file" test)
  name=$(basename "$file")
  (cd "$work" && "$MORVANE_SERVICES" split "$name" "${speeds[@]}")
  rm "$work/$name"
  local files=() i
  for i in "${!speeds[@]}"; do files+=("${name}_${speeds[$i]}_$((i + 1))"); done
  if [ ${#hosts[@]} -eq 0 ]; then
    (cd "$work" && parallel --will-cite --tag -j "${#files[@]}" "$@" "$tester" ::: "${files[@]}")
  else
    # Host groups pin each file to the machine whose speed it was sized for.
    local logins=() args=()
    for i in "${!hosts[@]}"; do
      logins+=("@m$i/${hosts[$i]}")
      args+=("${files[$i]}@m$i")
    done
    (cd "$work" && parallel --will-cite --tag --hgrp -S "$(IFS=,; echo "${logins[*]}")" "$@" \
      --transferfile {} --cleanup "$tester" ::: "${args[@]}")
  fi
}

case "${1:-}" in
  sieve) shift; sieve "$@" ;;
  test) shift; tests "$@" ;;
  *) usage ;;
esac
