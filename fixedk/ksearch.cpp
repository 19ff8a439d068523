// The fixed-k searches of one prime, free of the candidate store: the baby-step giant-step
// searches of base 2, other bases and the spaced base-2 sieve, and the short-range walk over
// one period of 2, each returning its strikes in the order the sieve removes them.
#include "fixedk/ksearch.h"

#include <algorithm>
#include <cmath>

#include "engine/sieve_job.h"
#include "fixedk/fixed_multiplier.h"
#include "fixedk/ksieve.h"
#include "fixedk/power_residue.h"
#include "fixedn/bitmap.h"
#include "fixedn/work_procedures.h"
#include "kernels/finders.h"
#include "kernels/kernel_context.h"
#include "kernels/kronecker.h"
#include "kernels/modarith.h"
#include "kernels/montgomery.h"

namespace {

constexpr int64_t kWalkBackwardBelow = int64_t{1} << 32;

// k mod 3 by the kind of k (a primorial k# is a multiple of 3).
int KModThree(const KForm& form) {
  if (form.primorial) return 0;
  if (form.product) {
    int r = 1;
    for (uint32_t i = 0; i < job.nMyPrimorial && i < MAX_MY_PRIMORIAL; ++i)
      r = r * static_cast<int>(job.MyPrimorial[i] % 3) % 3;
    return r < 0 ? r + 3 : r;
  }
  return static_cast<int>(form.k % 3);
}

// True when no n can make p divide k·2^n ± 1: neither ∓k nor ∓2k is a square mod p.
bool NoSquareRoot(const KSearchContext& ctx, int64_t kvalue, int64_t p) {
  if (ctx.fKroneker != 0) return Kroneker(ctx.fKroneker * kvalue, p) != 1;
  const int64_t sign = ctx.form.plus ? -1 : 1;
  return Kroneker(2 * sign * kvalue, p) != 1 && Kroneker(sign * kvalue, p) != 1;
}

void Add(std::vector<KStrike>& out, uint32_t offset, uint32_t step, uint32_t index) {
  out.push_back(KStrike{offset, step, index});
}

// The giant steps of one prime: table entries x0·s^j (j < arange, s applied by babyStep),
// targets y·h^(−i) for i < brange; each equal pair is the offset i·arange + j.
template <class BabyStep>
void Search(const KSearchContext& ctx, int64_t p, uint64_t x0, BabyStep babyStep, uint64_t h, KScratch& sc,
            uint32_t index, std::vector<KStrike>& out) {
  const uint64_t up = static_cast<uint64_t>(p);
  const uint32_t arange = ctx.arange;
  const uint32_t maxval = ctx.maxval;
  if (sc.table.capacity() < arange) sc.table.Reserve(arange);
  BabyGiantSearch(sc.table, x0, arange, babyStep, static_cast<uint64_t>(TargetResidue(ctx.form, p)), ctx.brange,
                  FixedMultiplier(h, up), [&](uint32_t j, uint32_t i) {
                    const uint64_t offset = uint64_t{i} * arange + j;
                    if (offset < maxval) Add(out, static_cast<uint32_t>(offset), 0, index);
                  });
}

void SearchBase2(const KSearchContext& ctx, int64_t p, KScratch& sc, uint32_t index, std::vector<KStrike>& out) {
  const int64_t kvalue = KModP(ctx.form, p);
  if (kvalue == 0) return;
  if (!ctx.form.bnk && p > 3 && NoSquareRoot(ctx, kvalue, p)) return;
  const uint64_t up = static_cast<uint64_t>(p);
  uint64_t x = static_cast<uint64_t>(fastkbasepownmodp(kvalue, static_cast<uint32_t>(ctx.minNum), p));
  if (!ctx.form.bnk && ctx.form.plus) x = up - x;
  const uint64_t h = static_cast<uint64_t>(halfpownmodp(ctx.arange, ctx.arangefirstbit, p));
  Search(ctx, p, x, [up](uint64_t v) { return DoubleMod(v, up); }, h, sc, index, out);
}

// b^(−1) mod p for p not dividing b, from the table of negated inverses modulo b, or by
// powering when the base has no table (0 when p fails the inverse's primality check).
int64_t InverseOfBase(int64_t p, uint32_t b) {
  if (baseinverses.size() != b) return GetBaseInverse(p);
  const uint32_t t = baseinverses[p % b];
  if (t == 0) return 0;
  return static_cast<int64_t>((static_cast<unsigned __int128>(t) * static_cast<uint64_t>(p) + 1) / b);
}

void SearchOtherBase(const KSearchContext& ctx, int64_t p, KScratch& sc, uint32_t index, std::vector<KStrike>& out) {
  const uint32_t b = ctx.form.base;
  if (b < 2) return;  // no powers to search
  if (b % p == 0) {
    // p divides both b and k: every b^n ± k with n ≥ 1 is a multiple of p.
    if (ctx.form.bnk && ctx.form.k % p == 0)
      Add(out, static_cast<uint32_t>(ctx.minNum >= 1 ? 0 : 1 - ctx.minNum), 1, index);
    return;
  }
  const int64_t binv = InverseOfBase(p, b);
  if (binv == 0) return;  // p failed the inverse's primality check
  const int64_t k = ctx.form.bnk ? 1 : ctx.form.k % p;
  if (k == 0) return;
  const uint64_t up = static_cast<uint64_t>(p);
  uint64_t x = static_cast<uint64_t>(fastkbasepownmodp(k, static_cast<uint32_t>(ctx.minNum), p));
  if (!ctx.form.bnk && ctx.form.plus) x = up - x;
  // h = (b^(−1))^arange by right-to-left powering.
  int64_t h = 1, base = binv;
  for (uint32_t e = ctx.arange; e != 0; e >>= 1) {
    if (e & 1) h = mulmodp2(h, base, p);
    if (e > 1) base = mulmodp2(base, base, p);
  }
  Search(ctx, p, x, FixedMultiplier(b % up, up), static_cast<uint64_t>(h), sc, index, out);
}

void SearchShortRange(const KSearchContext& ctx, int64_t p, uint32_t index, std::vector<KStrike>& out) {
  const int64_t kvalue = KModP(ctx.form, p);
  if (kvalue == 0) return;
  const int64_t maxNum = ctx.minNum + ctx.maxval - 1;
  const PeriodWalk w = p >= kWalkBackwardBelow ? WalkForward(kvalue, p, ctx.form.plus, ctx.minNum, maxNum)
                                               : WalkBackward(kvalue, p, ctx.form.plus, ctx.minNum, maxNum);
  if (w.hit >= 0) Add(out, static_cast<uint32_t>(w.hit), static_cast<uint32_t>(w.period), index);
}

// 2^(−m) mod p.
uint64_t HalfPower(uint32_t m, int64_t p) {
  if (m == 0) return 1;
  return static_cast<uint64_t>(halfpownmodp(m, firstBitBelowLeading(m), p));
}

bool SkipByResidue(const KSearchContext& ctx, int64_t p) {
  const ResidueTest& t = ctx.residueTest;
  if (t.R == 0 || p == 3 || !ctx.residueSkip) return false;
  if (FastKroneker(t.R, p) == 1) return false;
  return !t.withDouble || FastKroneker(2 * t.R, p) != 1;
}

// Walk steps per table entry, the ratio of the two costs as measured on whole jobs: a table
// entry (a product and an insert) costs about 2.5 doubling walk steps, or 3 multiplying
// ones, whose products overlap in the interleaved power runs.
double WalkFactor(uint64_t g) { return g <= 3 ? 2.5 : 3.0; }

// Every n of the range with k·2^n ± 1 ≡ 0 (mod p). The candidates are n = MinNum + a·d; the
// power-residue screening may show that none of them can be divisible, or confine a to one
// class a0 modulo t, so the search steps n by g = d·t from MinNum + a0·d.
void SearchSpaced(const KSearchContext& ctx, int64_t p, KScratch& sc, uint32_t index, std::vector<KStrike>& out) {
  if (SkipByResidue(ctx, p)) return;
  const uint64_t up = static_cast<uint64_t>(p);
  const uint64_t kp = static_cast<uint64_t>(ctx.startk % p);
  if (kp == 0) return;  // p divides k: no candidate is a multiple of p
  const uint32_t d = ctx.adiff;
  const uint32_t maxval = ctx.maxval;
  uint32_t a0 = 0, t = 1;
  if (ctx.powerResidue) {
    // In Montgomery form: 2^d by doublings, k·2^MinNum by the doubling exponent engine.
    const MontgomeryModulus m(up);
    const uint64_t two = doubleModP(m.one(), up);
    uint64_t twoToD = m.one();
    for (uint32_t i = 0; i < d; ++i) twoToD = doubleModP(twoToD, up);
    const uint32_t minNum = static_cast<uint32_t>(ctx.minNum);
    const uint64_t twoToMin =
        minNum == 0 ? m.one()
                    : runExponentBits(m, two, minNum, firstBitBelowLeading(minNum),
                                      [up](uint64_t x) { return doubleModP(x, up); });
    const uint64_t v = m.mul(m.toMont(kp), twoToMin);
    const PowerResidueClass c = ScreenByPowerResidueMont(m, v, twoToD, ctx.form.plus ? up - 1 : 1);
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
  if (tableLen > sc.table.capacity()) sc.table.Reserve(static_cast<uint32_t>(tableLen));
  const uint64_t first = uint64_t{d} * a0;  // offset of the class's first candidate
  // Table: ∓2^(−MinNum − first − i·g·walkLen); walk: k·2^(g·a).
  uint64_t x = mulModWide(HalfPower(static_cast<uint32_t>(ctx.minNum), p), HalfPower(static_cast<uint32_t>(first), p), up);
  if (ctx.form.plus && x != 0) x = up - x;
  const FixedMultiplier tableStep(HalfPower(static_cast<uint32_t>(g * walkLen), p), up);
  std::vector<uint32_t>& matches = sc.matches;
  matches.clear();
  auto onMatch = [&](uint32_t i, uint32_t a) {
    const uint64_t offset = first + g * (uint64_t{i} * walkLen + a);
    if (offset < maxval) matches.push_back(static_cast<uint32_t>(offset));
  };
  if (g <= 3) {
    BabyGiantSearch(sc.table, x, static_cast<uint32_t>(tableLen), tableStep, kp, static_cast<uint32_t>(walkLen),
                    [&](uint64_t y) {
                      for (uint32_t i = 0; i < g; ++i) y = DoubleMod(y, up);
                      return y;
                    },
                    onMatch);
  } else {
    const FixedMultiplier walkStep(static_cast<uint64_t>(powModP(2 % up, g, up)), up);
    BabyGiantSearch(sc.table, x, static_cast<uint32_t>(tableLen), tableStep, kp, static_cast<uint32_t>(walkLen),
                    walkStep, onMatch);
  }
  // The strikes are made in the order of a search with a walk of orderSpan/d doublings (walk
  // step first, then the later table entry first), whatever shape the search took, so that
  // the last n struck, which the reports and the verification name, and the order of the
  // removed-values log never depend on the screening or the step counts.
  if (matches.size() > 1) {
    const uint32_t span = ctx.orderSpan;
    std::sort(matches.begin(), matches.end(), [span](uint32_t u, uint32_t v) {
      return u % span != v % span ? u % span < v % span : u / span > v / span;
    });
  }
  for (uint32_t offset : matches) Add(out, offset, 0, index);
}

}  // namespace

KSearchContext PrepareKSearch(KSearchKind kind, uint32_t spacing) {
  KSearchContext ctx;
  ctx.kind = kind;
  ctx.form = CurrentKForm();
  ctx.minNum = job.MinNum;
  ctx.maxval = static_cast<uint32_t>(job.MaxNum - job.MinNum + 1);
  if (kind == KSearchKind::Base2 || kind == KSearchKind::OtherBase) {
    ctx.arange = static_cast<uint32_t>(std::floor(std::sqrt(double(ctx.maxval)))) + 1;
    ctx.brange = ctx.maxval / ctx.arange + 1;
    ctx.arangefirstbit = ctx.arange <= 1 ? 0 : (uint32_t{1} << (31 - __builtin_clz(ctx.arange))) >> 1;
    // When 3 does not divide k, 3 has struck every n of one parity, so only one of ∓k and
    // ∓2k needs to be a square modulo p.
    const int m = KModThree(ctx.form);
    const int sign = ctx.form.plus ? -1 : 1;
    if (job._mode & MODE_ODD_N)
      ctx.fKroneker = 2 * sign;
    else
      ctx.fKroneker = ctx.form.plus ? -m : (3 - m) % 3;
  } else if (kind == KSearchKind::Spaced) {
    ctx.adiff = spacing;
    ctx.startk = job._nvalue;
    ctx.orderSpan = static_cast<uint32_t>(std::lround(std::sqrt(ctx.maxval * 5.0)));
    while (ctx.orderSpan % spacing != 0) ++ctx.orderSpan;
    ctx.residueTest = ChooseResidueTest(job._nvalue, ctx.form.plus);
  }
  return ctx;
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

void FindKStrikes(const KSearchContext& ctx, const int64_t* primes, uint32_t count, KScratch& scratch,
                  std::vector<KStrike>& out) {
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t p = primes[i];
    switch (ctx.kind) {
      case KSearchKind::Base2: SearchBase2(ctx, p, scratch, i, out); break;
      case KSearchKind::OtherBase: SearchOtherBase(ctx, p, scratch, i, out); break;
      case KSearchKind::ShortRange: SearchShortRange(ctx, p, i, out); break;
      case KSearchKind::Spaced: SearchSpaced(ctx, p, scratch, i, out); break;
    }
  }
}

void ApplyKStrikes(const KSearchContext& ctx, int64_t p, const KStrike* begin, const KStrike* end, PrimeStrikes& s) {
  for (const KStrike* k = begin; k != end; ++k) {
    if (k->step == 0) {
      StrikeOffset(ctx.form, k->offset, p, s);
    } else if (ctx.kind != KSearchKind::ShortRange) {
      StrikeClass(ctx.form, k->offset, k->step, p, s);
    } else {
      const uint32_t lowest = k->offset % k->step;
      if (!job.fUseBitMap || ctx.minNum + lowest <= kMaxTinyExponent || (job.LogDeleted && p > kLogRemovalsAbove)) {
        // One at a time: a sparse store, a candidate equal to p kept, each removal logged.
        StrikeClass(ctx.form, lowest, k->step, p, s);
      } else {
        const uint32_t before = job._nvalsleft;
        if (p >= kWalkBackwardBelow)
          fastclear(k->offset, k->step);
        else
          revfastclear(k->offset, k->step);
        if (job._nvalsleft != before) s.Add(ctx.minNum + k->offset);
      }
    }
  }
}
