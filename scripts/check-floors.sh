#!/usr/bin/env bash
# Every project include must point at the file's own folder or a floor below it. The build
# already refuses an upward include (each library sees only what it links); this check names
# the offending line without a build, and also catches "../" paths.
set -euo pipefail
cd "$(dirname "$0")/.."

# What each folder may include besides itself. engine/sieve_forms.h is the form vocabulary;
# engine/sieve_job.h is the job record, the one documented edge from fixedn/fixedk into engine/.
declare -A allowed=(
  [common]=""
  [primes]="common"
  [kernels]="primes common"
  [fixedn]="kernels primes common engine/sieve_job.h engine/sieve_forms.h"
  [fixedk]="fixedn kernels primes common engine/sieve_job.h engine/sieve_forms.h"
  [engine]="fixedk fixedn kernels primes common"
  [services]="common engine/sieve_forms.h"
  [console]="services engine fixedk fixedn kernels primes common"
  [ordax]="common engine/sieve_forms.h"
)
# Inside engine/, the vocabulary and the record stand below the rest of the folder.
declare -A allowedFile=(
  [engine/sieve_forms.h]=""
  [engine/sieve_forms.cpp]=""
  [engine/sieve_job.h]="primes common engine/sieve_forms.h"
  [engine/sieve_job.cpp]="primes common engine/sieve_forms.h"
  # The program on top of the services; its "info" reads a file with the engine's reader.
  [services/cli/morvane_services.cpp]="services common engine/sieve_forms.h engine/file_info.h"
)

status=0
for folder in "${!allowed[@]}"; do
  while IFS= read -r file; do
    if [[ -v allowedFile[$file] ]]; then
      ok="${allowedFile[$file]} $file ${file%.*}.h"
    else
      ok="${allowed[$folder]} $folder"
    fi
    while IFS= read -r line; do
      target=$(sed -E 's/^[^"]*"([^"]*)".*/\1/' <<<"$line")
      pass=false
      if [[ $target != */* ]]; then
        [[ -e $(dirname "$file")/$target ]] && pass=true  # a sibling without a folder
      elif [[ $target != *..* ]]; then
        for a in $ok; do
          if [[ $target == "$a" || $target == "$a"/* ]]; then pass=true; break; fi
        done
      fi
      if ! $pass; then
        echo "floors: $file includes \"$target\", which is not below it"
        status=1
      fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
  done < <(find "$folder" -name '*.h' -o -name '*.cpp' | sort)
done
[ "$status" -eq 0 ] && echo "floors: every include points down"
exit "$status"
