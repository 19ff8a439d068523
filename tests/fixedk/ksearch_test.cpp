// The per-prime fixed-k search against a plain reference: for each prime, every offset whose
// candidate it divides (found by stepping k·b^n mod p through the whole range in __int128),
// put in the order the sieves strike them; batches against single primes; the store-side
// application against the work procedures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/sieve_job.h"
#include "fixedk/ksearch.h"
#include "fixedk/ksieve.h"
#include "tests/fixedk/ksieve_fixture.h"

namespace {

using u128 = unsigned __int128;

FixedKCase Case(uint32_t mode, uint32_t base, int32_t k, int64_t nmin, int64_t nmax) {
  FixedKCase c;
  c.mode = mode;
  c.base = base;
  c.k = k;
  c.nmin = nmin;
  c.nmax = nmax;
  return c;
}

uint64_t PowMod(uint64_t b, uint64_t e, uint64_t m) {
  uint64_t r = 1 % m;
  b %= m;
  for (; e; e >>= 1) {
    if (e & 1) r = static_cast<uint64_t>(u128{r} * b % m);
    b = static_cast<uint64_t>(u128{b} * b % m);
  }
  return r;
}

// Offsets o of the range for which m divides the candidate for n = nmin + o (plain k only),
// ascending; m need not be prime.
std::vector<uint32_t> DividingOffsets(const FixedKCase& c, uint64_t m) {
  const bool bnk = (c.mode & MODE_BN_K) != 0, plus = (c.mode & MODE_PLUS) != 0;
  const uint64_t k = static_cast<uint64_t>(c.k) % m;
  uint64_t power = PowMod(c.base, static_cast<uint64_t>(c.nmin), m);  // b^n mod m
  std::vector<uint32_t> out;
  for (int64_t n = c.nmin; n <= c.nmax; ++n) {
    uint64_t v;  // the candidate mod m
    if (bnk)
      v = plus ? (power + k) % m : (power + m - k) % m;
    else
      v = (static_cast<uint64_t>(u128{k} * power % m) + (plus ? 1 : m - 1)) % m;
    if (v == 0) out.push_back(static_cast<uint32_t>(n - c.nmin));
    power = static_cast<uint64_t>(u128{power} * c.base % m);
  }
  return out;
}

// Whether the sieve's small primes have already removed the candidate at this offset: 3
// (when it does not divide k) removes one parity of n, and the odd-n option every even n.
bool GoneBeforeTheSearch(const FixedKCase& c, uint32_t offset) {
  const int64_t n = c.nmin + offset;
  if ((c.mode & MODE_ODD_N) && n % 2 == 0) return true;
  if (c.k % 3 == 0 || c.base != 2) return false;
  const std::vector<uint32_t> byThree = DividingOffsets(Case(c.mode, c.base, c.k, n, n), 3);
  return !byThree.empty();
}

std::vector<KStrike> Find(const KSearchContext& ctx, int64_t p, KScratch& scratch) {
  std::vector<KStrike> out;
  FindKStrikes(ctx, &p, 1, scratch, out);
  return out;
}

std::vector<uint32_t> Offsets(const std::vector<KStrike>& strikes) {
  std::vector<uint32_t> out;
  for (const KStrike& s : strikes) out.push_back(s.offset);
  return out;
}

// A prime either strikes exactly the reference offsets in the order given, or nothing, and
// then only when none of them is still a candidate (the skips are exact for those alone).
std::string CheckPrime(const FixedKCase& c, int64_t p, const std::vector<KStrike>& found,
                       const std::vector<uint32_t>& ordered) {
  for (const KStrike& s : found)
    if (s.step != 0 || s.index != 0) return "p=" + std::to_string(p) + ": not a single offset\n";
  if (!found.empty()) {
    if (Offsets(found) != ordered) return "p=" + std::to_string(p) + ": offsets or their order differ\n";
    return "";
  }
  for (uint32_t o : ordered)
    if (!GoneBeforeTheSearch(c, o))
      return "p=" + std::to_string(p) + ": skipped, yet divides n=" + std::to_string(c.nmin + o) + "\n";
  return "";
}

// The baby-step giant-step searches strike in the order of the giant steps, and for one
// giant step the later table entry first: offset i·arange + j by i up, then j down.
std::string CheckTableSearch(const FixedKCase& c, KSearchKind kind, const std::vector<uint64_t>& primes) {
  SetUpFixedKJob(c);
  const KSearchContext ctx = PrepareKSearch(kind);
  KScratch scratch;
  std::string report;
  for (uint64_t q : primes) {
    const int64_t p = static_cast<int64_t>(q);
    if (c.base % q == 0) continue;
    std::vector<uint32_t> ref = DividingOffsets(c, q);
    const uint32_t a = ctx.arange;
    std::sort(ref.begin(), ref.end(), [a](uint32_t u, uint32_t v) {
      return u / a != v / a ? u / a < v / a : u % a > v % a;
    });
    report += CheckPrime(c, p, Find(ctx, p, scratch), ref);
    if (report.size() > 400) break;
  }
  return report;
}

// The spaced search strikes the offsets that are multiples of d, in the order of a doubling
// walk of orderSpan/d steps, whatever the screening did.
std::string CheckSpacedSearch(const FixedKCase& c, uint32_t d, bool screening, const std::vector<uint64_t>& primes) {
  SetUpFixedKJob(c);
  KSearchContext ctx = PrepareKSearch(KSearchKind::Spaced, d);
  ctx.powerResidue = screening;
  KScratch scratch;
  std::string report;
  for (uint64_t q : primes) {
    const int64_t p = static_cast<int64_t>(q);
    std::vector<uint32_t> ref;
    for (uint32_t o : DividingOffsets(c, q))
      if (o % d == 0) ref.push_back(o);
    const uint32_t span = ctx.orderSpan;
    std::sort(ref.begin(), ref.end(), [span](uint32_t u, uint32_t v) {
      return u % span != v % span ? u % span < v % span : u / span > v / span;
    });
    report += CheckPrime(c, p, Find(ctx, p, scratch), ref);
    if (report.size() > 400) break;
  }
  return report;
}

const std::vector<uint64_t>& SmallPrimes() {
  static const std::vector<uint64_t> primes = oddPrimesBetween(5, 30000);
  return primes;
}

const std::vector<uint64_t>& PrimesAboveTwoToThe32() {
  static const std::vector<uint64_t> primes =
      oddPrimesBetween((uint64_t{1} << 32) - 20000, (uint64_t{1} << 32) + 20000);
  return primes;
}

TEST(FindKStrikes, BaseTwoTableSearchStrikesInWalkOrder) {
  const FixedKCase cases[] = {
      Case(0x0101, 2, 3, 3001, 9000),  Case(0x0102, 2, 5, 3001, 9000),    Case(0x0102, 2, 7, 100, 6000),
      Case(0x2101, 2, 3, 3001, 9000),  Case(0x8001, 2, 7, 3001, 9000),    Case(0x8002, 2, 1000001, 3001, 9000),
      Case(0x0101, 2, 1073741827, 3001, 6000),
  };
  for (const FixedKCase& c : cases) {
    EXPECT_EQ(CheckTableSearch(c, KSearchKind::Base2, SmallPrimes()), "") << "mode " << c.mode << " k " << c.k;
    EXPECT_EQ(CheckTableSearch(c, KSearchKind::Base2, PrimesAboveTwoToThe32()), "") << "mode " << c.mode << " k " << c.k;
  }
}

TEST(FindKStrikes, OtherBaseTableSearchStrikesInWalkOrder) {
  const FixedKCase cases[] = {
      Case(0x0101, 3, 2, 1, 4000), Case(0x0102, 5, 4, 100, 4000), Case(0x0101, 10, 3, 100, 4000),
      Case(0x8001, 3, 4, 0, 4000), Case(0x8002, 10, 7, 1, 4000),
  };
  for (const FixedKCase& c : cases) {
    EXPECT_EQ(CheckTableSearch(c, KSearchKind::OtherBase, SmallPrimes()), "") << "mode " << c.mode << " base " << c.base;
    EXPECT_EQ(CheckTableSearch(c, KSearchKind::OtherBase, PrimesAboveTwoToThe32()), "") << "mode " << c.mode << " base " << c.base;
  }
}

// The power-residue screening of the table searches changes nothing but the work: the same
// strikes in the same order with and without it, for true primes below MAXGUAR, and above it,
// where the prime source may hand over composites, the screening (exact for primes only) is
// not used at all.
TEST(FindKStrikes, ScreenedTableSearchStrikesAsTheUnscreenedOne) {
  const struct {
    FixedKCase c;
    KSearchKind kind;
  } runs[] = {{Case(0x0101, 2, 3, 3001, 9000), KSearchKind::Base2},    {Case(0x0102, 2, 1, 3001, 9000), KSearchKind::Base2},
              {Case(0x8001, 2, 7, 3001, 9000), KSearchKind::Base2},    {Case(0x0141, 2, 11, 3001, 7000), KSearchKind::Base2},
              {Case(0x0101, 3, 2, 1, 4000), KSearchKind::OtherBase},   {Case(0x0102, 5, 4, 100, 4000), KSearchKind::OtherBase},
              {Case(0x8002, 10, 7, 1, 4000), KSearchKind::OtherBase},  {Case(0x8001, 3, 4, 0, 4000), KSearchKind::OtherBase}};
  std::vector<uint64_t> primes = SmallPrimes();
  primes.insert(primes.end(), PrimesAboveTwoToThe32().begin(), PrimesAboveTwoToThe32().end());
  // Primes just below MAXGUAR, and odd numbers above it, prime or not.
  for (uint64_t q : oddPrimesBetween(12072076129ULL - 4000, 12072076128ULL)) primes.push_back(q);
  for (uint64_t q = 12072076129ULL; q < 12072076129ULL + 4000; q += 2) primes.push_back(q);
  for (const auto& r : runs) {
    SetUpFixedKJob(r.c);
    KSearchContext screened = PrepareKSearch(r.kind), plain = screened;
    plain.powerResidue = false;
    KScratch scratch;
    int struck = 0;
    for (uint64_t q : primes) {
      if (r.c.base % q == 0) continue;
      const std::vector<KStrike> a = Find(screened, static_cast<int64_t>(q), scratch);
      const std::vector<KStrike> b = Find(plain, static_cast<int64_t>(q), scratch);
      ASSERT_EQ(Offsets(a), Offsets(b)) << "mode " << r.c.mode << " base " << r.c.base << " p=" << q;
      struck += !a.empty();
    }
    EXPECT_GT(struck, 100) << "mode " << r.c.mode << " base " << r.c.base;
  }
}

TEST(FindKStrikes, SharedFactorOfBAndKStrikesTheWholeRange) {
  SetUpFixedKJob(Case(0x8002, 3, 6, 0, 4000));
  const KSearchContext ctx = PrepareKSearch(KSearchKind::OtherBase);
  KScratch scratch;
  const std::vector<KStrike> s = Find(ctx, 3, scratch);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].offset, 1u);  // n ≥ 1: 3^0 − 6 is not a multiple of 3
  EXPECT_EQ(s[0].step, 1u);
}

TEST(FindKStrikes, SpacedSearchOrderDoesNotDependOnTheScreening) {
  const struct {
    FixedKCase c;
    uint32_t d;
  } runs[] = {{Case(0x0102, 2, 3, 1000, 12000), 1}, {Case(0x0102, 2, 3, 1000, 12000), 2},
              {Case(0x0101, 2, 5, 1001, 12000), 2}, {Case(0x0102, 2, 7, 1001, 12000), 6},
              {Case(0x0101, 2, 1073741827, 1000, 8000), 4}};
  for (const auto& r : runs) {
    for (bool screening : {false, true}) {
      EXPECT_EQ(CheckSpacedSearch(r.c, r.d, screening, SmallPrimes()), "") << "k " << r.c.k << " d " << r.d;
      EXPECT_EQ(CheckSpacedSearch(r.c, r.d, screening, PrimesAboveTwoToThe32()), "") << "k " << r.c.k << " d " << r.d;
    }
  }
}

// Once the small primes have thinned the candidates, the spaced search may walk only the
// classes that still hold some: it then strikes every dividing offset still a candidate, and
// only dividing offsets, in the order of the full list, whether its classes are walked in
// vector lanes or not.
TEST(FindKStrikes, SpacedSearchOverSurvivingClasses) {
  for (const FixedKCase& c : {Case(0x0101, 2, 5, 1000, 40000), Case(0x0102, 2, 3, 1000, 40000),
                              Case(0x0102, 2, 1073741827, 1000, 30000)}) {
    SetUpFixedKJob(c);
    SieveWith(DoKSieve, oddPrimesBetween(3, 5000));
    const KSearchContext ctx = PrepareKSearch(KSearchKind::Spaced, 1);
    ASSERT_FALSE(ctx.classTables.empty());
    // Classes walked one lane of four at a time, not in vectors, and each search choosing its
    // shape for itself rather than from the run's choices.
    KSearchContext scalar = ctx;
    scalar.vectorClasses = false;
    scalar.choices.clear();
    KScratch scratch;
    std::vector<uint64_t> primes = oddPrimesBetween(5003, 60000);
    primes.insert(primes.end(), PrimesAboveTwoToThe32().begin(), PrimesAboveTwoToThe32().end());
    int omitted = 0;
    for (uint64_t q : primes) {
      const int64_t p = static_cast<int64_t>(q);
      std::vector<uint32_t> ref = DividingOffsets(c, q);
      const uint32_t span = ctx.orderSpan;
      std::sort(ref.begin(), ref.end(), [span](uint32_t u, uint32_t v) {
        return u % span != v % span ? u % span < v % span : u / span > v / span;
      });
      const std::vector<uint32_t> found = Offsets(Find(ctx, p, scratch));
      ASSERT_EQ(Offsets(Find(scalar, p, scratch)), found) << "p=" << p;
      // found is ref with some offsets left out, each of them no longer a candidate, or
      // nothing at all when the residue skip shows no candidate can be divisible.
      size_t i = 0;
      for (uint32_t o : ref) {
        if (i < found.size() && found[i] == o) {
          ++i;
        } else if (IsCandidateNow(c.nmin + o) && !(found.empty() && GoneBeforeTheSearch(c, o))) {
          FAIL() << "p=" << p << " misses n=" << c.nmin + o << ", still a candidate";
        } else if (!found.empty()) {
          ++omitted;
        }
      }
      ASSERT_EQ(i, found.size()) << "p=" << p << ": a strike is not a dividing offset, or out of order";
    }
    EXPECT_GT(omitted, 0) << "the search never left out a class without candidates";
  }
}

TEST(FindKStrikes, ShortRangeWalkGivesTheWholeClass) {
  for (const FixedKCase& c : {Case(0x0101, 2, 3, 1, 2999), Case(0x0102, 2, 5, 100, 3098)}) {
    SetUpFixedKJob(c);
    const KSearchContext ctx = PrepareKSearch(KSearchKind::ShortRange);
    KScratch scratch;
    std::vector<uint64_t> primes = SmallPrimes();
    primes.insert(primes.end(), PrimesAboveTwoToThe32().begin(), PrimesAboveTwoToThe32().end());
    for (uint64_t q : primes) {
      const int64_t p = static_cast<int64_t>(q);
      const std::vector<uint32_t> ref = DividingOffsets(c, q);
      const std::vector<KStrike> s = Find(ctx, p, scratch);
      if (ref.empty()) {
        ASSERT_TRUE(s.empty()) << p;
        continue;
      }
      ASSERT_EQ(s.size(), 1u) << p;
      // Forward from the smallest above 2^32, backward from the largest below.
      EXPECT_EQ(s[0].offset, q > (uint64_t{1} << 32) ? ref.front() : ref.back()) << p;
      std::vector<uint32_t> cls;
      for (uint32_t o = s[0].offset % s[0].step; o < ctx.maxval; o += s[0].step) cls.push_back(o);
      ASSERT_EQ(cls, ref) << p;
    }
  }
}

// A batch's strikes are its primes' own, one prime at a time, slot by slot: the other-base
// search, and the spaced search whose batches screen their primes in vector lanes (batches
// of every size up to 256, primes below 2^32, near 2^32 and near 2^49).
void ExpectBatchIsSingles(const KSearchContext& ctx, const std::vector<int64_t>& primes, uint32_t batchSize,
                          size_t atLeast) {
  KScratch batchScratch, singleScratch;
  std::vector<KStrike> batch;
  for (size_t b = 0; b < primes.size(); b += batchSize) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(batchSize, primes.size() - b));
    std::vector<KStrike> part;
    FindKStrikes(ctx, primes.data() + b, n, batchScratch, part);
    for (KStrike s : part) batch.push_back(KStrike{s.offset, s.step, static_cast<uint32_t>(b + s.index)});
  }
  std::vector<KStrike> singles;
  for (uint32_t i = 0; i < primes.size(); ++i)
    for (KStrike s : Find(ctx, primes[i], singleScratch)) singles.push_back(KStrike{s.offset, s.step, i});
  ASSERT_EQ(batch.size(), singles.size()) << "batches of " << batchSize;
  for (size_t i = 0; i < batch.size(); ++i) {
    ASSERT_EQ(batch[i].offset, singles[i].offset) << "batches of " << batchSize << ", strike " << i;
    ASSERT_EQ(batch[i].step, singles[i].step) << "batches of " << batchSize << ", strike " << i;
    ASSERT_EQ(batch[i].index, singles[i].index) << "batches of " << batchSize << ", strike " << i;
  }
  EXPECT_GT(batch.size(), atLeast);
}

TEST(FindKStrikes, ABatchIsItsPrimesOneByOne) {
  SetUpFixedKJob(Case(0x0101, 3, 2, 1, 4000));
  std::vector<int64_t> primes;
  for (uint64_t q : SmallPrimes()) primes.push_back(static_cast<int64_t>(q));
  ExpectBatchIsSingles(PrepareKSearch(KSearchKind::OtherBase), primes, static_cast<uint32_t>(primes.size()), 100);

  for (const FixedKCase& c : {Case(0x0102, 2, 3, 1000, 40000), Case(0x0101, 2, 5, 1001, 30000),
                              Case(0x0102, 2, 1073741827, 1001, 20000)}) {
    SetUpFixedKJob(c);
    SieveWith(DoKSieve, oddPrimesBetween(3, 5000));
    std::vector<int64_t> spaced;
    for (uint64_t q : oddPrimesBetween(5003, 40000)) spaced.push_back(static_cast<int64_t>(q));
    for (uint64_t q : PrimesAboveTwoToThe32()) spaced.push_back(static_cast<int64_t>(q));
    for (uint64_t q : oddPrimesBetween((uint64_t{1} << 49) - 3000, (uint64_t{1} << 49))) spaced.push_back(static_cast<int64_t>(q));
    for (uint32_t d : {1u, 2u}) {
      SCOPED_TRACE("k " + std::to_string(c.k) + " d " + std::to_string(d));
      const KSearchContext ctx = PrepareKSearch(KSearchKind::Spaced, d);
      for (uint32_t size : {3u, 16u, 37u, 256u}) ExpectBatchIsSingles(ctx, spaced, size, 100);
    }
  }
}

// Applying the found strikes prime by prime leaves the survivors of the work procedure.
TEST(ApplyKStrikes, LeavesTheProceduresSurvivors) {
  const struct {
    FixedKCase c;
    KSearchKind kind;
    void (*procedure)(const int64_t&);
  } runs[] = {{Case(0x0101, 2, 3, 1, 5000), KSearchKind::Base2, DoKSieve_tiny},
              {Case(0x0102, 2, 5, 1, 2000), KSearchKind::ShortRange, DoKSieveShortRange},
              {Case(0x8002, 3, 6, 1, 3000), KSearchKind::OtherBase, DoKSieveOtherBases}};
  for (const auto& r : runs) {
    SetUpFixedKJob(r.c);
    SieveWith(r.procedure, SmallPrimes());
    const std::vector<int64_t> byProcedure = SurvivingN();
    SetUpFixedKJob(r.c);
    const KSearchContext ctx = PrepareKSearch(r.kind);
    KScratch scratch;
    for (uint64_t q : SmallPrimes()) {
      const std::vector<KStrike> s = Find(ctx, static_cast<int64_t>(q), scratch);
      PrimeStrikes ps;
      ApplyKStrikes(ctx, static_cast<int64_t>(q), s.data(), s.data() + s.size(), ps);
    }
    EXPECT_EQ(SurvivingN(), byProcedure) << "mode " << r.c.mode;
    EXPECT_EQ(CompareWithOracle(r.c, SmallPrimes()), "") << "mode " << r.c.mode;
  }
}

}  // namespace
