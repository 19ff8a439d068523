#!/usr/bin/env bash
# Remakes the twin_first_* lines of answers.txt from the published least k with k*2^n+-1 twin
# primes (OEIS A063983), each checked with gp: both numbers proven prime by isprime, and no
# smaller k giving two primes. Sieved to past the square root of the larger number, the one
# survivor of k = 1..a(n) must then be a(n) itself (the sieve keeps odd k only, so n is picked
# where a(n) is odd).
set -euo pipefail
# n and a(n), from the published table.
table="30:345 31:681 32:585 33:375 34:267 36:213 37:429 43:9 44:147"
for entry in $table; do
  n=${entry%%:*} k=${entry##*:}
  depth=$(echo "a=$k*2^$n; if(!isprime(a-1) || !isprime(a+1), error(\"not twins\")); \
    for(j=1, $k-1, if(ispseudoprime(j*2^$n-1) && ispseudoprime(j*2^$n+1), error(\"smaller k\"))); \
    print(sqrtint(a+1)+1)" | gp -q -f)
  next=$(echo "print(nextprime($depth+1)-1)" | gp -q -f)
  sum=$(printf '%s %s\n' "$k" "$n" | sha256sum | cut -d' ' -f1)
  echo "twin_first_$n 1 $sum $next -t=2 -base=2 -n=$n -kmin=1 -kmax=$k -osp=$depth"
done
