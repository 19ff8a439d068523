// The base-2 fixed-k sieve: k·2^n ± 1 over a range of n, one baby-step giant-step
// discrete-logarithm search per prime instead of a pass over the whole range.
#pragma once
#include <cstdint>

// Runs the whole sieve of the current job from `firstp` to `maxp` (capped at 2^48 − 1), a
// stop, or the prime 701 when starting below it (then `firstp` becomes 702 and the caller
// calls again, so the spacing is taken from the survivors of the small primes). Makes its
// own saves (timed ones only when fTimedSaves) and its own final file.
void Base2KSieve(bool fTimedSaves);

struct KSearchContext;
// The walk from `firstp` on, run on several threads, when the sieve loop installs one (from
// the second call on): it walks instead of the loop below and returns true.
extern bool (*ThreadedBase2KWalk)(const KSearchContext& ctx, bool fTimedSaves);

// Benchmark-only switches: false turns the quadratic-residue skip, or the power-residue
// screening that confines each search to one class of n, off.
extern bool fBase2KSieveResidueSkip;
extern bool fBase2KSievePowerResidue;

// The candidates' common spacing d: the gcd of the survivors' offsets, the differences
// taken from offset 0 (1 when no survivor lies above offset 0, or the set is not a bitmap);
// then reduced to at most 48 (a result above 48 could not be reduced).
int CommonSpacing();
int ReduceSpacing(int d);
