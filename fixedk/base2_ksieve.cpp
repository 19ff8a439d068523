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
// Primes searched together at most between two progress checks: enough to fill the vector
// lanes of the screening after the quadratic-residue skip.
constexpr uint32_t kBatch = 64;

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
  // The progress check made before the prime q is searched: the rate, the stop criteria and
  // the timed saves. True when the run ends at q.
  auto progressCheck = [&](int64_t q) {
    RunProgress(q);
    const time_t now = std::time(nullptr);
    if (now == lastCheck && mask < (int64_t{1} << 28)) mask <<= 1;
    if (now - lastCheck > 2 && mask >= 2) mask >>= 1;
    lastCheck = now;
    lastBit = q & mask;
    reportAllowed = true;
    if (job.State == STATE_SIEVING && job.StopCriterion == STOP_AFTER_HOURS &&
        now - job.StopTime > std::min<int64_t>(job.StopValue, MAX_STOP_HOURS) * 3600)
      job.State = STATE_STOPPED;
    if ((job.State != STATE_PREPARING && job.State != STATE_SIEVING) || q >= job.maxp) return true;
    if (fTimedSaves && now > nextSave) {
      removal.outputandtidyvals(q, job.outbuff, job.fAppend);
      nextSave = now + time_t{job.WriteIterations} * 60;
    }
    return false;
  };
  auto sieving = [] { return job.State == STATE_PREPARING || job.State == STATE_SIEVING; };
  // Primes are searched in batches drawn up to the next progress check, but their strikes are
  // applied one prime at a time, each after the state check the prime would have had alone,
  // so a stop, an interrupt or a save happens at the same prime and with the same values.
  // The first call ends at 701 and takes its primes one by one.
  const uint32_t batchSize = job.firstp < kSecondCallFrom ? 1 : kBatch;
  int64_t batch[kBatch];
  int64_t p = 0;
  for (;;) {
    uint32_t n = 0;
    bool checkDue = false;
    while (n < batchSize && !checkDue) {
      p = soe2_next();
      batch[n++] = p;
      checkDue = (p & mask) != lastBit || p >= job.maxp;
    }
    // The prime of a due check is searched after the check, on its own.
    const uint32_t ahead = checkDue ? n - 1 : n;
    st.strikes.clear();
    if (ahead != 0) FindKStrikes(ctx, batch, ahead, st.scratch, st.strikes);
    size_t next = 0;
    bool ended = false;
    for (uint32_t i = 0; i < n; ++i) {
      p = batch[i];
      if (i == ahead) {
        if (progressCheck(p)) {
          ended = true;
          break;
        }
        st.strikes.clear();
        next = 0;
        FindKStrikes(ctx, &p, 1, st.scratch, st.strikes);
        for (KStrike& k : st.strikes) k.index = i;
      } else if (!sieving()) {
        progressCheck(p);
        ended = true;
        break;
      }
      size_t end = next;
      while (end < st.strikes.size() && st.strikes[end].index == i) ++end;
      if (end != next) {
        PrimeStrikes s;
        ApplyKStrikes(ctx, p, st.strikes.data() + next, st.strikes.data() + end, s);
        next = end;
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
    if (ended) break;
  }
  if (job.allprimes && p > job.maxp) print("#rSieve terminated : All remaining values yield prime numbers !!");
  if (job.fAppend && job.State == STATE_INTERRUPTED) return;
  removal.outputandtidyvals(p, job.outbuff, job.fAppend);
  if (job.State != STATE_PREPARING && !job.SaveFailed)
    fprint("#oOutput file '%s' generated, contains %u %c's", job.outbuff.c_str(), job._nvalsleft, job.k_n);
  job.firstp = p;
}
