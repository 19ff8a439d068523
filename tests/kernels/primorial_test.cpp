// Packed primorials against GMP: the packed values themselves, their residues modulo primes
// below and above 2^32 for the largest index and the forms that leave factors out, and the
// primorial strike steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "engine/sieve_job.h"
#include "kernels/batch_finders.h"
#include "kernels/modarith.h"
#include "kernels/primorial.h"
#include "primes/primetable.h"
#include "primes/soe2.h"
#include "tests/kernels/reference.h"

namespace {

struct TableEnv : ::testing::Environment {
  void SetUp() override { FillPrimetable(); }
};
const auto* env = ::testing::AddGlobalTestEnvironment(new TableEnv);

constexpr uint32_t LARGEST_INDEX = 274579;

// n# with the factors the form leaves out divided away.
mpz_class primorialOf(uint32_t n, std::vector<unsigned long> leftOut) {
  mpz_class p;
  mpz_primorial_ui(p.get_mpz_t(), n);
  for (unsigned long f : leftOut)
    if (f <= n) p /= f;
  return p;
}

mpz_class limbValue() {
  mpz_class v = 0;
  for (uint32_t i = _nPackPrimorial; i-- > 0;) {
    EXPECT_LT((uint64_t)_PackPrimorial[i], uint64_t(1) << 48);
    v = (v << 48) + (unsigned long)_PackPrimorial[i];
  }
  return v;
}

mpz_class productOf(const uint32_t* words, uint32_t count) {
  mpz_class v = 1;
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_LE(words[i], 0x7fffffffu);
    v *= (unsigned long)words[i];
  }
  return v;
}

uint64_t modOf(const mpz_class& v, uint64_t p) { return mpz_fdiv_ui(v.get_mpz_t(), (unsigned long)p); }

TEST(FillPackPrimorial, PackingExamples) {
  double log = FillPackPrimorial(7, 0x41);
  ASSERT_EQ(_nPackPrimorial, 1u);
  EXPECT_EQ(_PackPrimorial[0], 210);
  ASSERT_EQ(_nSmallPackPrimorial, 1u);
  EXPECT_EQ(_SmallPackPrimorial[0], 210u);
  EXPECT_NEAR(log, std::log(210.0), 1e-12);

  log = FillPackPrimorial(11, MODE_PRIMORIAL | MODE_PLUS5 | MODE_PLUS);
  EXPECT_EQ(_PackPrimorial[0], 462);
  EXPECT_EQ(_SmallPackPrimorial[0], 462u);
  EXPECT_NEAR(log, std::log(462.0), 1e-12);
  EXPECT_EQ(primetable[1], 5u);
  EXPECT_EQ(primetable[2], 7u);

  log = FillPackPrimorial(7, 0x5D);
  EXPECT_EQ(_PackPrimorial[0], 105);
  EXPECT_NEAR(log, std::log(105.0), 1e-12);
  FillPackPrimorial(13, 0x6E);
  EXPECT_EQ(_PackPrimorial[0], 3 * 5 * 7 * 11 * 13);
  FillPackPrimorial(13, MODE_PRIMORIAL | MODE_PLUS5 | MODE_PLUS7 | 0x0F);
  EXPECT_EQ(_PackPrimorial[0], 2 * 3 * 11 * 13);

  const int64_t factors[] = {3, 5, 11};
  log = FillMyPackPrimorial(factors, 3);
  ASSERT_EQ(_nPackPrimorial, 1u);
  EXPECT_EQ(_PackPrimorial[0], 165);
  EXPECT_NEAR(log, std::log(165.0), 1e-12);
}

TEST(FillPackPrimorial, CarryIntoANewLimb) {
  FillPackPrimorial(41, 0x41);  // 41# = 304250263527210, just above 2^48
  ASSERT_EQ(_nPackPrimorial, 2u);
  EXPECT_EQ(limbValue(), primorialOf(41, {}));
  std::mt19937_64 rng(21);
  for (int i = 0; i < 200; ++i) {
    uint64_t p = ref::randomPrime(rng, 43, uint64_t(1) << (i % 2 ? 32 : 62));
    ASSERT_EQ((uint64_t)GetPrimorialModP(p), modOf(primorialOf(41, {}), p)) << p;
  }
}

struct Form {
  uint32_t mode;
  std::vector<unsigned long> leftOut;
};
const Form kForms[] = {
    {MODE_PRIMORIAL | MODE_PLUS, {}},
    {0x5D, {2}},
    {0x6E, {2}},
    {MODE_PRIMORIAL | MODE_PLUS5 | 0x07, {5}},
    {MODE_PRIMORIAL | MODE_PLUS5 | MODE_PLUS7 | 0x0F, {5, 7}},
};

TEST(FillPackPrimorial, LargestIndexInEveryFormAgreesWithGmp) {
  std::mt19937_64 rng(22);
  for (const Form& form : kForms) {
    double log = FillPackPrimorial(LARGEST_INDEX, form.mode);
    const mpz_class want = primorialOf(LARGEST_INDEX, form.leftOut);
    SCOPED_TRACE(testing::Message() << "mode " << form.mode);
    ASSERT_EQ(limbValue(), want);
    ASSERT_EQ(productOf(_SmallPackPrimorial, _nSmallPackPrimorial), want);
    long exp2;
    double mant = mpz_get_d_2exp(&exp2, want.get_mpz_t());
    EXPECT_NEAR(log, std::log(mant) + exp2 * std::log(2.0), 1e-6);
    EXPECT_EQ(primetable[1], 5u);
    EXPECT_EQ(primetable[2], 7u);

    for (const auto& regime : ref::kRegimes) {
      for (int i = 0; i < 6; ++i) {
        uint64_t p = ref::randomPrime(rng, regime.lo, regime.hi);
        ASSERT_EQ((uint64_t)GetPrimorialModP(p), modOf(want, p)) << regime.name << " p=" << p;
        uint64_t q = ref::randomPrime(rng, regime.lo, regime.hi);
        int64_t a, b;
        pair_GetPrimorialModP(p, q, a, b);
        ASSERT_EQ((uint64_t)a, modOf(want, p)) << regime.name << " p=" << p;
        ASSERT_EQ((uint64_t)b, modOf(want, q)) << regime.name << " q=" << q;
      }
    }
  }
}

TEST(PrimorialModP, SingleAndPairAgreeUpTo2_32WithAPlaceholder) {
  FillPackPrimorial(20011, MODE_PRIMORIAL | MODE_PLUS);
  const mpz_class want = primorialOf(20011, {});
  std::mt19937_64 rng(23);
  for (int i = 0; i < 300; ++i) {
    uint64_t p = ref::randomPrime(rng, 3, (uint64_t(1) << 32) + 1);
    int64_t a, b;
    pair_GetPrimorialModP(p, 100, a, b);
    ASSERT_EQ(a, GetPrimorialModP(p)) << p;
    ASSERT_EQ((uint64_t)a, modOf(want, p)) << p;
    ASSERT_EQ((uint64_t)b, modOf(want, 100));
  }
  uint64_t top = ref::primeBelow(uint64_t(1) << 32);
  int64_t a, b;
  pair_GetPrimorialModP(top, top, a, b);
  EXPECT_EQ((uint64_t)a, modOf(want, top));
  EXPECT_EQ(a, b);
  // Primes inside the primorial divide it.
  for (uint64_t p : {3u, 7u, 19997u, 20011u}) EXPECT_EQ(GetPrimorialModP(p), 0) << p;
  FillPackPrimorial(13, 0x41);
  pair_GetPrimorialModP(101, 100, a, b);
  EXPECT_EQ(a, 30030 % 101);
  EXPECT_EQ(b, 30030 % 100);
}

TEST(DoPrimorial, StrikesTheInverseOrNothing) {
  std::vector<std::pair<int64_t, int64_t>> struck;
  auto remove = [&](const int64_t& p, int64_t k0) { struck.emplace_back(p, k0); };
  FillPackPrimorial(1009, 0x41);
  const mpz_class P = primorialOf(1009, {});
  std::mt19937_64 rng(24);
  for (const auto& regime : ref::kRegimes) {
    uint64_t p = ref::randomPrime(rng, std::max<uint64_t>(regime.lo, 1010), regime.hi);
    int64_t x = GetPrimorialModP(p);
    struck.clear();
    DoPrimorial(p, x, remove);
    ASSERT_EQ(struck.size(), 1u);
    EXPECT_EQ((uint64_t)struck[0].second, ref::inverse(modOf(P, p), p));

    x = GetPrimorialModP(p);
    struck.clear();
    DoPrimorial_AP(p, x, remove);
    ASSERT_EQ(struck.size(), 1u);
    // p divides P + 2k − 1, and k lies in [1, p].
    mpz_class check = P + 2 * mpz_class((unsigned long)struck[0].second) - 1;
    EXPECT_EQ(mpz_fdiv_ui(check.get_mpz_t(), (unsigned long)p), 0u);
    EXPECT_GE(struck[0].second, 1);
    EXPECT_LE((uint64_t)struck[0].second, p);
  }
  // p ≤ n divides P: nothing is struck.
  int64_t x = GetPrimorialModP(997);
  EXPECT_EQ(x, 0);
  struck.clear();
  DoPrimorial(997, x, remove);
  EXPECT_TRUE(struck.empty());
  // A composite p above MAXGUAR fails the inverse's check: nothing is struck.
  uint64_t composite = 3 * ref::primeAtOrAbove(MAXGUAR / 3 + 1000);
  x = GetPrimorialModP(composite);
  DoPrimorial(composite, x, remove);
  EXPECT_TRUE(struck.empty());
  // AP at a prime dividing P: (1 − 0)/2 = (p + 1)/2.
  x = GetPrimorialModP(997);
  DoPrimorial_AP(997, x, remove);
  ASSERT_EQ(struck.size(), 1u);
  EXPECT_EQ(struck[0].second, 499);
}

TEST(FillMyPackPrimorial, PacksFactorsBelow2_61) {
  std::vector<int64_t> factors;
  std::mt19937_64 rng(25);
  mpz_class want = 1;
  for (int i = 0; i < 1000; ++i) {
    int64_t f = 2 + (int64_t)(rng() % (i % 3 ? 1000000 : (uint64_t(1) << 40)));
    factors.push_back(f);
    want *= (unsigned long)f;
  }
  double log = FillMyPackPrimorial(factors.data(), (uint32_t)factors.size());
  mpz_class got = 1;
  for (uint32_t i = 0; i < _nPackPrimorial; ++i) {
    ASSERT_LE((uint64_t)_PackPrimorial[i], (uint64_t(1) << 61) - 1);
    got *= (unsigned long)_PackPrimorial[i];
  }
  EXPECT_EQ(got, want);
  long exp2;
  double mant = mpz_get_d_2exp(&exp2, want.get_mpz_t());
  EXPECT_NEAR(log, std::log(mant) + exp2 * std::log(2.0), 1e-6);
  EXPECT_EQ(_nSmallPackPrimorial, 0u);
}

}  // namespace

// The batch reductions against the one-prime ones, slot by slot, with the IFMA chains allowed
// and not, in every regime, at the chains' upper bound and with primes that divide P.
struct BatchCase {
  std::vector<int64_t> primes;
  std::string name;
};

std::vector<BatchCase> BatchCases(std::mt19937_64& rng) {
  std::vector<BatchCase> cases;
  for (const auto& regime : ref::kRegimes)
    for (int size : {1, 2, 7, 8, 9, 15, 16}) {
      BatchCase c{{}, std::string(regime.name) + " size " + std::to_string(size)};
      for (int i = 0; i < size; ++i) c.primes.push_back((int64_t)ref::randomPrime(rng, regime.lo, regime.hi));
      std::sort(c.primes.begin(), c.primes.end());
      cases.push_back(c);
    }
  const uint64_t bound = uint64_t(1) << 49;  // the IFMA chains' limit
  BatchCase below{{}, "just below 2^49"}, across{{}, "across 2^49"}, small{{}, "dividing P and tiny"};
  for (uint64_t p = ref::primeBelow(bound); below.primes.size() < 16; p = ref::primeBelow(p))
    below.primes.insert(below.primes.begin(), (int64_t)p);
  across.primes.assign(below.primes.begin() + 1, below.primes.end());
  across.primes.push_back((int64_t)ref::primeAtOrAbove(bound));
  small.primes = {3, 5, 7, 11, 13, 997, 1009, 1013, 20011, 100003};
  // Around 2^32 (the pairs' limit) and MAXGUAR, one batch each.
  BatchCase pairs{{}, "across 2^32"}, guar{{}, "across MAXGUAR"};
  for (uint64_t p = ref::primeBelow(uint64_t(1) << 32), i = 0; i < 7; ++i, p = ref::primeBelow(p)) pairs.primes.push_back((int64_t)p);
  for (uint64_t p = ref::primeAtOrAbove(uint64_t(1) << 32), i = 0; i < 8; ++i, p = ref::primeAtOrAbove(p + 1)) pairs.primes.push_back((int64_t)p);
  for (uint64_t p = ref::primeAtOrAbove(MAXGUAR - 200), i = 0; i < 16; ++i, p = ref::primeAtOrAbove(p + 1)) guar.primes.push_back((int64_t)p);
  std::sort(pairs.primes.begin(), pairs.primes.end());
  for (auto* c : {&below, &across, &small, &pairs, &guar}) cases.push_back(*c);
  return cases;
}

TEST(PrimorialBatch, ResiduesAndInversesAgreeWithTheOnePrimePathSlotBySlot) {
  std::mt19937_64 rng(25);
  const std::vector<BatchCase> cases = BatchCases(rng);
  for (uint32_t n : {1009u, 20011u}) {
    FillPackPrimorial(n, MODE_PRIMORIAL | MODE_PLUS);
    const mpz_class P = primorialOf(n, {});
    for (bool ifma : {true, false}) {
      setIfmaAllowed(ifma);
      for (const BatchCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "n=" << n << " ifma=" << ifma << " " << c.name);
        const int count = (int)c.primes.size();
        int64_t x[PRIMORIAL_BATCH + 1], r[PRIMORIAL_BATCH + 1];
        x[count] = r[count] = -7;  // past the batch: untouched
        GetPrimorialModPBatch(c.primes.data(), count, x);
        Get48bitInverseBatch(c.primes.data(), x, count, r);
        ASSERT_EQ(x[count], -7);
        ASSERT_EQ(r[count], -7);
        for (int i = 0; i < count; ++i) {
          const int64_t p = c.primes[i];
          ASSERT_EQ(x[i], GetPrimorialModP(p)) << "slot " << i << " p=" << p;
          ASSERT_EQ((uint64_t)x[i], modOf(P, (uint64_t)p)) << "slot " << i << " p=" << p;
          ASSERT_EQ(r[i], x[i] == 0 ? 0 : Get48bitInverse(x[i], p)) << "slot " << i << " p=" << p;
        }
      }
    }
  }
  setIfmaAllowed(true);
}

TEST(PrimorialBatch, InversesOfAnyValueAndTheCheckAboveMaxguar) {
  std::mt19937_64 rng(26);
  // Odd composites above MAXGUAR with no factor below 109873 (what the source may deliver),
  // and primes of the same size: both paths must keep or refuse the same inverses.
  std::vector<int64_t> p;
  for (int i = 0; i < 8; ++i) {
    uint64_t a = ref::randomPrime(rng, 110000, 3000000), b = ref::randomPrime(rng, 110000, 3000000);
    p.push_back((int64_t)(a * b));
    p.push_back((int64_t)ref::randomPrime(rng, MAXGUAR, uint64_t(1) << 45));
  }
  for (bool ifma : {true, false}) {
    setIfmaAllowed(ifma);
    for (int round = 0; round < 20; ++round) {
      int64_t x[16], r[16];
      for (int i = 0; i < 16; ++i) {
        const uint64_t q = (uint64_t)p[i];
        const uint64_t pick = round == 0 ? 1 : round == 1 ? q - 1 : round == 2 ? 0 : rng() % q;
        x[i] = (int64_t)pick;
      }
      Get48bitInverseBatch(p.data(), x, 16, r);
      for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE(testing::Message() << "ifma=" << ifma << " p=" << p[i] << " x=" << x[i]);
        ASSERT_EQ(r[i], x[i] == 0 ? 0 : Get48bitInverse(x[i], p[i]));
        if (r[i] != 0) {
          ASSERT_EQ(ref::mulmod((uint64_t)r[i], (uint64_t)x[i], (uint64_t)p[i]), 1u);
        }
      }
    }
  }
  setIfmaAllowed(true);
}
