// The Jacobi symbols against GMP's mpz_jacobi, gcd against std::gcd, and the extended
// Euclid algorithm against GMP's inverse.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <climits>
#include <numeric>
#include <random>

#include "kernels/kronecker.h"

namespace {

int jacobi(int64_t a, int64_t n) {
  const mpz_class ma(std::to_string(a)), mn(std::to_string(n));
  return mpz_jacobi(ma.get_mpz_t(), mn.get_mpz_t());
}

// Odd moduli of every size the callers use: small, around 2^32, up to 2^63.
int64_t randomOddModulus(std::mt19937_64& rng) {
  static const int bits[] = {3, 8, 16, 31, 32, 33, 40, 50, 62, 63};
  const int b = bits[rng() % 10];
  return int64_t((rng() >> (64 - b)) | 1);
}

TEST(Kroneker, ListedValues) {
  EXPECT_EQ(Kroneker(2, 7), 1);
  EXPECT_EQ(Kroneker(3, 7), -1);
  EXPECT_EQ(Kroneker(0, 1), 1);
  EXPECT_EQ(Kroneker(0, 7), 0);
  EXPECT_EQ(Kroneker(14, 7), 0);
  EXPECT_EQ(Kroneker(5, 1), 1);
  EXPECT_EQ(Kroneker(INT64_MIN, 7), jacobi(INT64_MIN, 7));
  EXPECT_EQ(Kroneker(INT64_MAX, 9223372036854775783LL), jacobi(INT64_MAX, 9223372036854775783LL));
}

TEST(Kroneker, AgreesWithGmpOnRandomInputs) {
  std::mt19937_64 rng(20240601);
  for (int i = 0; i < 200000; ++i) {
    int64_t n = randomOddModulus(rng);
    int64_t a = int64_t(rng()) >> (rng() % 64);
    if (i % 8 == 0) {  // a shared factor g
      const int64_t g = int64_t(rng() % 500) * 2 + 3;
      n = g * int64_t((rng() >> 14) | 1);
      a = g * int64_t(int32_t(rng()));
    }
    ASSERT_EQ(Kroneker(a, n), jacobi(a, n)) << a << " " << n;
  }
}

TEST(FastKroneker, ListedValues) {
  EXPECT_EQ(FastKroneker(-3, 7), 1);  // a +1 form: the caller passes -k
  EXPECT_EQ(FastKroneker(3, 7), -1);  // a -1 form: the caller passes k
  EXPECT_EQ(FastKroneker(INT32_MIN, 7), jacobi(INT32_MIN, 7));
  EXPECT_EQ(FastKroneker(1, 9), 1);
  EXPECT_EQ(FastKroneker(-1, 7), -1);
  EXPECT_EQ(FastKroneker(0, 7), 0);
  EXPECT_EQ(FastKroneker(21, 7), 0);
}

TEST(FastKroneker, AgreesWithGmpAndKronekerAboveAndBelow2To32) {
  std::mt19937_64 rng(77);
  for (int i = 0; i < 200000; ++i) {
    const int64_t n = randomOddModulus(rng);
    int32_t a = int32_t(int64_t(rng()) >> (32 + rng() % 32));
    if (a == 0) a = -1;
    if (i % 8 == 0) a = int32_t(rng() % 1000 + 1) * ((i & 16) ? 3 : -3);  // small k, both signs
    ASSERT_EQ(FastKroneker(a, n), jacobi(a, n)) << a << " " << n;
    ASSERT_EQ(FastKroneker(a, n), Kroneker(a, n)) << a << " " << n;
  }
}

TEST(Gcd, ListedAndRandomValues) {
  EXPECT_EQ(gcd(12, 18), 6);
  EXPECT_EQ(gcd(0, 5), 5);
  EXPECT_EQ(gcd(7, 0), 7);
  EXPECT_EQ(gcd(INT32_MIN, -1), 1);
  EXPECT_EQ(gcd(-12, 18), 6);
  std::mt19937 rng(5);
  for (int i = 0; i < 100000; ++i) {
    const int32_t a = int32_t(rng()) >> (rng() % 31), b = int32_t(rng()) >> (rng() % 31);
    if (b == 0 || a == INT32_MIN || b == INT32_MIN) continue;
    ASSERT_EQ(gcd(a, b), std::gcd(a, b)) << a << " " << b;
  }
}

TEST(EuclidExtended, NegatedInverseOrZero) {
  EXPECT_EQ(euclid_extended(3, 7), 2u);
  EXPECT_EQ(euclid_extended(2, 4), 0u);
  EXPECT_EQ(euclid_extended(1, 10), 9u);  // the base-inverse table's entry 1 is b - 1
  EXPECT_EQ(euclid_extended(5, 1), 0u);
  EXPECT_EQ(euclid_extended(5, 0), 0u);
  EXPECT_EQ(euclid_extended(0, 9), 0u);
  std::mt19937 rng(11);
  for (int i = 0; i < 100000; ++i) {
    const uint32_t m = rng() >> (rng() % 32), a = rng() >> (rng() % 32);
    mpz_class inv;
    const mpz_class ma(a), mm(m);
    const bool has = m > 1 && mpz_invert(inv.get_mpz_t(), ma.get_mpz_t(), mm.get_mpz_t());
    const uint32_t want = has ? uint32_t(mpz_class((mm - inv) % mm).get_ui()) : 0;
    ASSERT_EQ(euclid_extended(a, m), want) << a << " " << m;
  }
}

}  // namespace
