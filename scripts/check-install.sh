#!/usr/bin/env bash
# Installs a build into a scratch root and checks that the three programs and their three
# manual pages arrive, and that every page renders without a warning.
#   scripts/check-install.sh [BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
make install BUILD="$build" DESTDIR="$root" >/dev/null
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
status=0
for program in morvane ordax morvane-services; do
  [ -x "$root$prefix/bin/$program" ] || { echo "not installed: $prefix/bin/$program"; status=1; }
done
for page in morvane ordax morvane-services; do
  file="$root$prefix/share/man/man1/$page.1"
  if [ ! -f "$file" ]; then
    echo "not installed: $prefix/share/man/man1/$page.1"
    status=1
    continue
  fi
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  text=$(MANWIDTH=80 man -l "$file" 2>/dev/null)
  if [ -n "$warnings" ] || ! grep -q "EXIT STATUS" <<<"$text"; then
    echo "man -l $page.1 does not render cleanly:"
    echo "$warnings"
    status=1
  fi
done
(cd "$root" && "$root$prefix/bin/morvane" -ha >/dev/null) || { echo "installed morvane does not run"; status=1; }
[ $status = 0 ] && echo "install: 3 programs and 3 manual pages under $prefix, each page renders"
exit $status
