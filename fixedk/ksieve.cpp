// The fixed-k work procedures of the sieve loop: DoKSieve and DoKSieve_tiny for base 2,
// DoKSieveOtherBases for any other base, DoKSieveShortRange for narrow ranges. Each searches its prime through the pure search of
// ksearch.h and then applies the strikes and finishes the prime.
#include <cinttypes>
#include <ctime>
#include <vector>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedk/ksearch.h"
#include "fixedk/ksieve.h"
#include "fixedk/kstrike.h"

bool fFirstTime = true;

namespace {

// Set up on the first prime of a run and reused for every later prime.
struct ProcedureRun {
  KSearchContext ctx;
  KScratch scratch;
  std::vector<KStrike> strikes;
};

ProcedureRun base2Run, otherBaseRun, shortRangeRun;

template <bool Tiny>
void SieveOne(ProcedureRun& run, KSearchKind kind, int64_t p) {
  if (fFirstTime) {
    run.ctx = PrepareKSearch(kind);
    fFirstTime = false;
  }
  run.strikes.clear();
  FindKStrikes(run.ctx, &p, 1, run.scratch, run.strikes);
  if (run.strikes.empty()) return;
  PrimeStrikes s;
  ApplyKStrikes(run.ctx, p, run.strikes.data(), run.strikes.data() + run.strikes.size(), s);
  if (Tiny) ReportSmallest(s);
  FinishPrime(p, s, s.any() && ReportDue(static_cast<long>(std::time(nullptr))));
}

}  // namespace

void ReportSmallest(const PrimeStrikes& s) {
  if (s.any() && s.smallestN < job.maxtiny)
    fprint("firstremoved = %" PRId64 ", maxtiny = %d", s.smallestN, job.maxtiny);
}

void DoKSieve(const int64_t& p) { SieveOne<false>(base2Run, KSearchKind::Base2, p); }
void DoKSieve_tiny(const int64_t& p) { SieveOne<true>(base2Run, KSearchKind::Base2, p); }
void DoKSieveOtherBases(const int64_t& p) { SieveOne<false>(otherBaseRun, KSearchKind::OtherBase, p); }
void DoKSieveShortRange(const int64_t& p) { SieveOne<false>(shortRangeRun, KSearchKind::ShortRange, p); }
// The small-candidate check of the short-range walk costs one comparison per prime, so it is
// always made and the tiny procedure is the same one.
void DoKSieveShortRange_tiny(const int64_t& p) { DoKSieveShortRange(p); }
