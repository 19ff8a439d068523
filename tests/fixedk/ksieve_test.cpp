// The fixed-k work procedures called prime by prime on in-process jobs, each result
// compared with the GMP oracle: every form, plain, primorial and product k, the odd-n
// option, small candidates equal to p, primes beyond 2^32 and a base whose products with
// p pass 2^63.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sieve_job.h"
#include "fixedk/ksieve.h"
#include "fixedn/sieve_slots.h"
#include "tests/fixedk/ksieve_fixture.h"

namespace {

using Procedure = void (*)(const int64_t&);

std::string Sieve(const FixedKCase& c, Procedure procedure, const std::vector<uint64_t>& primes) {
  SetUpFixedKJob(c);
  try {
    SieveWith(procedure, primes);
  } catch (const SieveStop&) {
    return "every value was removed";
  }
  std::string report = CompareWithOracle(c, primes);
  if (VerifyFailures() != 0) report += "a verification failed\n";
  return report;
}

const std::vector<uint64_t>& SmallPrimes() {
  static const std::vector<uint64_t> primes = oddPrimesBetween(3, 100000);
  return primes;
}

FixedKCase Case(uint32_t mode, uint32_t base, int32_t k, int64_t nmin, int64_t nmax) {
  FixedKCase c;
  c.mode = mode;
  c.base = base;
  c.k = k;
  c.nmin = nmin;
  c.nmax = nmax;
  return c;
}

TEST(DoKSieve, BaseTwoFormsMatchTheOracle) {
  const FixedKCase cases[] = {
      Case(0x0101, 2, 3, 3001, 9000),        // k mod 3 = 0: two residue tests
      Case(0x0102, 2, 3, 3001, 9000),
      Case(0x0101, 2, 5, 3001, 9000),        // k mod 3 = 2
      Case(0x0102, 2, 7, 3001, 9000),        // k mod 3 = 1
      Case(0x2101, 2, 3, 3001, 9000),        // odd n only
      Case(0x0101, 2, 1073741827, 3001, 9000),  // k ≥ 2^30
      Case(0x8001, 2, 7, 3001, 9000),        // 2^n + k
      Case(0x8002, 2, 1000001, 3001, 9000),  // 2^n − k
  };
  for (const FixedKCase& c : cases) EXPECT_EQ(Sieve(c, DoKSieve, SmallPrimes()), "") << "mode " << c.mode << " k " << c.k;
}

TEST(DoKSieve, PrimorialAndProductK) {
  EXPECT_EQ(Sieve(Case(0x0141, 2, 11, 3001, 7000), DoKSieve, SmallPrimes()), "");  // 11#·2^n+1
  EXPECT_EQ(Sieve(Case(0x0142, 2, 13, 3001, 7000), DoKSieve, SmallPrimes()), "");
  FixedKCase product = Case(0x0101, 2, 1, 3001, 7000);
  product.factors = {3, 5, 7};
  EXPECT_EQ(Sieve(product, DoKSieve, SmallPrimes()), "");
  product.mode = 0x0102;
  product.factors = {11, 1000003};
  EXPECT_EQ(Sieve(product, DoKSieve, SmallPrimes()), "");
}

TEST(DoKSieve, SmallCandidatesEqualToPSurvive) {
  // 3·2^1+1 = 7, 3·2^2+1 = 13, 3·2^5+1 = 97, ...: each survives the prime it equals.
  EXPECT_EQ(Sieve(Case(0x0101, 2, 3, 1, 3500), DoKSieve_tiny, SmallPrimes()), "");
  EXPECT_EQ(Sieve(Case(0x0102, 2, 1, 1, 3500), DoKSieve_tiny, SmallPrimes()), "");  // Mersenne numbers
  // 2^n − 5 is −3 at n = 1 and 3 at n = 3: both are the prime 3 itself.
  EXPECT_EQ(Sieve(Case(0x8002, 2, 5, 1, 3500), DoKSieve_tiny, SmallPrimes()), "");
  EXPECT_EQ(Sieve(Case(0x8001, 2, 3, 0, 3500), DoKSieve_tiny, SmallPrimes()), "");
  EXPECT_EQ(Sieve(Case(0x0141, 2, 5, 1, 3500), DoKSieve_tiny, SmallPrimes()), "");  // 5#·2^n+1
}

TEST(DoKSieveShortRange, ShortRangesMatchTheOracle) {
  const FixedKCase cases[] = {
      Case(0x0101, 2, 3, 1, 2999),   // tiny: candidates equal to p survive
      Case(0x0102, 2, 5, 100, 3098),
      Case(0x0101, 2, 1073741827, 50, 1000),
      Case(0x0142, 2, 7, 10, 2000),  // 7#·2^n−1
      Case(0x2101, 2, 9, 1, 2000),
  };
  for (const FixedKCase& c : cases) {
    EXPECT_EQ(Sieve(c, DoKSieveShortRange, SmallPrimes()), "") << "mode " << c.mode << " k " << c.k;
    EXPECT_EQ(Sieve(c, DoKSieveShortRange_tiny, SmallPrimes()), "") << "mode " << c.mode << " k " << c.k;
  }
}

TEST(DoKSieveShortRange, WalksAgreeWithEachOtherAboveAndBelowTwoToThe32) {
  // Both walks see the same class: the forward walk's hit and the backward walk's hit differ
  // by a multiple of the period.
  SetUpFixedKJob(Case(0x0101, 2, 3, 1, 2999));
  for (uint64_t q : oddPrimesBetween(3, 20000)) {
    const int64_t p = static_cast<int64_t>(q);
    if (3 % p == 0) continue;
    const PeriodWalk f = WalkForward(3 % p, p, true), b = WalkBackward(3 % p, p, true);
    ASSERT_EQ(f.hit < 0, b.hit < 0) << p;
    ASSERT_EQ(f.period, b.period) << p;
    if (f.hit >= 0) {
      ASSERT_EQ(f.hit % f.period, b.hit % b.period) << p;
    }
  }
}

TEST(DoKSieveShortRange, PrimesAboveTwoToThe32WalkForward) {
  const std::vector<uint64_t> window = oddPrimesBetween((uint64_t{1} << 32) - 300000, (uint64_t{1} << 32) + 300000);
  // Every prime strikes at most one n here, so use the oracle on the window alone.
  EXPECT_EQ(Sieve(Case(0x0101, 2, 3, 1, 2999), DoKSieveShortRange, window), "");
  EXPECT_EQ(Sieve(Case(0x0102, 2, 5, 1, 2999), DoKSieveShortRange, window), "");
}

TEST(DoKSieve, PrimesAboveTwoToThe32) {
  const std::vector<uint64_t> window = oddPrimesBetween((uint64_t{1} << 32) - 50000, (uint64_t{1} << 32) + 50000);
  EXPECT_EQ(Sieve(Case(0x0101, 2, 3, 3001, 20000), DoKSieve, window), "");
  EXPECT_EQ(Sieve(Case(0x8002, 2, 17, 3001, 20000), DoKSieve, window), "");
}

TEST(DoKSieveOtherBases, FormsMatchTheOracle) {
  const FixedKCase cases[] = {
      Case(0x0101, 3, 2, 1, 4000),    // tiny: 2·3+1 = 7 survives 7
      Case(0x0102, 3, 4, 1, 4000),
      Case(0x0101, 5, 6, 100, 4000),
      Case(0x0102, 10, 3, 100, 4000),
      Case(0x8001, 3, 4, 0, 4000),
      Case(0x8002, 3, 1000003, 1, 4000),  // k beyond the primes sieved
      Case(0x8002, 3, 6, 1, 4000),        // 3 divides both: every 3^n − 6 but 3 and −3 is struck
      Case(0x8001, 10, 7, 1, 4000),
      Case(0x8002, 10, 15, 1, 4000),      // 5 divides both: 10 − 15 = −5 is the one survivor of 5
  };
  for (const FixedKCase& c : cases)
    EXPECT_EQ(Sieve(c, DoKSieveOtherBases, SmallPrimes()), "") << "mode " << c.mode << " base " << c.base << " k " << c.k;
}

TEST(DoKSieveOtherBases, WideProductsNearTwoToThe47) {
  // p·b passes 2^63 for b = 255255 and p near 2^47: the table steps must stay exact.
  const std::vector<uint64_t> window = oddPrimesBetween((uint64_t{1} << 47) - 4000000, (uint64_t{1} << 47));
  EXPECT_EQ(Sieve(Case(0x0101, 255255, 2, 1, 400), DoKSieveOtherBases, window), "");
  EXPECT_EQ(Sieve(Case(0x8002, 255253, 2, 1, 400), DoKSieveOtherBases, window), "");
}

TEST(FixedKSieves, SparseStoresGiveTheSameSurvivors) {
  // A range wider than the bitmap threshold is held in the hash or the array store.
  const struct {
    FixedKCase c;
    Procedure procedure;
  } runs[] = {{Case(0x0101, 2, 3, 1, 5000), DoKSieve_tiny},
              {Case(0x0102, 2, 5, 1, 2000), DoKSieveShortRange},
              {Case(0x8002, 3, 6, 1, 3000), DoKSieveOtherBases}};
  for (const auto& r : runs) {
    for (bool hash : {false, true}) {
      SetUpFixedKJob(r.c);
      UseSparseStore(hash);
      SieveWith(r.procedure, SmallPrimes());
      EXPECT_EQ(CompareWithOracle(r.c, SmallPrimes()), "") << "mode " << r.c.mode << (hash ? " hash" : " array");
    }
  }
}

TEST(DoKSieve, PrimeDividingKLeavesEveryCandidate) {
  SetUpFixedKJob(Case(0x0101, 2, 15, 3001, 9000));
  const uint32_t before = job._nvalsleft;
  DoKSieve(5);
  DoKSieve(3);
  EXPECT_EQ(job._nvalsleft, before);
}

}  // namespace
