// The base-2 fixed-k sieve. Per prime p it looks for the n with k·2^n ≡ ∓1 (mod p) by a
// baby-step giant-step search over the range, stepping by the survivors' common spacing,
// and skips outright the primes for which no n can exist (quadratic-residue test).
#include "fixedk/base2_ksieve.h"

#include <algorithm>
#include <ctime>
#include <numeric>
#include <vector>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedk/ksearch.h"
#include "fixedk/kstrike.h"
#include "fixedk/progress.h"
#include "fixedn/bitmap.h"
#include "fixedn/sieve_slots.h"
#include "primes/soe2.h"

bool fBase2KSieveResidueSkip = true;
bool fBase2KSievePowerResidue = true;

namespace {

constexpr int kMaxSpacing = 48;
constexpr int64_t kMaxPrime = (int64_t{1} << 48) - 1;
constexpr int64_t kSecondCallFrom = 702;  // the first call ends after the primes to 701

// The search state of one call, reused prime after prime.
struct Base2Search {
  KScratch scratch;
  std::vector<KStrike> strikes;
};

Base2Search search;

}  // namespace

bool (*ThreadedBase2KWalk)(const KSearchContext& ctx, bool fTimedSaves) = nullptr;

int CommonSpacing() {
  if (!job.fUseBitMap) return 1;  // a sparse store: every spacing divides 1
  const uint64_t last = static_cast<uint64_t>(job.MaxNum - job.MinNum);
  uint64_t u = 0;
  int64_t d = 0;
  for (uint64_t w = 0; w <= last / 32; ++w) {
    uint32_t word = _bitmap[w];
    if (w == 0) word &= ~uint32_t{1};  // offset 0 is where the differences start
    while (word != 0) {
      const uint64_t i = w * 32 + __builtin_ctz(word);
      word &= word - 1;
      if (i > last) break;
      d = d == 0 ? int64_t(i - u) : std::gcd(d, int64_t(i - u));
      u = i;
      if (d == 1) return 1;
    }
  }
  return d == 0 ? 1 : static_cast<int>(std::min<int64_t>(d, INT32_MAX));
}

int ReduceSpacing(int d) {
  if (d > kMaxSpacing && d % kMaxSpacing == 0) d = kMaxSpacing;
  while (d > kMaxSpacing && d % 2 == 0) d /= 2;
  for (int q : {3, 5, 7})
    while (d > kMaxSpacing && d % q == 0) d /= q;
  return d;
}

void Base2KSieve(bool fTimedSaves) {
  Base2Search& st = search;
  int d = ReduceSpacing(CommonSpacing());
  if (d > kMaxSpacing) {
    // Any divisor of the spacing is still a spacing of every candidate; stopping here would
    // end the run without a file.
    fprint("Cannot reduce gcd value of %d", d);
    int divisor = kMaxSpacing;
    while (d % divisor != 0) --divisor;
    d = divisor;
  }
  if (job.MaxNum < job.MinNum) return;
  if (job.firstp < 2) job.firstp = 2;
  soe2_init(job.firstp, true);

  KSearchContext ctx = PrepareKSearch(KSearchKind::Spaced, static_cast<uint32_t>(d));
  ctx.residueSkip = fBase2KSieveResidueSkip;
  ctx.powerResidue = fBase2KSievePowerResidue;
  if (job.maxp > kMaxPrime) job.maxp = kMaxPrime;
  if (job.firstp >= kSecondCallFrom && ThreadedBase2KWalk && ThreadedBase2KWalk(ctx, fTimedSaves)) return;

  int64_t mask = int64_t{1} << 16;
  int64_t lastBit = job.firstp & mask;
  time_t lastCheck = std::time(nullptr);
  time_t nextSave = lastCheck + time_t{job.WriteIterations} * 60;
  bool reportAllowed = true;
  int64_t p = 0;
  for (;;) {
    p = soe2_next();
    if ((p & mask) != lastBit || (job.State != STATE_PREPARING && job.State != STATE_SIEVING) ||
        p >= job.maxp) {
      RunProgress(p);
      const time_t now = std::time(nullptr);
      if (now == lastCheck && mask < (int64_t{1} << 28)) mask <<= 1;
      if (now - lastCheck > 2 && mask >= 2) mask >>= 1;
      lastCheck = now;
      lastBit = p & mask;
      reportAllowed = true;
      if (job.State == STATE_SIEVING && job.StopCriterion == STOP_AFTER_HOURS &&
          now - job.StopTime > std::min<int64_t>(job.StopValue, MAX_STOP_HOURS) * 3600)
        job.State = STATE_STOPPED;
      if ((job.State != STATE_PREPARING && job.State != STATE_SIEVING) || p >= job.maxp) break;
      if (fTimedSaves && now > nextSave) {
        removal.outputandtidyvals(p, job.outbuff, job.fAppend);
        nextSave = now + time_t{job.WriteIterations} * 60;
      }
    }
    st.strikes.clear();
    FindKStrikes(ctx, &p, 1, st.scratch, st.strikes);
    if (!st.strikes.empty()) {
      PrimeStrikes s;
      ApplyKStrikes(ctx, p, st.strikes.data(), st.strikes.data() + st.strikes.size(), s);
      const bool report = s.any() && reportAllowed && ReportDue(static_cast<long>(std::time(nullptr)));
      if (report) reportAllowed = false;
      FinishPrime(p, s, report);
      if (job.AllRemoved) {
        // A sub-range ran empty: its file part is written as the sieve loop would.
        if (!job.fAppend) removal.outputandtidyvals(p + 1, job.outbuff, false);
        return;
      }
    }
    if (p == kSecondCallFrom - 1) {
      job.firstp = kSecondCallFrom;
      return;
    }
  }
  if (job.allprimes && p > job.maxp) print("#rSieve terminated : All remaining values yield prime numbers !!");
  if (job.fAppend && job.State == STATE_INTERRUPTED) return;
  removal.outputandtidyvals(p, job.outbuff, job.fAppend);
  if (job.State != STATE_PREPARING && !job.SaveFailed)
    fprint("#oOutput file '%s' generated, contains %u %c's", job.outbuff.c_str(), job._nvalsleft, job.k_n);
  job.firstp = p;
}
