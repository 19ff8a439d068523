// Striking n values from the bitmap for one prime, shared by every fixed-k sieve: the
// candidate-equal-to-p exception, the removed-values log, and what follows a prime's
// removals (verification, report, count criterion, all-removed ending).
#pragma once
#include <cstdint>

#include "engine/sieve_job.h"
#include "fixedk/kform.h"
#include "fixedn/array_store.h"
#include "fixedn/bitmap.h"
#include "fixedn/clear.h"

// The fixed-k sieves log removals made by primes above this (the clearing routines of the
// fixed-n sieves use 2^32).
constexpr int64_t kLogRemovalsAbove = 1000000;

// What one prime struck.
struct PrimeStrikes {
  int64_t lastN = -1;        // the last n struck; -1 when none
  int64_t smallestN = -1;    // the smallest n struck
  bool any() const { return lastN >= 0; }
  void Add(int64_t n) {
    lastN = n;
    if (smallestN < 0 || n < smallestN) smallestN = n;
  }
};

// Removes n from the hash or array store (the sets too sparse for a bitmap); true when it
// was still there.
bool RemoveFromSparseStore(int64_t n);

// Removes n from whichever store holds the candidates; true when it was still there.
inline bool RemoveCandidate(int64_t n) {
  if (!job.fUseBitMap) return RemoveFromSparseStore(n);
  const uint32_t i = static_cast<uint32_t>(n - job.MinNum);
  if (!GetBit(i)) return false;
  ClearBit(i);
  return true;
}

// Strikes the candidate n = MinNum + offset for p, unless it is already gone or its number
// is p itself.
inline void StrikeOffset(const KForm& form, uint32_t offset, int64_t p, PrimeStrikes& s) {
  const int64_t n = job.MinNum + offset;
  if (CandidateIsP(form, n, p) || !RemoveCandidate(n)) return;
  --job._nvalsleft;
  s.Add(n);
  if (job.LogDeleted && p > kLogRemovalsAbove) LogDeletedValue(p, 'n', n);
}

// Strikes the offsets first, first + step, ... of the range one at a time.
void StrikeClass(const KForm& form, uint32_t first, uint32_t step, int64_t p, PrimeStrikes& s);

// After a prime's removals: Verify the last n struck (fVerify), report it when report is
// true, apply the count criterion, and end the run or the sub-range when no value is left
// (raising SieveStop while sieving).
void FinishPrime(int64_t p, const PrimeStrikes& s, bool report);

// Whether the rate history's newest sample is from an earlier second than now (reports are
// made at most once per second).
bool ReportDue(long now);
