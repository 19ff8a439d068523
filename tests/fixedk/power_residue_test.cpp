// The power-residue screening against brute force: for small primes every solution of
// V·B^a ≡ S is found by trying every a, and the screening must never rule out a real one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "fixedk/power_residue.h"
#include "kernels/cpu_features.h"
#include "kernels/montgomery.h"

namespace {

using u64 = uint64_t;
using u128 = unsigned __int128;

u64 mulMod(u64 a, u64 b, u64 m) { return u64(u128(a) * b % m); }
u64 powMod(u64 b, u64 e, u64 m) {
  u64 r = 1;
  for (b %= m; e; e >>= 1, b = mulMod(b, b, m))
    if (e & 1) r = mulMod(r, b, m);
  return r;
}
bool isSmallPrime(u64 n) {
  if (n < 2) return false;
  for (u64 d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

// Every a in [0, p − 1) with V·B^a ≡ S: the powers of B repeat with period dividing p − 1.
std::vector<u64> solutions(u64 V, u64 B, u64 S, u64 p) {
  std::vector<u64> out;
  u64 x = V;
  for (u64 a = 0; a + 1 < p; ++a, x = mulMod(x, B, p))
    if (x == S) out.push_back(a);
  return out;
}

void expectConsistent(u64 V, u64 B, u64 S, u64 p) {
  const PowerResidueClass c = ScreenByPowerResidue(V, B, S, p);
  const std::vector<u64> all = solutions(V, B, S, p);
  if (c.none) {
    ASSERT_TRUE(all.empty()) << V << " " << B << " " << S << " " << p;
  }
  ASSERT_LT(c.a0, c.t);
  ASSERT_EQ(kPowerResidueModulus % c.t, 0u);
  for (u64 a : all) ASSERT_EQ(a % c.t, c.a0) << V << " " << B << " " << S << " " << p;
  if (kPowerResidueModulus % (p - 1) == 0) {
    // The whole group is the small subgroup: the screening is the exact answer.
    ASSERT_EQ(c.none, all.empty()) << V << " " << B << " " << S << " " << p;
    if (!c.none) {
      std::vector<u64> classMembers;
      for (u64 a = c.a0; a + 1 < p; a += c.t) classMembers.push_back(a);
      ASSERT_EQ(all, classMembers) << V << " " << B << " " << S << " " << p;
    }
  }
}

// Small primes, among them those with p − 1 divisible by the whole modulus (the largest
// classes), with every base and several values and targets.
TEST(PowerResidue, AgreesWithBruteForceOnSmallPrimes) {
  std::vector<u64> primes;
  for (u64 p = 3; p < 400; ++p)
    if (isSmallPrime(p)) primes.push_back(p);
  for (u64 p = kPowerResidueModulus + 1; primes.size() < 90; p += kPowerResidueModulus)
    if (isSmallPrime(p)) primes.push_back(p);
  std::mt19937_64 rng(13);
  for (u64 p : primes) {
    const u64 bases = p < 400 ? p : 40;
    for (u64 i = 1; i < bases; ++i) {
      const u64 B = p < 400 ? i : 1 + rng() % (p - 1);
      const u64 V = 1 + rng() % (p - 1);
      expectConsistent(V, B, 1, p);
      expectConsistent(V, B, p - 1, p);
      expectConsistent(V, B, 1 + rng() % (p - 1), p);
    }
  }
}

// Large primes (near 2^32, 2^40, 2^62): a planted solution a is never ruled out and lies in
// the class, and t is the order of B^((p−1)/gcd(p−1, Q)).
TEST(PowerResidue, KeepsPlantedSolutionsOfLargePrimes) {
  const u64 primes[] = {4294967311ULL, 1099511627791ULL, 4611686018427388039ULL,
                        1000000000000037ULL, 2305843009213693951ULL};
  std::mt19937_64 rng(7);
  for (u64 p : primes) {
    for (int trial = 0; trial < 200; ++trial) {
      const u64 B = 1 + rng() % (p - 1), V = 1 + rng() % (p - 1), a = rng() % 100000;
      const u64 S = mulMod(V, powMod(B, a, p), p);
      const PowerResidueClass c = ScreenByPowerResidue(V, B, S, p);
      ASSERT_FALSE(c.none) << p;
      ASSERT_EQ(a % c.t, c.a0) << p;
      const u64 L = std::gcd(p - 1, u64{kPowerResidueModulus});
      const u64 u = powMod(B, (p - 1) / L, p);
      ASSERT_EQ(powMod(u, c.t, p), 1u) << p;
      for (u64 d = 1; d < c.t; ++d)
        if (c.t % d == 0) {
          ASSERT_NE(powMod(u, d, p), 1u) << p;
        }
    }
  }
}

// A composite modulus (which no sieve passes) must not hang the walk round the cycle, nor
// rule a value out: B = 3 is no unit modulo a multiple of 3, so its powers never return to 1.
TEST(ScreenByPowerResidue, CompositeModulusConcludesNothing) {
  for (u64 n : {u64{21}, u64{3} * 1009 * 2521, u64{12072076129ULL} + 2}) {
    const PowerResidueClass c = ScreenByPowerResidue(5, 3, 1, n);
    EXPECT_FALSE(c.none) << n;
  }
}

// The base-2 screening of k·2^(MinNum + d·a) ≡ ±1, which powers only 2 and k to z, gives the
// class of the general one on V = k·2^MinNum and B = 2^d: small primes (every L), primes
// ≡ 1 mod 840, and large ones; spacings 1 to 48, MinNum small, above 840 and above 2^32.
TEST(PowerResidue, PowersOfTwoScreeningIsTheGeneralOne) {
  std::vector<u64> primes;
  for (u64 q = 3; q < 3000; q += 2)
    if (isSmallPrime(q)) primes.push_back(q);
  for (u64 q = 840 * 1000 + 1; primes.size() < 500; q += 840)
    if (isSmallPrime(q)) primes.push_back(q);
  for (u64 q : {4294967311ULL, 1099511627791ULL, 1000000000000037ULL, 2305843009213693951ULL}) primes.push_back(q);
  std::mt19937_64 rng(5);
  int none = 0, confined = 0;
  for (u64 p : primes) {
    const MontgomeryModulus m(p);
    for (int trial = 0; trial < 6; ++trial) {
      const u64 k = 1 + rng() % (p - 1);
      const uint32_t d = trial == 0 ? 1 : 1 + rng() % 48;
      const u64 minNum = trial < 3 ? rng() % 2000 : rng() % (u64{1} << 40);
      const u64 S = trial % 2 ? p - 1 : 1;
      const PowerResidueClass general =
          ScreenByPowerResidue(mulMod(k, powMod(2, minNum, p), p), powMod(2, d, p), S, p);
      const PowerResidueClass twos = ScreenPowersOfTwoMont(m, m.toMont(k), d, minNum, S);
      ASSERT_EQ(twos.none, general.none) << p << " k " << k << " d " << d << " n " << minNum;
      if (general.none) {
        ++none;
        continue;
      }
      ASSERT_EQ(twos.t, general.t) << p << " k " << k << " d " << d << " n " << minNum;
      ASSERT_EQ(twos.a0, general.a0) << p << " k " << k << " d " << d << " n " << minNum;
      confined += general.t > 1;
    }
  }
  EXPECT_GT(none, 100);
  EXPECT_GT(confined, 100);
}

// The screening of sixteen primes in vector lanes against the one-prime screening slot by
// slot: partial batches (idle lanes), primes of every subgroup order L (small ones, primes
// ≡ 1 mod 840, a mixed run near 10^9 and primes just below 2^50), k = 1, k = p − 1 and random
// k, spacings 1 to 48, MinNum from 0 to above 2^32, both targets.
TEST(PowerResidue, LanesScreenAsOneByOne) {
  if (!ReadCpuFeatures().ifma) GTEST_SKIP() << "no AVX-512 IFMA";
  std::vector<u64> primes;
  for (u64 q = 3; q < 400; q += 2)
    if (isSmallPrime(q)) primes.push_back(q);
  for (u64 q = 840 * 1000 + 1, n = 0; n < 40; q += 840)
    if (isSmallPrime(q)) primes.push_back(q), ++n;
  for (u64 q = 1000000001, n = 0; n < 200; q += 2)
    if (isSmallPrime(q)) primes.push_back(q), ++n;
  for (u64 q : {1125899906842597ULL, 1125899906841623ULL, 1125899906840609ULL, 1125899906839583ULL,
                1125899906838479ULL, 1125899906837591ULL, 1099511627891ULL, 1099511628029ULL})
    primes.push_back(q);
  std::mt19937_64 rng(17);
  int confined = 0, none = 0;
  for (int round = 0; round < 40; ++round) {
    const uint32_t d = round < 4 ? uint32_t(1 + round) : round == 4 ? 48 : uint32_t(1 + rng() % 48);
    const u64 minNum = round % 3 == 0 ? rng() % 100 : round % 3 == 1 ? rng() % 100000 : rng() % (u64{1} << 40);
    const bool minusOne = round % 2 == 1;
    for (size_t b = 0; b < primes.size();) {
      const uint32_t n = std::min<uint32_t>(uint32_t(1 + (b + round) % kScreenLanes), uint32_t(primes.size() - b));
      u64 P[kScreenLanes], K[kScreenLanes];
      PowerResidueClass lanes[kScreenLanes];
      for (uint32_t i = 0; i < n; ++i) {
        P[i] = primes[b + i];
        const u64 r = rng() % 8;
        K[i] = r == 0 ? 1 : r == 1 ? P[i] - 1 : 1 + rng() % (P[i] - 1);
      }
      ScreenPowersOfTwoInLanes(P, K, n, d, minNum, minusOne, lanes);
      for (uint32_t i = 0; i < n; ++i) {
        const MontgomeryModulus m(P[i]);
        const PowerResidueClass one = ScreenPowersOfTwoMont(m, m.toMont(K[i]), d, minNum, minusOne ? P[i] - 1 : 1);
        ASSERT_EQ(lanes[i].none, one.none) << P[i] << " k " << K[i] << " d " << d << " n " << minNum << " lane " << i;
        ASSERT_EQ(lanes[i].t, one.t) << P[i] << " k " << K[i] << " d " << d << " n " << minNum << " lane " << i;
        ASSERT_EQ(lanes[i].a0, one.a0) << P[i] << " k " << K[i] << " d " << d << " n " << minNum << " lane " << i;
        none += one.none;
        confined += !one.none && one.t > 1;
      }
      b += n;
    }
  }
  EXPECT_GT(none, 1000);
  EXPECT_GT(confined, 1000);
}

}  // namespace
