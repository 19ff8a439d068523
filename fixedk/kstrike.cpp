// Striking n values for one prime and finishing the prime: log, verification and report,
// then the count criterion and all-removed ending shared with the clearing routines.
#include "fixedk/kstrike.h"

#include <ctime>

#include "fixedn/hash_store.h"
#include "fixedn/sieve_slots.h"

bool RemoveFromSparseStore(int64_t n) {
  if (job.fUseHash) return FindAndDeleteFromHash(static_cast<uint64_t>(n));
  const int64_t i = FindInArray(n, 0, job.nvals);
  if (i < 0 || IsMarked(vals[i])) return false;
  vals[i] = static_cast<int64_t>(static_cast<uint64_t>(vals[i]) | VAL_MARK);
  return true;
}

void StrikeClass(const KForm& form, uint32_t first, uint32_t step, int64_t p, PrimeStrikes& s) {
  const uint64_t width = static_cast<uint64_t>(job.MaxNum - job.MinNum + 1);
  for (uint64_t i = first; i < width; i += step) StrikeOffset(form, static_cast<uint32_t>(i), p, s);
}

bool ReportDue(long now) { return now != removal.LatestSampleTime(); }

void FinishPrime(int64_t p, const PrimeStrikes& s, bool report) {
  if (!s.any()) return;
  if (job.fVerify) removal.Verify(job._nvalue, static_cast<uint32_t>(s.lastN), p);
  if (report) removal.ClearReport(static_cast<long>(std::time(nullptr)), p, s.lastN);
  afterRemovals(p);
}
