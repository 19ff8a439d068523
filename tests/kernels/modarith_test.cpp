// The 64-bit modular operations against plain __int128 references in every regime of p,
// with the edge values the sieve relies on, and the x87 control-word switch.
#include <gtest/gtest.h>

#include <random>

#include "kernels/kernel_context.h"
#include "kernels/modarith.h"
#include "kernels/montgomery.h"
#include "primes/soe2.h"
#include "tests/kernels/reference.h"

namespace {

const uint64_t kBelow2_31 = ref::primeBelow(uint64_t(1) << 31);
const uint64_t kAbove2_31 = ref::primeAtOrAbove(uint64_t(1) << 31);
const uint64_t kBelowMaxguar = ref::primeBelow(MAXGUAR);
const uint64_t kAboveMaxguar = ref::primeAtOrAbove(MAXGUAR + 1);
const uint64_t kBelow2_60 = ref::primeBelow(uint64_t(1) << 60);
const uint64_t kBelow2_63 = ref::primeBelow(uint64_t(1) << 63);

struct BaseGuard {  // the kernel context is process-wide: put the base back after each test
  uint32_t saved = kernel._base;
  ~BaseGuard() { kernel._base = saved; }
};

TEST(Mulmodp2, MatchesReferenceInEveryRegime) {
  std::mt19937_64 rng(1);
  for (const auto& regime : ref::kRegimes) {
    for (int i = 0; i < 50; ++i) {
      uint64_t p = ref::randomPrime(rng, regime.lo, regime.hi);
      for (int j = 0; j < 20; ++j) {
        uint64_t a = rng() % p, b = rng() % p;
        ASSERT_EQ((uint64_t)mulmodp2(a, b, p), ref::mulmod(a, b, p)) << regime.name << " p=" << p;
      }
    }
  }
}

TEST(Mulmodp2, EdgeValues) {
  for (uint64_t p : {kBelow2_31, kAbove2_31, kBelowMaxguar, kAboveMaxguar, kBelow2_60, kBelow2_63}) {
    EXPECT_EQ(mulmodp2(0, 12345, p), 0) << p;
    EXPECT_EQ(mulmodp2(p - 1, p - 1, p), 1) << p;
    EXPECT_EQ(mulmodp2(1, p - 1, p), (int64_t)p - 1) << p;
  }
  // Small moduli reduce operands far above p first.
  std::mt19937_64 rng(2);
  for (int i = 0; i < 1000; ++i) {
    uint64_t p = ref::randomPrime(rng, 3, uint64_t(1) << 31);
    uint64_t a = rng() >> 2, b = rng() >> 2;  // up to 2^62
    ASSERT_EQ((uint64_t)mulmodp2(a, b, p), ref::mulmod(a % p, b % p, p));
  }
}

TEST(GetBaseInverse, MatchesReferenceAndChecks) {
  BaseGuard guard;
  std::mt19937_64 rng(3);
  for (const auto& regime : ref::kRegimes) {
    for (int i = 0; i < 30; ++i) {
      uint64_t p = ref::randomPrime(rng, std::max<uint64_t>(regime.lo, 300000), regime.hi);
      kernel._base = 2 + rng() % 255254;
      int64_t r = GetBaseInverse(p);
      ASSERT_EQ((uint64_t)r, ref::inverse(kernel._base, p)) << regime.name << " p=" << p;
      ASSERT_EQ(kernel._baseinverse, r);
    }
  }
  kernel._base = 2;
  EXPECT_EQ(GetBaseInverse(7), 4);
  EXPECT_EQ(kernel._baseinverse, 4);
  kernel._base = 3;
  EXPECT_EQ(GetBaseInverse(3), 0);
  EXPECT_EQ(kernel._baseinverse, 0);
  kernel._base = 10;
  EXPECT_EQ(GetBaseInverse(5), 0);
  // A composite modulus fails the check: 2^(n−2)·2 ≠ 1 mod 341·3 = 1023.
  kernel._base = 2;
  EXPECT_EQ(GetBaseInverse(1023), 0);
}

TEST(Get48bitInverse, SameInverseInAllThreeRegimes) {
  std::mt19937_64 rng(4);
  for (uint64_t p : {kBelow2_31, kAbove2_31, kBelowMaxguar, kAboveMaxguar, kBelow2_60, kBelow2_63}) {
    for (uint64_t a : {uint64_t(1), uint64_t(2), uint64_t(3), uint64_t(0xffffffff) % p, p - 1, p / 2}) {
      if (a == 0) continue;
      ASSERT_EQ((uint64_t)Get48bitInverse(a, p), ref::inverse(a, p)) << "p=" << p << " a=" << a;
    }
  }
  for (const auto& regime : ref::kRegimes) {
    for (int i = 0; i < 200; ++i) {
      uint64_t p = ref::randomPrime(rng, regime.lo, regime.hi);
      uint64_t a = 1 + rng() % (p - 1);
      ASSERT_EQ((uint64_t)Get48bitInverse(a, p), ref::inverse(a, p)) << regime.name << " p=" << p;
    }
  }
  // The small regime reads only the low 32 bits of a.
  EXPECT_EQ((uint64_t)Get48bitInverse((int64_t(7) << 32) + 10, 101), ref::inverse(10, 101));
  // Between regimes 1 and 2 the inverse of one value agrees.
  EXPECT_EQ(Get48bitInverse(12345, kBelow2_31), (int64_t)ref::inverse(12345, kBelow2_31));
}

TEST(Get48bitInverse, CompositeAboveMaxguarGivesZero) {
  // 3·(a prime above MAXGUAR/3): composite, beyond the guaranteed range of the prime source.
  uint64_t q = ref::primeAtOrAbove(MAXGUAR / 3 + 1000);
  uint64_t composite = 3 * q;
  ASSERT_GT(composite, (uint64_t)MAXGUAR);
  for (uint64_t a : {uint64_t(2), uint64_t(5), uint64_t(123456789)})
    EXPECT_EQ(Get48bitInverse(a, composite), 0) << a;
  // And a multiple of p has no inverse in any regime.
  EXPECT_EQ(Get48bitInverse(2 * kBelow2_31, kBelow2_31), 0);
  EXPECT_EQ(Get48bitInverse(kAbove2_31, kAbove2_31), 0);
}

TEST(Fastkbasepownmodp, MatchesReferenceAndEdges) {
  BaseGuard guard;
  std::mt19937_64 rng(5);
  for (const auto& regime : ref::kRegimes) {
    for (int i = 0; i < 50; ++i) {
      uint64_t p = ref::randomPrime(rng, regime.lo, regime.hi);
      kernel._base = 2 + rng() % 255254;
      uint64_t k = rng() % p;
      uint32_t n = 1 + rng() % 0x7fffffff;
      uint64_t want = kernel._base % p == 0 ? 0 : ref::mulmod(ref::powmod(kernel._base, n, p), k, p);
      ASSERT_EQ((uint64_t)fastkbasepownmodp(k, n, p), want) << regime.name << " p=" << p;
    }
  }
  kernel._base = 2;
  EXPECT_EQ(fastkbasepownmodp(1000, 0, 7), 1000 % 7);
  EXPECT_EQ(fastkbasepownmodp(3, 100, 7), (int64_t)ref::mulmod(ref::powmod(2, 100, 7), 3, 7));
  EXPECT_EQ(fastkbasepownmodp(3, 6, 7), 3);  // p < n: 6 mod 6 = 0, the k alone
  kernel._base = 14;
  EXPECT_EQ(fastkbasepownmodp(3, 5, 7), 0);
}

TEST(Kbasepown, WrapsIn64Bits) {
  BaseGuard guard;
  kernel._base = 2;
  EXPECT_EQ(kbasepown(3, 5), 96);
  EXPECT_EQ(kbasepown(12345, 0), 12345);
  EXPECT_EQ(kbasepown(1, 62), int64_t(1) << 62);
  kernel._base = 10;
  EXPECT_EQ(kbasepown(7, 18), 7000000000000000000LL);
  uint64_t wrapped = 3;
  for (int i = 0; i < 40; ++i) wrapped *= 10;
  EXPECT_EQ((uint64_t)kbasepown(3, 40), wrapped);
}

TEST(I64rem, ExactRemainder) {
  EXPECT_EQ(i64rem((int64_t(1) << 32) + 5, 7), 2u);
  std::mt19937_64 rng(6);
  for (int i = 0; i < 10000; ++i) {
    int64_t x = (int64_t)(rng() >> 1);
    uint32_t d = 2 + rng() % ((1u << 31) - 2);
    ASSERT_EQ(i64rem(x, d), (uint64_t)x % d);
  }
  EXPECT_EQ(i64rem(INT64_MAX, 0x7fffffff), (uint64_t)INT64_MAX % 0x7fffffff);
}

TEST(EnginePrimitives, HalveDoubleAndMontgomery) {
  EXPECT_EQ(halveModP(1, 7), 4u);
  EXPECT_EQ(halveModP(0, 7), 0u);
  EXPECT_EQ(doubleModP(4, 7), 1u);
  std::mt19937_64 rng(7);
  for (const auto& regime : ref::kRegimes) {
    for (int i = 0; i < 50; ++i) {
      uint64_t p = ref::randomPrime(rng, regime.lo, regime.hi);
      MontgomeryModulus m(p);
      ASSERT_EQ(m.pinv * p, 1u);
      for (int j = 0; j < 20; ++j) {
        uint64_t a = rng() % p, b = rng() % p;
        ASSERT_EQ(m.fromMont(m.mul(m.toMont(a), m.toMont(b))), ref::mulmod(a, b, p));
        ASSERT_EQ(halveModP(a, p), ref::mulmod(a, (p + 1) / 2, p));
        ASSERT_EQ(doubleModP(a, p), ref::mulmod(a, 2, p));
      }
      ASSERT_EQ(m.fromMont(m.one()), 1u);
      ASSERT_EQ(m.fromMont(m.square(m.toMont(p - 1))), 1u);
    }
  }
  EXPECT_EQ(firstBitBelowLeading(1), 0u);
  EXPECT_EQ(firstBitBelowLeading(2), 1u);
  EXPECT_EQ(firstBitBelowLeading(0x80000000u), 0x40000000u);
  EXPECT_EQ(firstBitBelowLeading(1000), 256u);
}

TEST(Control87, ActsOnTheRealControlWordAndMirrorsIt) {
  auto readWord = [] {
    uint16_t cw;
    asm volatile("fnstcw %0" : "=m"(cw));
    return cw;
  };
  // Round toward minus infinity is asymmetric: 1/3 and −(−1/3) then differ.
  auto asymmetric = [] {
    volatile long double one = 1, minusOne = -1, three = 3;
    volatile long double a = one / three, b = minusOne / three;
    return a != -b;
  };
  uint32_t w = _control87(0x400, 0xC00);
  EXPECT_EQ(w & 0xC00, 0x400u);
  EXPECT_EQ(readWord() & 0xC00, 0x400);
  EXPECT_TRUE(fFPURoundDown);
  EXPECT_TRUE(asymmetric());
  w = _control87(0x300, 0x300);
  EXPECT_EQ(w & 0xF00, 0x700u);  // precision bits set, rounding left alone
  EXPECT_TRUE(fFPURoundDown);
  w = _control87(0, 0xC00);
  EXPECT_EQ(readWord() & 0xC00, 0);
  EXPECT_EQ(w, readWord());
  EXPECT_FALSE(fFPURoundDown);
  EXPECT_FALSE(asymmetric());
}

}  // namespace
