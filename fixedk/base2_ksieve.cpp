// The base-2 fixed-k sieve. Per prime p it looks for the n with k·2^n ≡ ∓1 (mod p) by a
// baby-step giant-step search over the range, stepping by the survivors' common spacing,
// and skips outright the primes for which no n can exist (quadratic-residue test).
#include "fixedk/base2_ksieve.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numeric>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedk/bsgs_table.h"
#include "fixedk/fixed_multiplier.h"
#include "fixedk/kform.h"
#include "fixedk/kstrike.h"
#include "fixedk/progress.h"
#include "fixedn/bitmap.h"
#include "fixedn/sieve_slots.h"
#include "kernels/finders.h"
#include "kernels/kronecker.h"
#include "kernels/montgomery.h"
#include "primes/soe2.h"

bool fBase2KSieveResidueSkip = true;

namespace {

constexpr int kMaxSpacing = 48;
constexpr double factor = 5.0;  // the walk is about this much longer than the table
constexpr int64_t kMaxPrime = (int64_t{1} << 48) - 1;
constexpr int64_t kSecondCallFrom = 702;  // the first call ends after the primes to 701

// The search state of one call, reused prime after prime.
struct Base2Search {
  int adiff = 1;       // common spacing d of the candidates
  int maxval = 0;      // width of the range
  int arange = 0;      // length of the walk, a multiple of d
  int brange = 0;      // number of table entries
  int64_t startk = 0;  // k·2^astart (astart is always 0: every candidate offset is a multiple of d)
  BsgsTable table;
};

Base2Search search;

// 2^(−m) mod p.
uint64_t HalfPower(uint32_t m, int64_t p) {
  if (m == 0) return 1;
  return static_cast<uint64_t>(halfpownmodp(m, firstBitBelowLeading(m), p));
}

bool SkipByResidue(const ResidueTest& t, int64_t p) {
  if (t.R == 0 || p == 3 || !fBase2KSieveResidueSkip) return false;
  if (FastKroneker(t.R, p) == 1) return false;
  return !t.withDouble || FastKroneker(2 * t.R, p) != 1;
}

// One prime: every n of the range with k·2^n ± 1 ≡ 0 (mod p) is struck.
void SieveOnePrime(const KForm& form, int64_t p, PrimeStrikes& s) {
  Base2Search& st = search;
  const uint64_t up = static_cast<uint64_t>(p);
  uint64_t x = HalfPower(static_cast<uint32_t>(job.MinNum), p);  // 2^(−MinNum)
  if (form.plus && x != 0) x = up - x;
  const FixedMultiplier byHalfToArange(HalfPower(static_cast<uint32_t>(st.arange), p), up);
  const uint32_t d = static_cast<uint32_t>(st.adiff);
  const uint32_t arange = static_cast<uint32_t>(st.arange);
  const uint32_t maxval = static_cast<uint32_t>(st.maxval);
  auto onMatch = [&](uint32_t b, uint32_t a) {
    const uint64_t offset = uint64_t{b} * arange + uint64_t{a} * d;
    if (offset < maxval) StrikeOffset(form, static_cast<uint32_t>(offset), p, s);
  };
  const uint64_t y0 = static_cast<uint64_t>(st.startk % p);
  const uint32_t walkLen = arange / d;
  // Few doublings are cheaper than a multiplication; beyond that multiply by 2^d.
  if (d <= 3) {
    BabyGiantSearch(st.table, x, st.brange, byHalfToArange, y0, walkLen,
                    [&](uint64_t y) {
                      for (uint32_t i = 0; i < d; ++i) y = DoubleMod(y, up);
                      return y;
                    },
                    onMatch);
  } else {
    const FixedMultiplier byKdiff(static_cast<uint64_t>((int64_t{1} << d) % p), up);
    BabyGiantSearch(st.table, x, st.brange, byHalfToArange, y0, walkLen, byKdiff, onMatch);
  }
}

}  // namespace

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

ResidueTest ChooseResidueTest(int64_t k, bool plus) {
  ResidueTest t;
  if (k >= (int64_t{1} << 30) || k <= 0) return t;
  const int32_t kk = static_cast<int32_t>(k);
  const int32_t m = kk % 3;
  if (m != 0) {
    t.R = plus ? -m * kk : (3 - m) * kk;
  } else {
    t.R = plus ? -kk : kk;
    t.withDouble = true;
  }
  return t;
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
  st.adiff = d;
  st.startk = job._nvalue;
  if (job.MaxNum < job.MinNum) return;
  if (job.firstp < 2) job.firstp = 2;
  soe2_init(job.firstp, true);

  st.maxval = static_cast<int>(job.MaxNum - job.MinNum + 1);
  st.arange = static_cast<int>(std::lround(std::sqrt(st.maxval * factor)));
  while (st.arange % d != 0) ++st.arange;
  st.brange = st.maxval / st.arange + 1;
  st.table.Reserve(static_cast<uint32_t>(st.brange));

  const KForm form = CurrentKForm();
  const ResidueTest residueTest = ChooseResidueTest(job._nvalue, form.plus);
  if (job.maxp > kMaxPrime) job.maxp = kMaxPrime;

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
    if (!SkipByResidue(residueTest, p)) {
      PrimeStrikes s;
      SieveOnePrime(form, p, s);
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
