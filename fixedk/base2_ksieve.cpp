// The base-2 fixed-k sieve. Per prime p it looks for the n with k·2^n ≡ ∓1 (mod p) by a
// baby-step giant-step search over the range, stepping by the survivors' common spacing,
// and skips outright the primes for which no n can exist (quadratic-residue test).
#include "fixedk/base2_ksieve.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numeric>
#include <vector>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedk/bsgs_table.h"
#include "fixedk/fixed_multiplier.h"
#include "fixedk/kform.h"
#include "fixedk/power_residue.h"
#include "fixedk/kstrike.h"
#include "fixedk/progress.h"
#include "fixedn/bitmap.h"
#include "fixedn/sieve_slots.h"
#include "kernels/finders.h"
#include "kernels/kronecker.h"
#include "kernels/montgomery.h"
#include "primes/soe2.h"

bool fBase2KSieveResidueSkip = true;
bool fBase2KSievePowerResidue = true;

namespace {

constexpr int kMaxSpacing = 48;
constexpr int64_t kMaxPrime = (int64_t{1} << 48) - 1;
constexpr int64_t kSecondCallFrom = 702;  // the first call ends after the primes to 701

// The search state of one call, reused prime after prime.
struct Base2Search {
  int adiff = 1;       // common spacing d of the candidates
  int maxval = 0;      // width of the range
  // The strikes of one prime are made in the order of a search with a walk of orderSpan/d
  // doublings (walk step first, then the later table entry first), whatever shape the search
  // took, so that the last n struck, which the reports and the verification name, and the
  // order of the removed-values log never depend on the screening or the step counts.
  uint32_t orderSpan = 1;
  std::vector<uint32_t> matches;
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

// Walk steps per table entry, the ratio of the two costs as measured on whole jobs: a table
// entry (a product and an insert) costs about 2.5 doubling walk steps, or 3 multiplying
// ones, whose products overlap in the interleaved power runs.
double WalkFactor(uint64_t g) { return g <= 3 ? 2.5 : 3.0; }

// One prime: every n of the range with k·2^n ± 1 ≡ 0 (mod p) is struck. The candidates are
// n = MinNum + a·d; the power-residue screening may show that none of them can be divisible,
// or confine a to one class a0 modulo t, so the search steps n by g = d·t from MinNum + a0·d.
void SieveOnePrime(const KForm& form, int64_t p, PrimeStrikes& s) {
  Base2Search& st = search;
  const uint64_t up = static_cast<uint64_t>(p);
  const uint64_t kp = static_cast<uint64_t>(st.startk % p);
  if (kp == 0) return;  // p divides k: no candidate is a multiple of p
  const uint32_t d = static_cast<uint32_t>(st.adiff);
  const uint32_t maxval = static_cast<uint32_t>(st.maxval);
  uint32_t a0 = 0, t = 1;
  if (fBase2KSievePowerResidue) {
    // In Montgomery form: 2^d by doublings, k·2^MinNum by the doubling exponent engine.
    const MontgomeryModulus m(up);
    const uint64_t two = doubleModP(m.one(), up);
    uint64_t twoToD = m.one();
    for (uint32_t i = 0; i < d; ++i) twoToD = doubleModP(twoToD, up);
    const uint32_t minNum = static_cast<uint32_t>(job.MinNum);
    const uint64_t twoToMin =
        minNum == 0 ? m.one()
                    : runExponentBits(m, two, minNum, firstBitBelowLeading(minNum),
                                      [up](uint64_t x) { return doubleModP(x, up); });
    const uint64_t v = m.mul(m.toMont(kp), twoToMin);
    const PowerResidueClass c = ScreenByPowerResidueMont(m, v, twoToD, form.plus ? up - 1 : 1);
    if (c.none) return;
    a0 = c.a0;
    t = c.t;
  }
  const uint64_t count = (uint64_t{maxval} + d - 1) / d;  // values of a with a·d in the range
  if (a0 >= count) return;
  const uint64_t j = (count - a0 + t - 1) / t;  // values of a in the class
  const uint64_t g = uint64_t{d} * t;
  const uint64_t walkLen = std::max<uint64_t>(1, std::llround(std::sqrt(double(j) * WalkFactor(g))));
  const uint64_t tableLen = (j + walkLen - 1) / walkLen;
  if (tableLen > st.table.capacity()) st.table.Reserve(static_cast<uint32_t>(tableLen));
  const uint64_t first = uint64_t{d} * a0;  // offset of the class's first candidate
  // Table: ∓2^(−MinNum − first − i·g·walkLen); walk: k·2^(g·a).
  uint64_t x = mulModWide(static_cast<uint64_t>(HalfPower(static_cast<uint32_t>(job.MinNum), p)),
                          static_cast<uint64_t>(HalfPower(static_cast<uint32_t>(first), p)), up);
  if (form.plus && x != 0) x = up - x;
  const FixedMultiplier tableStep(static_cast<uint64_t>(HalfPower(static_cast<uint32_t>(g * walkLen), p)), up);
  st.matches.clear();
  auto onMatch = [&](uint32_t i, uint32_t a) {
    const uint64_t offset = first + g * (uint64_t{i} * walkLen + a);
    if (offset < maxval) st.matches.push_back(static_cast<uint32_t>(offset));
  };
  if (g <= 3) {
    BabyGiantSearch(st.table, x, static_cast<uint32_t>(tableLen), tableStep, kp,
                    static_cast<uint32_t>(walkLen),
                    [&](uint64_t y) {
                      for (uint32_t i = 0; i < g; ++i) y = DoubleMod(y, up);
                      return y;
                    },
                    onMatch);
  } else {
    const FixedMultiplier walkStep(static_cast<uint64_t>(powModP(2 % up, g, up)), up);
    BabyGiantSearch(st.table, x, static_cast<uint32_t>(tableLen), tableStep, kp,
                    static_cast<uint32_t>(walkLen), walkStep, onMatch);
  }
  if (st.matches.size() > 1) {
    const uint32_t span = st.orderSpan;
    std::sort(st.matches.begin(), st.matches.end(), [span](uint32_t u, uint32_t v) {
      return u % span != v % span ? u % span < v % span : u / span > v / span;
    });
  }
  for (uint32_t offset : st.matches) StrikeOffset(form, offset, p, s);
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
  st.orderSpan = static_cast<uint32_t>(std::lround(std::sqrt(st.maxval * 5.0)));
  while (st.orderSpan % d != 0) ++st.orderSpan;

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
