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
Programs : morvane, morvane-services and ordax are taken from beside this script, from this
checkout's build/, or from PATH (in that order), and the script says which it uses; MORVANE,
MORVANE_SERVICES and ORDAX name others. On remote hosts MORVANE must name a program found there.
TEXT
  exit 2
}

scripts=$(cd "$(dirname "$0")" && pwd)
here=$(cd "$scripts/.." && pwd)
# A program named by the environment, else the one beside this script, in this checkout's
# build/ (ordax in build/ordax/ too), or on PATH; checked before anything is created.
pick() {  # $1 = env value, $2 = program name; prints the path, or nothing when not found
  local found
  if [ -n "$1" ]; then
    found=$(command -v "$1" || true)
  else
    for found in "$scripts/$2" "$here/build/$2" "$here/build/$2/$2" "$(command -v "$2" || true)"; do
      [ -n "$found" ] && [ -f "$found" ] && [ -x "$found" ] && break
      found=""
    done
  fi
  echo "$found"
}
need() {  # $1 = variable name, $2 = program name; sets the variable to the program's path
  local path
  path=$(pick "${!1:-}" "$2")
  if [ -z "$path" ]; then
    echo "Cannot find $2: build it (make) or name it with $1=..." >&2
    exit 1
  fi
  printf -v "$1" '%s' "$path"
  echo "Using $2: $path" >&2
}
command -v parallel >/dev/null || { echo "GNU Parallel is needed (Debian package 'parallel')" >&2; exit 1; }

# A fresh work folder beside FILE, holding a copy of it. A step that fails moves the folder
# aside (nothing sieved is lost), so that a retry starts clean.
work=""
finished=false
moveAsideOnFailure() {
  if ! $finished && [ -n "$work" ] && [ -d "$work" ]; then
    local aside="$work.failed.$$"
    mv "$work" "$aside" && echo "A step failed: the work folder is kept as $aside" >&2
  fi
}
trap moveAsideOnFailure EXIT
workdir() {  # $1 = file, $2 = suffix; sets work
  work="$1.$2"
  if [ -e "$work" ]; then
    echo "$work already exists: remove it or move it away first" >&2
    work=""
    exit 1
  fi
  mkdir -p "$work"
  cp "$1" "$work/"
}

sieve() {
  [ $# -ge 3 ] || usage
  local file=$1 copies=$2 range=$3
  shift 3
  [ "${1:-}" = "--" ] && shift
  [ -f "$file" ] || { echo "Cannot open file $file" >&2; exit 1; }
  if head -c 4 "$file" | grep -q '^ABC '; then
    echo "$file has a product-form (ABC) header: such files are not duplicated or merged; sieve it on one machine" >&2
    exit 1
  fi
  need MORVANE morvane
  need MORVANE_SERVICES morvane-services
  local name
  workdir "$file" share
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
  finished=true
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
  need MORVANE_SERVICES morvane-services
  # Here, a tester named plainly "ordax" is the one found as above.
  if [ ${#hosts[@]} -eq 0 ] && [ "${tester%% *}" = ordax ]; then
    need ORDAX ordax
    tester="$(printf %q "$ORDAX")${tester#ordax}"
  fi
  local name
  workdir "$file" test
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
  finished=true
}

case "${1:-}" in
  sieve) shift; sieve "$@" ;;
  test) shift; tests "$@" ;;
  *) usage ;;
esac
