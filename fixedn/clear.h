// The six clearing routines: each strikes the stored members of one residue class, counts and
// reports them, applies the count criterion and ends the run when the set runs empty.
#pragma once
#include <cstdint>
#include <ctime>
#include <vector>

#include "engine/sieve_job.h"

// Throttle of the small-prime bitmap routines, which read the clock only every
// `nopsthreshold` work units. The sieve loop resets them at the start of a run.
extern time_t LastNow;
extern uint32_t nopsthreshold;
extern uint64_t nops;  // 64 bits: a batch's estimate can pass 2^32 before the check

// Batch of ClearBitmapSmallpMultivals: the first members (bit indexes, ascending) of the
// classes of one prime, cleared together when the next prime arrives. No fixed capacity.
extern std::vector<uint32_t> multivals_nums;
extern uint32_t multivals_lastprime;  // 0 = no batch
extern uint32_t multivals_add;

void ClearBitmap(int64_t k, int64_t p);
void ClearBitmapSmallp(int64_t k, int64_t p);
void ClearBitmapSmallpMultivals(int64_t k, int64_t p);
void ClearArray(int64_t k, int64_t p);
void ClearSparseArray(int64_t k, int64_t p);
void ClearHash(int64_t k, int64_t p);

// A hint ahead of clearing the class of k: brings the bitmap's word for k towards the cache
// (the thread that applies many primes' classes in a row meets each word cold).
void PrefetchClass(int64_t k);

// Starts a run with no batch pending.
void ResetMultivals();

// The set ran empty: while sieving, the message, the output file (its header claiming p, the
// prime that struck the last value) and SieveStop; otherwise "All values removed in this
// range." once. allRemovedBy keeps that prime for the sub-range's file.
extern int64_t allRemovedBy;
void allRemovedEnding(int64_t p);

// What follows removals, here and in the fixed-k sieves: the count criterion, then the
// all-removed ending when no value is left. True when no value is left. Inline: the clearing
// routines run it for every prime.
inline bool afterRemovals(int64_t p) {
  if (job.State == STATE_SIEVING && job.StopCriterion == STOP_AT_COUNT &&
      static_cast<int64_t>(job._nvalsleft) <= job.StopValue)
    job.State = STATE_STOPPED;
  if (job._nvalsleft != 0) return false;
  allRemovedEnding(p);
  return true;
}

// Appends "p=%qi divides %c=%qi" to the removed-values log, retrying until it opens.
void LogDeletedValue(int64_t p, char letter, int64_t value);
