// The clearing routines of the four stores, their entry normalisation, per-value removal
// step, throttled reporting of the small-prime paths and their one-way hand-overs.
#include "fixedn/clear.h"

#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedn/array_store.h"
#include "fixedn/bitmap.h"
#include "fixedn/hash_store.h"
#include "fixedn/sieve_slots.h"

time_t LastNow = 0;
uint32_t nopsthreshold = 10000000;
uint64_t nops = 0;
std::vector<uint32_t> multivals_nums;
uint32_t multivals_lastprime = 0;
uint32_t multivals_add = 0;

namespace {

constexpr int64_t BATCH_LIMIT = 100000000;       // above it the batching routine hands over
constexpr int64_t SMALLP_LIMIT = 1000000000;     // above it the one-pass routine hands over
constexpr int64_t LOG_ABOVE = 4294967295LL;      // removals by larger primes are logged
constexpr uint32_t NOPS_CAP = 3500000000u;

// Moves k to the parity of the candidates and up to MinNum; false when the class has no
// member in range. The step is p, or 2p when only every second value is a candidate.
inline bool normalise(int64_t& k, int64_t p, int64_t& step) {
  step = p;
  if (job.fIncIsTwo) {
    step = 2 * p;
    if ((k & 1) == static_cast<int64_t>(job._base & 1)) {
      k += p;
      if (k > job.MaxNum) return false;
    }
  }
  if (k < job.MinNum) {
    k += ((job.MinNum - k) / step) * step;
    while (k < job.MinNum) k += step;
  }
  return k <= job.MaxNum;
}

// Everything done for one value struck on its own; true when the set is now empty.
bool removalStep(int64_t v, int64_t p) {
  if (job.fVerify) removal.Verify(v, static_cast<uint32_t>(job._nvalue), p);
  if (job.LogDeleted && p > LOG_ABOVE) LogDeletedValue(p, job.k_n, v);
  long now = static_cast<long>(time(nullptr));
  --job._nvalsleft;
  if (now != removal.LatestSampleTime()) removal.ClearReport(now, p, v);
  return afterRemovals(p);
}

// Adapts the work threshold to about one report every two seconds (three once the step
// is not below the range) and reports.
void throttledReport(int64_t p, int64_t k, int64_t step) {
  if (nops <= nopsthreshold) return;
  if (job._nvalsleft == removal.LatestSampleCount()) {
    nops -= 100;
    return;
  }
  nops = 0;
  time_t now = time(nullptr);
  long dt = static_cast<long>(now - LastNow);
  double factor = dt == 0 ? 5.0 : (static_cast<int64_t>(range) > step ? 2.0 : 3.0) / dt;
  double x = nopsthreshold * factor;
  nopsthreshold = x < 3500000000.0 ? static_cast<uint32_t>(x) : NOPS_CAP;
  LastNow = now;
  removal.ClearReport(static_cast<long>(now), p, k);
}

inline void addWork(int64_t step, uint64_t classes) {
  if (static_cast<int64_t>(range) > step) nops += (range / static_cast<uint64_t>(step)) * classes;
  nops += 100;
}

void clearBatch() {
  fastclear2(multivals_nums.data(), static_cast<uint32_t>(multivals_nums.size()), multivals_add);
}

// Clears the pending batch and verifies its classes when anything went.
void applyBatch() {
  uint32_t before = job._nvalsleft;
  clearBatch();
  if (job._nvalsleft != before && job.fVerify)
    for (uint32_t i : multivals_nums)
      removal.Verify(i + job.MinNum, static_cast<uint32_t>(job._nvalue), multivals_lastprime);
}

}  // namespace

int64_t allRemovedBy = 0;

void allRemovedEnding(int64_t p) {
  allRemovedBy = p;
  if (job.State == STATE_SIEVING) {
    job.State = STATE_STOPPED;
    print("#o**** All values removed! You do not need to test these values!!");
    // The header claims p itself: it struck the last value (one below would claim too little).
    removal.outputandtidyvals(p + 1, job.outbuff, job.fAppend);
    print("##");
    throw SieveStop{};
  }
  if (!job.AllRemoved) print("#r**** All values removed in this range.");
  job.AllRemoved = true;
}

void ResetMultivals() {
  multivals_nums.clear();
  multivals_lastprime = 0;
  multivals_add = 0;
}

void LogDeletedValue(int64_t p, char letter, int64_t value) {
  FILE* f;
  while ((f = std::fopen("Morvane.del", "a")) == nullptr) sleep(10);
  std::fprintf(f, "p=%" PRId64 " divides %c=%" PRId64 "\n", p, letter, value);
  std::fclose(f);
}

void ClearBitmap(int64_t k, int64_t p) {
  int64_t step;
  if (!normalise(k, p, step)) return;
  for (; k <= job.MaxNum; k += step) {
    uint32_t i = static_cast<uint32_t>(k - job.MinNum);
    if (!GetBit(i)) continue;
    ClearBit(i);
    if (removalStep(k, p)) return;
  }
}

void PrefetchClass(int64_t k) {
  if (job.fUseBitMap && k >= job.MinNum && k <= job.MaxNum) __builtin_prefetch(&_bitmap[(k - job.MinNum) >> 5], 1);
}

void ClearBitmapSmallp(int64_t k, int64_t p) {
  int64_t step;
  if (!normalise(k, p, step)) return;
  if (p > SMALLP_LIMIT) {
    ClearRoutine = ClearBitmap;
    ClearBitmap(k, p);
    return;
  }
  uint32_t before = job._nvalsleft;
  fastclear(static_cast<uint32_t>(k - job.MinNum), static_cast<uint32_t>(step));
  addWork(step, 1);
  if (job._nvalsleft != before && job.fVerify) removal.Verify(k, static_cast<uint32_t>(job._nvalue), p);
  throttledReport(p, k, step);
  afterRemovals(p);
}

void ClearBitmapSmallpMultivals(int64_t k, int64_t p) {
  if (p == 2) {
    // Flush request before a save: p = 2 divides no candidate, so only the batch is cleared.
    if (!multivals_nums.empty()) {
      int64_t heldp = multivals_lastprime;
      applyBatch();
      ResetMultivals();
      afterRemovals(heldp);
    }
    return;
  }
  int64_t step;
  if (!normalise(k, p, step)) return;
  if (p > BATCH_LIMIT) {
    if (!multivals_nums.empty()) clearBatch();
    ResetMultivals();
    ClearRoutine = ClearBitmapSmallp;
    ClearBitmapSmallp(k, p);
    return;
  }
  uint32_t i = static_cast<uint32_t>(k - job.MinNum);
  if (static_cast<uint32_t>(p) == multivals_lastprime) {
    // An equal entry moves up: the new one goes before it.
    multivals_nums.insert(std::lower_bound(multivals_nums.begin(), multivals_nums.end(), i), i);
    return;
  }
  if (multivals_lastprime != 0) {
    if (multivals_nums.size() == 1) {
      // One class per prime in range: the one-pass routine serves this type from now on.
      int64_t held = multivals_nums[0] + job.MinNum;
      int64_t heldp = multivals_lastprime;
      ResetMultivals();
      ClearRoutine = ClearBitmapSmallp;
      ClearBitmapSmallp(held, heldp);
      ClearBitmapSmallp(k, p);
      return;
    }
    addWork(step, multivals_nums.size());
    applyBatch();
    throttledReport(p, k, step);
    afterRemovals(p);
  }
  multivals_nums.assign(1, i);
  multivals_lastprime = static_cast<uint32_t>(p);
  multivals_add = static_cast<uint32_t>(step);
}

void ClearArray(int64_t k, int64_t p) {
  int64_t step;
  if (!normalise(k, p, step)) return;
  uint32_t from = 0;
  for (; k <= job.MaxNum; k += step) {
    int64_t at = FindInArray(k, from, job.nvals);
    if (at < 0) continue;
    from = static_cast<uint32_t>(at) + 1;  // later members lie above this one
    if (IsMarked(vals[at])) continue;
    vals[at] = static_cast<int64_t>(static_cast<uint64_t>(vals[at]) | VAL_MARK);
    if (removalStep(k, p)) return;
  }
}

void ClearSparseArray(int64_t k, int64_t p) {
  int64_t step = p;
  if (job.fIncIsTwo) {
    step = 2 * p;
    if ((k & 1) == static_cast<int64_t>(job._base & 1)) {
      k += p;
      if (k > job.MaxNum) return;
    }
  }
  double y = std::log(static_cast<double>(job.nvals)) * static_cast<double>(job.MaxNum - job.MinNum);
  double x = static_cast<double>(job.nvals) * static_cast<double>(step);
  if (y / x < 3) {
    ClearRoutine = ClearArray;
    print("Switching from sparse array algorithm to normal array algorithm");
  }
  // The members v >= k of k's class, as the other stores strike them, also for k >= step.
  int64_t residue = k % step;
  for (uint32_t i = 0; i < job.nvals; ++i) {
    int64_t v = vals[i];
    if (IsMarked(v) || v < k || v % step != residue) continue;
    vals[i] = static_cast<int64_t>(static_cast<uint64_t>(v) | VAL_MARK);
    if (removalStep(v, p)) return;
  }
}

void ClearHash(int64_t k, int64_t p) {
  int64_t step;
  if (!normalise(k, p, step)) return;
  for (; k <= job.MaxNum; k += step) {
    if (!FindAndDeleteFromHash(static_cast<uint64_t>(k))) continue;
    if (removalStep(k, p)) return;
  }
}
