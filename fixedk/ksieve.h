// The fixed-k work procedures the sieve loop calls once per prime: baby-step giant-step
// searches for base 2 and for other bases, and the short-range walk over one period of 2.
#pragma once
#include <cstdint>

#include "fixedk/kstrike.h"

// Set by the sieve loop at the start of every run; the first fixed-k call of the run then
// sets up its tables for the job's range and clears it.
extern bool fFirstTime;

// k·2^n ± 1 and k#·2^n ± 1 over a range wider than 2999, and b^n ± k for base 2.
void DoKSieve(const int64_t& p);
// The same for jobs whose smallest candidate can be a sieving prime.
void DoKSieve_tiny(const int64_t& p);
// k·2^n ± 1 and k#·2^n ± 1 over a range of at most 2999: a walk over one period of 2 mod p.
void DoKSieveShortRange(const int64_t& p);
void DoKSieveShortRange_tiny(const int64_t& p);
// k·b^n ± 1 and b^n ± k for a base other than 2.
void DoKSieveOtherBases(const int64_t& p);

// The tiny procedures' line after a prime that struck a candidate below maxtiny.
void ReportSmallest(const PrimeStrikes& s);

// What the short-range walk finds for p: the offset of one n that p strikes (the smallest
// walking forward, the largest walking backward; -1 when none) and the step between such
// offsets, the period of 2 mod p, or the width of the range when the walk covered the
// whole range without closing the period.
struct PeriodWalk {
  int64_t hit = -1;
  int64_t period = 0;
};
// Forward from k·2^minNum (used for p ≥ 2^32) and backward from k·2^maxNum (p < 2^32);
// kvalue = k mod p, non-zero. Without a range, the job's MinNum..MaxNum.
PeriodWalk WalkForward(int64_t kvalue, int64_t p, bool plus, int64_t minNum, int64_t maxNum);
PeriodWalk WalkBackward(int64_t kvalue, int64_t p, bool plus, int64_t minNum, int64_t maxNum);
PeriodWalk WalkForward(int64_t kvalue, int64_t p, bool plus);
PeriodWalk WalkBackward(int64_t kvalue, int64_t p, bool plus);
