// The fixed-k searches of one prime, free of the candidate store: the baby-step giant-step
// searches of base 2, other bases and the spaced base-2 sieve, and the short-range walk over
// one period of 2, each returning its strikes in the order the sieve removes them.
#include "fixedk/ksearch.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "engine/sieve_job.h"
#include "fixedk/class_walk.h"
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
#include "primes/soe2.h"

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

// The table search confined by the power-residue screening, for a true prime p not dividing
// b: the n = MinNum + a with c·b^n ≡ S (c = k and S = ∓1 for k·b^n ± 1, c = 1 and S = ∓k for
// b^n ± k), where start = c·b^MinNum. The screening leaves a ≡ a0 (mod t) or nothing; the
// search then steps a by t with a table of S·b^(−t·walkLen·i) and a walk start·b^(a0 + t·w).
// The strikes are put in the order of the unscreened search (giant step i·arange first, then
// the later table entry first), so reports, verification and the removed-values log see the
// same order whatever the screening found.
// Walk steps per table entry of a screened search whose both sides multiply: measured on
// whole jobs (2·3^n + 1 and 3·5·7·2^n + 1), 1, 1.5 and 2 ran about 3% faster than 3, and 5
// slower.
constexpr double kMultiplyingWalk = 1.5;

void SearchScreened(const KSearchContext& ctx, uint64_t p, uint64_t start, uint64_t b, uint64_t binv, uint64_t S,
                    KScratch& sc, uint32_t index, std::vector<KStrike>& out) {
  const MontgomeryModulus m(p);
  const PowerResidueClass c = ScreenByPowerResidueMont(m, m.toMont(start), m.toMont(b), S);
  if (c.none || c.a0 >= ctx.maxval) return;
  const uint64_t t = c.t;
  const uint64_t j = (ctx.maxval - c.a0 + t - 1) / t;  // values of a in the class
  const uint64_t walkLen = std::max<uint64_t>(1, std::llround(std::sqrt(double(j) * kMultiplyingWalk)));
  const uint64_t tableLen = (j + walkLen - 1) / walkLen;
  if (tableLen > sc.table.capacity()) sc.table.Reserve(static_cast<uint32_t>(tableLen));
  std::vector<uint32_t>& matches = sc.matches;
  matches.clear();
  const uint64_t y0 = mulModWide(start, powModP(b, c.a0, p), p);
  BabyGiantSearch(sc.table, S, static_cast<uint32_t>(tableLen), FixedMultiplier(powModP(binv, t * walkLen, p), p), y0,
                  static_cast<uint32_t>(walkLen), FixedMultiplier(powModP(b, t, p), p), [&](uint32_t i, uint32_t w) {
                    const uint64_t a = c.a0 + t * (uint64_t{i} * walkLen + w);
                    if (a < ctx.maxval) matches.push_back(static_cast<uint32_t>(a));
                  });
  if (matches.size() > 1) {
    const uint32_t span = ctx.arange;
    std::sort(matches.begin(), matches.end(), [span](uint32_t u, uint32_t v) {
      return u / span != v / span ? u / span < v / span : u % span > v % span;
    });
  }
  for (uint32_t offset : matches) Add(out, offset, 0, index);
}

// Whether the screening is exact for p: the prime source delivers true primes only below
// MAXGUAR when it runs without its additional sieving primes.
bool Screenable(const KSearchContext& ctx, int64_t p) { return ctx.powerResidue && p > 2 && p < MAXGUAR; }

void SearchBase2(const KSearchContext& ctx, int64_t p, KScratch& sc, uint32_t index, std::vector<KStrike>& out) {
  const int64_t kvalue = KModP(ctx.form, p);
  if (kvalue == 0) return;
  if (!ctx.form.bnk && p > 3 && NoSquareRoot(ctx, kvalue, p)) return;
  const uint64_t up = static_cast<uint64_t>(p);
  if (Screenable(ctx, p)) {
    const uint64_t S = ctx.form.bnk ? static_cast<uint64_t>(TargetResidue(ctx.form, p)) : ctx.form.plus ? up - 1 : 1;
    if (S == 0) return;  // p divides k of b^n ± k: no power of 2 is 0
    const uint64_t start = static_cast<uint64_t>(fastkbasepownmodp(kvalue, static_cast<uint32_t>(ctx.minNum), p));
    SearchScreened(ctx, up, start, 2, (up + 1) / 2, S, sc, index, out);
    return;
  }
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
  if (Screenable(ctx, p)) {
    const uint64_t S = ctx.form.bnk ? static_cast<uint64_t>(TargetResidue(ctx.form, p)) : ctx.form.plus ? up - 1 : 1;
    if (S == 0) return;  // p divides k of b^n ± k but not b: no power of b is 0
    const uint64_t start = static_cast<uint64_t>(fastkbasepownmodp(k, static_cast<uint32_t>(ctx.minNum), p));
    SearchScreened(ctx, up, start, b % up, static_cast<uint64_t>(binv), S, sc, index, out);
    return;
  }
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

// Giant steps of the class search per table entry (a start and each step, a product and a
// probe). With it the estimates chose well on whole jobs: the class search is taken for most
// primes and pays where the survivors are sparse (5·2^n + 1: 0.83 of the time), and is
// neutral on 3·2^n − 1, whose survivors fill half of the classes.
constexpr double kLookupsPerEntry = 3.0;

// Montgomery form of 2^e and of 2^(−e) mod p: the exponent engine with a doubling or a
// halving step from the Montgomery form of 2 or 1/2.
uint64_t MontTwoPower(const MontgomeryModulus& m, uint32_t e) {
  if (e == 0) return m.one();
  const uint64_t two = doubleModP(m.one(), m.p);
  return runExponentBits(m, two, e, firstBitBelowLeading(e), [&m](uint64_t x) { return doubleModP(x, m.p); });
}
uint64_t MontHalfPower(const MontgomeryModulus& m, uint32_t e) {
  if (e == 0) return m.one();
  const uint64_t half = halveModP(m.one(), m.p);
  return runExponentBits(m, half, e, firstBitBelowLeading(e), [&m](uint64_t x) { return halveModP(x, m.p); });
}

// out[i] = x·w^i mod p for i < count, x plain and w in Montgomery form (so every product is
// plain again): four interleaved chains stepping by w^4, as PowerRun.
void MontRun(uint64_t* out, uint64_t x, uint32_t count, const MontgomeryModulus& m, uint64_t w) {
  uint32_t i = 0;
  for (; i < count && i < kPowerLanes; ++i) {
    out[i] = x;
    x = m.mul(x, w);
  }
  if (i == count) return;
  const uint64_t w4 = m.square(m.square(w));
  for (; i + kPowerLanes <= count; i += kPowerLanes) {
    out[i] = m.mul(out[i - 4], w4);
    out[i + 1] = m.mul(out[i - 3], w4);
    out[i + 2] = m.mul(out[i - 2], w4);
    out[i + 3] = m.mul(out[i - 1], w4);
  }
  for (; i < count; ++i) out[i] = m.mul(out[i - 4], w4);
}

constexpr uint32_t kMaxClassModulus = *std::max_element(std::begin(kClassModuli), std::end(kClassModuli));

// The classes of one screening result (a ≡ a0 mod t) that still hold candidates.
struct ClassSet {
  const uint16_t* r = nullptr;
  const uint16_t* step = nullptr;  // the power of 2^(−d·t) from a lane's previous class
  uint32_t size = 0;
  uint32_t reach = 0;  // the largest step, in units of t, from a class to the one four further on
};

ClassSet ClassesOf(const KClassTable& table, uint32_t t, uint32_t a0) {
  const uint32_t slot = table.slot[t] + a0;
  ClassSet c;
  c.r = table.r.data() + table.begin[slot];
  c.step = table.step.data() + table.begin[slot];
  c.size = table.begin[slot + 1] - table.begin[slot];
  c.reach = table.reach[slot];
  return c;
}

// Classes below which the scalar lanes walk them: a vector's tables of powers cost more than
// they save on a few classes.
constexpr uint32_t kMinVectorClasses = 8;

// The search over the surviving classes r alone, a = r + Q·i: one table of the baby steps
// k·2^(d·Q·i) for i < tableLen serves every class, and each class walks its giant steps
// ∓2^(−MinNum − d·r − d·Q·tableLen·y) against it. Classes are taken four at a time, each lane
// reaching its next class by a power of 2^(−d·t), so the products of the lanes overlap.
// Whether the class search walks these classes in vector lanes.
bool ClassesInLanes(const KSearchContext& ctx, const ClassSet& cls, uint64_t p) {
  return ctx.vectorClasses && cls.size >= kMinVectorClasses && VectorClassWalkFits(p);
}

// The class search's powers of 2 as exponents: 2^(d·Q), 2^(−d·t), 2^(−d·Q·tableLen) and
// 2^(−MinNum − d·r0), the first three in Montgomery form (2^64 more) unless the classes go
// through vector lanes, which take plain residues; the last one always plain.
void ClassPowerExponents(const KSearchContext& ctx, uint32_t t, uint32_t Q, uint32_t r0, uint32_t tableLen,
                         bool lanes, int64_t* e) {
  const int64_t d = ctx.adiff, mont = lanes ? 0 : 64;
  e[0] = mont + d * Q;
  e[1] = mont - d * t;
  e[2] = mont - static_cast<int64_t>(static_cast<uint32_t>(d * Q * tableLen));
  e[3] = -static_cast<int64_t>(static_cast<uint32_t>(ctx.minNum + d * r0));
}

void SearchClasses(const KSearchContext& ctx, const MontgomeryModulus& m, uint64_t kp, uint32_t t, uint32_t Q,
                   const ClassSet& cls, uint64_t count, uint32_t tableLen, const uint64_t* powers, KScratch& sc) {
  const uint32_t d = ctx.adiff;
  const uint64_t perClass = (count + Q - 1) / Q;  // values of i in the fullest class
  const uint32_t steps = static_cast<uint32_t>((perClass + tableLen - 1) / tableLen);
  if (tableLen > sc.table.capacity()) sc.table.Reserve(tableLen);
  const bool lanes = ClassesInLanes(ctx, cls, m.p);
  // The powers of ClassPowerExponents, computed here unless the batch computed them.
  uint64_t twoQ, h1, giant, first;
  if (powers != nullptr) {
    twoQ = powers[0];
    h1 = powers[1];
    giant = powers[2];
    first = powers[3];
  } else {
    twoQ = MontTwoPower(m, d * Q);
    h1 = MontHalfPower(m, d * t);
    giant = MontHalfPower(m, static_cast<uint32_t>(uint64_t{d} * Q * tableLen));
    first = m.fromMont(MontHalfPower(m, static_cast<uint32_t>(ctx.minNum + uint64_t{d} * cls.r[0])));
    if (lanes) {
      twoQ = m.fromMont(twoQ);
      h1 = m.fromMont(h1);
      giant = m.fromMont(giant);
    }
  }
  if (ctx.form.plus && first != 0) first = m.p - first;
  if (lanes) {
    // The table's residues in vector lanes first, then inserted in order.
    sc.values.resize(tableLen + 16);
    PowerRunInLanes(sc.values.data(), tableLen, kp, twoQ, m.p);
    for (uint32_t i = 0; i < tableLen; ++i) sc.table.Insert(i, sc.values[i]);
  } else {
    // The table, in blocks as BabyGiantSearch builds it.
    constexpr uint32_t kBlock = 64;
    uint64_t block[kBlock];
    uint64_t x = kp;
    for (uint32_t i = 0; i < tableLen;) {
      const uint32_t n = std::min(kBlock, tableLen - i);
      MontRun(block, x, n, m, twoQ);
      x = m.mul(block[n - 1], twoQ);
      for (uint32_t k = 0; k < n; ++k) sc.table.Insert(i + k, block[k]);
      i += n;
    }
  }
  if (lanes) {
    const ClassWalk w{m.p, first, h1, giant, cls.r, cls.size, t, steps, Q, tableLen, d, count};
    WalkClassesInLanes(sc.table, w, sc.matches);
    sc.table.Clear(tableLen);
    return;
  }
  // Powers of 2^(−d·t) up to the largest step between a lane's classes.
  uint64_t reach[kMaxClassModulus + 1];
  reach[0] = m.one();
  for (uint32_t e = 1; e <= cls.reach; ++e) reach[e] = m.mul(reach[e - 1], h1);
  uint64_t start[kPowerLanes], v[kPowerLanes];
  for (uint32_t c0 = 0; c0 < cls.size; c0 += kPowerLanes) {
    const uint32_t lanes = std::min(kPowerLanes, cls.size - c0);
    for (uint32_t l = 0; l < lanes; ++l) {
      const uint32_t c = c0 + l;
      start[l] = m.mul(c0 == 0 ? first : start[l], reach[cls.step[c]]);
      v[l] = start[l];
    }
    for (uint32_t y = 0; y < steps; ++y) {
      for (uint32_t l = 0; l < lanes; ++l) {
        const uint64_t base = cls.r[c0 + l] + uint64_t{Q} * tableLen * y;
        sc.table.ForEachMatch(v[l], [&](uint32_t i) {
          const uint64_t a = base + uint64_t{Q} * i;
          if (a < count) sc.matches.push_back(static_cast<uint32_t>(a * d));
        });
        if (y + 1 < steps) v[l] = m.mul(v[l], giant);
      }
    }
  }
  sc.table.Clear(tableLen);
}

// The strikes are made in the order of a search with a walk of orderSpan/d doublings (walk
// step first, then the later table entry first), whatever shape the search took, so that
// the last n struck, which the reports and the verification name, and the order of the
// removed-values log never depend on the screening, the classes or the step counts.
void OrderAndAdd(const KSearchContext& ctx, std::vector<uint32_t>& matches, uint32_t index, std::vector<KStrike>& out) {
  if (matches.size() > 1) {
    const uint32_t span = ctx.orderSpan;
    std::sort(matches.begin(), matches.end(), [span](uint32_t u, uint32_t v) {
      return u % span != v % span ? u % span < v % span : u / span > v / span;
    });
  }
  for (uint32_t offset : matches) Add(out, offset, 0, index);
}

// The shape of the search for the candidates a ≡ a0 (mod t), a < count (a0 < count): the
// plain search with its walk and table lengths, or the surviving classes modulo one Q with
// their table length, whichever an estimate in table entries finds cheapest; or nothing,
// when no candidate of the class is left. It depends on t and a0 alone, so a run computes it
// once for every class the screening can give.
KSearchChoice ChooseSearch(const KSearchContext& ctx, uint32_t t, uint32_t a0) {
  const uint32_t d = ctx.adiff;
  const uint64_t count = (uint64_t{ctx.maxval} + d - 1) / d;
  const uint64_t j = (count - a0 + t - 1) / t;  // values of a in the class
  const uint64_t g = uint64_t{d} * t;
  KSearchChoice choice;
  const uint64_t walkLen = std::max<uint64_t>(1, std::llround(std::sqrt(double(j) * WalkFactor(g))));
  choice.walkLen = static_cast<uint32_t>(walkLen);
  choice.tableLen = static_cast<uint32_t>((j + walkLen - 1) / walkLen);
  // Cost in table entries: the plain search against the walks of the surviving classes (a
  // start and the giant steps of each, a fraction of an entry apiece) with one shared table,
  // for each modulus that t divides.
  double best = double(choice.tableLen) + double(walkLen) / WalkFactor(g);
  for (size_t q = 0; q < ctx.classTables.size(); ++q) {
    const KClassTable& table = ctx.classTables[q];
    if (table.modulus % t != 0) continue;
    const ClassSet c = ClassesOf(table, t, a0);
    if (c.size == 0) {  // every candidate the prime could divide is gone
      choice.table = KSearchChoice::kNothing;
      return choice;
    }
    const double perClass = std::ceil(double(count) / table.modulus);
    const double l = std::clamp(std::round(std::sqrt(c.size * perClass / kLookupsPerEntry)), 1.0, perClass);
    const double cost = (l + (c.size * (std::ceil(perClass / l) + 1) + c.reach) / kLookupsPerEntry);
    if (cost < best) {
      best = cost;
      choice.table = static_cast<int32_t>(q);
      choice.len = static_cast<uint32_t>(l);
    }
  }
  return choice;
}

// The choices for every t dividing the screening's modulus and every a0 < t.
void ChooseSearches(KSearchContext& ctx) {
  const uint64_t count = (uint64_t{ctx.maxval} + ctx.adiff - 1) / ctx.adiff;
  ctx.choiceSlot.assign(kPowerResidueModulus + 1, 0);
  for (uint32_t t = 1; t <= kPowerResidueModulus; ++t) {
    if (kPowerResidueModulus % t != 0) continue;
    ctx.choiceSlot[t] = static_cast<uint32_t>(ctx.choices.size());
    for (uint32_t a0 = 0; a0 < t; ++a0)
      ctx.choices.push_back(a0 < count ? ChooseSearch(ctx, t, a0) : KSearchChoice{});
  }
}

// Whether the spaced search has anything to look for with p: every candidate k·2^n ± 1 with
// n ≥ 1 is odd, the quadratic-residue test may rule p out, and a p dividing k divides none.
// k mod p, without a division for the usual k below p.
uint64_t KModPrime(const KSearchContext& ctx, int64_t p) {
  return static_cast<uint64_t>(ctx.startk >= 0 && ctx.startk < p ? ctx.startk : ctx.startk % p);
}

bool SpacedCandidate(const KSearchContext& ctx, int64_t p) {
  return p >= 3 && !SkipByResidue(ctx, p) && KModPrime(ctx, p) != 0;
}

// The power-residue screening of the spaced search (a0 = 0, t = 1 when it is off).
PowerResidueClass ScreenSpaced(const KSearchContext& ctx, const MontgomeryModulus& m, uint64_t kp) {
  if (!ctx.powerResidue) return PowerResidueClass{};
  return ScreenPowersOfTwoMont(m, m.toMont(kp), ctx.adiff, static_cast<uint64_t>(ctx.minNum),
                               ctx.form.plus ? m.p - 1 : 1);
}

// Every n of the range with k·2^n ± 1 ≡ 0 (mod p), for a p that SpacedCandidate admits and
// the screening's result c. The candidates are n = MinNum + a·d; the screening may show
// that none of them can be divisible, or confine a to one class a0 modulo t, so the search
// steps n by g = d·t from MinNum + a0·d.
void SearchSpaced(const KSearchContext& ctx, int64_t p, const PowerResidueClass& c, const uint64_t* powers,
                  KScratch& sc, uint32_t index, std::vector<KStrike>& out) {
  if (c.none) return;
  const uint64_t up = static_cast<uint64_t>(p);
  const uint64_t kp = KModPrime(ctx, p);
  const uint32_t d = ctx.adiff;
  const uint32_t maxval = ctx.maxval;
  const uint32_t a0 = c.a0, t = c.t;
  const MontgomeryModulus m(up);
  const uint64_t count = (uint64_t{maxval} + d - 1) / d;  // values of a with a·d in the range
  if (a0 >= count) return;
  const KSearchChoice choice =
      ctx.choices.empty() ? ChooseSearch(ctx, t, a0) : ctx.choices[ctx.choiceSlot[t] + a0];
  if (choice.table == KSearchChoice::kNothing) return;
  std::vector<uint32_t>& matches = sc.matches;
  matches.clear();
  if (choice.table >= 0) {
    const KClassTable& table = ctx.classTables[choice.table];
    SearchClasses(ctx, m, kp, t, table.modulus, ClassesOf(table, t, a0), count, choice.len, powers, sc);
    OrderAndAdd(ctx, matches, index, out);
    return;
  }
  const uint64_t g = uint64_t{d} * t;
  const uint64_t walkLen = choice.walkLen;
  const uint64_t tableLen = choice.tableLen;
  if (tableLen > sc.table.capacity()) sc.table.Reserve(static_cast<uint32_t>(tableLen));
  const uint64_t first = uint64_t{d} * a0;  // offset of the class's first candidate
  // Table: ∓2^(−MinNum − first − i·g·walkLen); walk: k·2^(g·a).
  uint64_t x = mulModWide(HalfPower(static_cast<uint32_t>(ctx.minNum), p), HalfPower(static_cast<uint32_t>(first), p), up);
  if (ctx.form.plus && x != 0) x = up - x;
  const FixedMultiplier tableStep(HalfPower(static_cast<uint32_t>(g * walkLen), p), up);
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
  OrderAndAdd(ctx, matches, index, out);
}

// The classes of a modulo each of kClassModuli that hold a candidate of the bitmap now; the
// candidates only ever go, so the lists stay a superset of the classes worth searching.
void FindSurvivingClasses(KSearchContext& ctx) {
  if (!job.fUseBitMap) return;
  const uint32_t d = ctx.adiff;
  const uint64_t count = (uint64_t{ctx.maxval} + d - 1) / d;
  std::vector<uint64_t> left;  // the values a of the candidates
  for (uint64_t a = 0; a < count; ++a)
    if (GetBit(static_cast<uint32_t>(a * d))) left.push_back(a);
  for (uint32_t Q : kClassModuli) {
    KClassTable table;
    table.modulus = Q;
    std::vector<bool> present(Q, false);
    for (uint64_t a : left) present[a % Q] = true;
    table.slot.assign(Q + 1, 0);
    for (uint32_t t = 1; t <= Q; ++t) {
      if (Q % t != 0) continue;
      table.slot[t] = static_cast<uint32_t>(table.begin.size());
      for (uint32_t a0 = 0; a0 < t; ++a0) {
        const size_t begin = table.r.size();
        table.begin.push_back(static_cast<uint32_t>(begin));
        for (uint32_t r = a0; r < Q; r += t)
          if (present[r]) table.r.push_back(static_cast<uint16_t>(r));
        uint32_t reach = 0;
        for (size_t c = begin; c < table.r.size(); ++c) {
          const size_t from = c < begin + kPowerLanes ? begin : c - kPowerLanes;
          table.step.push_back(static_cast<uint16_t>((table.r[c] - table.r[from]) / t));
          reach = std::max<uint32_t>(reach, table.step.back());
        }
        table.reach.push_back(static_cast<uint16_t>(reach));
      }
    }
    table.begin.push_back(static_cast<uint32_t>(table.r.size()));
    ctx.classTables.push_back(std::move(table));
  }
}

}  // namespace

static_assert(kMaxClassModulus % kPowerResidueModulus == 0, "a class modulus for every order the screening finds");

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
    FindSurvivingClasses(ctx);
    ChooseSearches(ctx);
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

namespace {

// The spaced searches of a batch: the primes worth a search are screened sixteen at a time in
// vector lanes where the processor and the primes allow (a remainder of a few one by one),
// then searched in batch order.
void SearchSpacedBatch(const KSearchContext& ctx, const int64_t* primes, uint32_t count, KScratch& sc,
                       std::vector<KStrike>& out) {
  std::vector<uint32_t>& lanes = sc.lanePrimes;
  std::vector<PowerResidueClass>& screened = sc.screened;
  lanes.clear();
  screened.assign(count, PowerResidueClass{});
  constexpr uint8_t kNotScreened = 0, kScreened = 1, kNoSearch = 2, kPowered = 3;
  sc.screenState.assign(count, kNotScreened);
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t p = primes[i];
    if (!SpacedCandidate(ctx, p)) {
      sc.screenState[i] = kNoSearch;
    } else if (ctx.powerResidue && ctx.vectorClasses && VectorClassWalkFits(static_cast<uint64_t>(p))) {
      lanes.push_back(i);
    }
  }
  constexpr uint32_t kFewestLanes = 4;  // below this, one by one is cheaper
  uint64_t P[kScreenLanes], K[kScreenLanes];
  PowerResidueClass C[kScreenLanes];
  for (size_t b = 0; b + kFewestLanes <= lanes.size(); b += kScreenLanes) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kScreenLanes, lanes.size() - b));
    for (uint32_t l = 0; l < n; ++l) {
      const int64_t p = primes[lanes[b + l]];
      P[l] = static_cast<uint64_t>(p);
      K[l] = KModPrime(ctx, p);
    }
    ScreenPowersOfTwoInLanes(P, K, n, ctx.adiff, static_cast<uint64_t>(ctx.minNum), ctx.form.plus, C);
    for (uint32_t l = 0; l < n; ++l) {
      screened[lanes[b + l]] = C[l];
      sc.screenState[lanes[b + l]] = kScreened;
    }
  }
  // The class searches' powers of 2 of the screened primes, sixteen at a time in lanes.
  std::vector<uint64_t>& powers = sc.classPowers;
  powers.assign(size_t{count} * 4, 0);
  std::vector<uint32_t>& jobs = sc.powerJobs;  // entries of powers
  jobs.clear();
  const uint64_t values = (uint64_t{ctx.maxval} + ctx.adiff - 1) / ctx.adiff;
  std::vector<int64_t>& jobExponents = sc.powerExponents;
  jobExponents.clear();
  for (uint32_t i = 0; i < count; ++i) {
    const PowerResidueClass& c = screened[i];
    if (sc.screenState[i] != kScreened || c.none || c.a0 >= values || ctx.choices.empty()) continue;
    const KSearchChoice& choice = ctx.choices[ctx.choiceSlot[c.t] + c.a0];
    if (choice.table < 0) continue;
    const KClassTable& table = ctx.classTables[choice.table];
    const ClassSet cls = ClassesOf(table, c.t, c.a0);
    int64_t e[4];
    ClassPowerExponents(ctx, c.t, table.modulus, cls.r[0], choice.len,
                        ClassesInLanes(ctx, cls, static_cast<uint64_t>(primes[i])), e);
    for (uint32_t j = 0; j < 4; ++j) {
      jobs.push_back(4 * i + j);
      jobExponents.push_back(e[j]);
    }
    sc.screenState[i] = kPowered;
  }
  uint64_t jobP[kTwoPowerLanes], result[kTwoPowerLanes];
  int64_t exponents[kTwoPowerLanes];
  for (size_t b = 0; b < jobs.size(); b += kTwoPowerLanes) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kTwoPowerLanes, jobs.size() - b));
    for (uint32_t l = 0; l < n; ++l) {
      jobP[l] = static_cast<uint64_t>(primes[jobs[b + l] / 4]);
      exponents[l] = jobExponents[b + l];
    }
    TwoPowersInLanes(jobP, exponents, n, result);
    for (uint32_t l = 0; l < n; ++l) powers[jobs[b + l]] = result[l];
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (sc.screenState[i] == kNoSearch) continue;
    const int64_t p = primes[i];
    if (sc.screenState[i] == kNotScreened) {
      const MontgomeryModulus m(static_cast<uint64_t>(p));
      screened[i] = ScreenSpaced(ctx, m, KModPrime(ctx, p));
    }
    SearchSpaced(ctx, p, screened[i], sc.screenState[i] == kPowered ? &powers[4 * i] : nullptr, sc, i, out);
  }
}

}  // namespace

void FindKStrikes(const KSearchContext& ctx, const int64_t* primes, uint32_t count, KScratch& scratch,
                  std::vector<KStrike>& out) {
  if (ctx.kind == KSearchKind::Spaced) {
    SearchSpacedBatch(ctx, primes, count, scratch, out);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t p = primes[i];
    switch (ctx.kind) {
      case KSearchKind::Base2: SearchBase2(ctx, p, scratch, i, out); break;
      case KSearchKind::OtherBase: SearchOtherBase(ctx, p, scratch, i, out); break;
      case KSearchKind::ShortRange: SearchShortRange(ctx, p, i, out); break;
      case KSearchKind::Spaced: break;
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
