// The short-range fixed-k work procedure: for a range of at most 2999 values it is cheaper
// to walk k·2^n mod p one n at a time over one period of 2 mod p than to build a table.
// Below 2^32 it walks down from MaxNum by halvings, above it up from MinNum by doublings.
#include <cstdint>
#include <ctime>

#include "engine/sieve_job.h"
#include "fixedk/fixed_multiplier.h"
#include "fixedk/kform.h"
#include "fixedk/ksieve.h"
#include "fixedk/kstrike.h"
#include "fixedn/bitmap.h"
#include "fixedn/sieve_slots.h"
#include "kernels/finders.h"
#include "kernels/modarith.h"

namespace {

KForm oldForm;  // set up on the first prime of a run

constexpr int64_t kWalkBackwardBelow = int64_t{1} << 32;

}  // namespace

PeriodWalk WalkForward(int64_t kvalue, int64_t p, bool plus) {
  const uint64_t up = static_cast<uint64_t>(p);
  const uint64_t target = plus ? up - 1 : 1;
  const int64_t width = job.MaxNum - job.MinNum + 1;
  const uint64_t start = static_cast<uint64_t>(fastkbasepownmodp(kvalue, static_cast<uint32_t>(job.MinNum), p));
  PeriodWalk w;
  uint64_t b = start;
  for (int64_t offset = 0; offset < width; ++offset) {
    if (b == target) w.hit = offset;
    b = DoubleMod(b, up);
    if (b == start) {
      w.period = offset + 1;
      return w;
    }
  }
  w.period = width;
  return w;
}

PeriodWalk WalkBackward(int64_t kvalue, int64_t p, bool plus) {
  const uint64_t up = static_cast<uint64_t>(p);
  const uint64_t target = plus ? up - 1 : 1;
  const uint64_t half = (up + 1) / 2;
  const int64_t width = job.MaxNum - job.MinNum + 1;
  const uint64_t start = findk2pownmodp(static_cast<uint32_t>(kvalue), static_cast<uint32_t>(job.MaxNum), p);
  PeriodWalk w;
  uint64_t b = start;
  for (int64_t j = 0; j < width; ++j) {
    if (b == target) w.hit = width - 1 - j;
    b = (b >> 1) + ((b & 1) ? half : 0);
    if (b == start) {
      w.period = j + 1;
      return w;
    }
  }
  w.period = width;
  return w;
}

void DoKSieveShortRange(const int64_t& pr) {
  const int64_t p = pr;
  if (fFirstTime) {
    oldForm = CurrentKForm();
    fFirstTime = false;
  }
  const int64_t kvalue = KModP(oldForm, p);
  if (kvalue == 0) return;
  const bool forward = p >= kWalkBackwardBelow;
  const PeriodWalk w = forward ? WalkForward(kvalue, p, oldForm.plus) : WalkBackward(kvalue, p, oldForm.plus);
  if (w.hit < 0) return;
  const uint32_t hit = static_cast<uint32_t>(w.hit);
  const uint32_t period = static_cast<uint32_t>(w.period);
  const uint32_t lowest = hit % period;
  PrimeStrikes s;
  if (!job.fUseBitMap || job.MinNum + lowest <= kMaxTinyExponent ||
      (job.LogDeleted && p > kLogRemovalsAbove)) {
    // One at a time: a sparse store, a candidate equal to p kept, each removal logged.
    StrikeClass(oldForm, lowest, period, p, s);
  } else {
    const uint32_t before = job._nvalsleft;
    if (forward)
      fastclear(hit, period);
    else
      revfastclear(hit, period);
    if (job._nvalsleft != before) s.Add(job.MinNum + hit);
  }
  FinishPrime(p, s, s.any() && ReportDue(static_cast<long>(std::time(nullptr))));
}

// The small-candidate check of DoKSieveShortRange costs one comparison per prime, so it is always
// made and the tiny procedure is the same one.
void DoKSieveShortRange_tiny(const int64_t& p) { DoKSieveShortRange(p); }
