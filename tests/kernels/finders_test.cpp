// Residue finders against plain __int128 references (square-and-multiply and an inverse) in
// every regime of p, their edge cases, and the batches slot by slot on both CPU paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "kernels/batch_finders.h"
#include "kernels/finders.h"
#include "kernels/kernel_context.h"
#include "kernels/modarith.h"
#include "kernels/montgomery.h"
#include "tests/kernels/reference.h"

namespace {

struct ContextGuard {  // the kernel context is process-wide: restore it after each test
  KernelContext saved = kernel;
  ~ContextGuard() {
    kernel = saved;
    setIfmaAllowed(true);
  }
};

uint64_t invPow2(uint64_t n, uint64_t p) { return ref::inverse(ref::powmod(2, n, p), p); }
// (c − x)/2 mod p, p standing for 0.
uint64_t apRef(uint64_t c, uint64_t x, uint64_t p) {
  uint64_t v = ref::mulmod((c + p - x % p) % p, (p + 1) / 2, p);
  return v == 0 ? p : v;
}
uint32_t randomExponent(std::mt19937_64& rng) { return 1 + rng() % 0x7fffffff; }

TEST(SingleFinders, MatchReferenceInEveryRegime) {
  ContextGuard guard;
  std::mt19937_64 rng(11);
  for (const auto& regime : ref::kRegimes) {
    for (int i = 0; i < 40; ++i) {
      uint64_t p = ref::randomPrime(rng, std::max<uint64_t>(regime.lo, 5), regime.hi);
      uint32_t n = i < 8 ? i + 1 : randomExponent(rng);
      kernel._nvalue = (int32_t)n;
      kernel._base = 2 + rng() % 255254;
      SCOPED_TRACE(testing::Message() << regime.name << " p=" << p << " n=" << n << " b=" << kernel._base);

      ASSERT_EQ((uint64_t)halfpownmodp(n, firstBitBelowLeading(n), p), invPow2(n, p));
      ASSERT_EQ((uint64_t)find2pownmodp(p), apRef(1, ref::powmod(2, n, p), p));
      uint64_t bn = ref::powmod(kernel._base, n, p);
      ASSERT_EQ((uint64_t)findbasepownmodp(p), apRef(kernel._base & 1 ? 2 : 1, bn, p));
      if (kernel._base % p != 0) {
        kernel._baseinverse = (int64_t)ref::inverse(kernel._base, p);
        ASSERT_EQ((uint64_t)findbotherbases(p), ref::inverse(bn, p));
      }
      if (p <= (uint64_t(1) << 32)) {
        uint32_t k = (uint32_t)rng();
        ASSERT_EQ(findk2pownmodp(k, n, p), ref::mulmod(k % p, ref::powmod(2, n, p), p));
      }
    }
  }
}

TEST(PairFinders, MatchReferenceForPrimesUpTo2_32) {
  ContextGuard guard;
  std::mt19937_64 rng(12);
  for (const auto& regime : {ref::kRegimes[0], ref::kRegimes[1]}) {
    for (int i = 0; i < 100; ++i) {
      uint64_t p1 = ref::randomPrime(rng, regime.lo, regime.hi), p2 = ref::randomPrime(rng, 3, regime.hi);
      uint32_t n = i < 8 ? i + 1 : randomExponent(rng);
      kernel._nvalue = (int32_t)n;
      int64_t a, b;
      pair_findbbase2(p1, p2, a, b);
      ASSERT_EQ((uint64_t)a, invPow2(n, p1));
      ASSERT_EQ((uint64_t)b, invPow2(n, p2));
      pair_find2pownmodp(p1, p2, a, b);
      ASSERT_EQ((uint64_t)a, apRef(1, ref::powmod(2, n, p1), p1));
      ASSERT_EQ((uint64_t)b, apRef(1, ref::powmod(2, n, p2), p2));
    }
  }
}

TEST(Finders, EdgeCases) {
  ContextGuard guard;
  kernel._base = 2;
  kernel._nvalue = 3;
  EXPECT_EQ(halfpownmodp(3, 1, 7), 1);
  EXPECT_EQ(find2pownmodp(7), 7);  // (1 − 8)/2 ≡ 0, returned as p
  int64_t a, b;
  pair_find2pownmodp(7, 11, a, b);
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, (int64_t)apRef(1, 8, 11));

  kernel._base = 3;
  kernel._nvalue = 1;
  EXPECT_EQ(findbasepownmodp(7), 3);  // (2 − 3)/2 mod 7
  // Primes dividing b are not skipped: 1/2 for even b, 1 for odd b.
  EXPECT_EQ(findbasepownmodp(3), 1);
  kernel._base = 10;
  kernel._nvalue = 17;
  EXPECT_EQ(findbasepownmodp(5), 3);

  // An exponent of 1 leaves every finder at its start value.
  kernel._nvalue = 1;
  kernel._baseinverse = 123456;
  EXPECT_EQ(findbotherbases(1000003), 123456);
  uint64_t p = ref::primeAtOrAbove((uint64_t(1) << 40) + 12345);
  EXPECT_EQ((uint64_t)halfpownmodp(1, 0, p), (p + 1) / 2);
  for (int i = 0; i < 6; ++i) _p64[i] = (int64_t)ref::primeAtOrAbove((uint64_t(1) << 33) + 1000 * i);
  find_k0();
  for (int i = 0; i < 6; ++i) EXPECT_EQ(_k64[i], (_p64[i] + 1) / 2);

  // findk2pownmodp against mulmodp2 just below 2^31 and 2^32.
  for (uint64_t q : {ref::primeBelow(uint64_t(1) << 31), ref::primeBelow(uint64_t(1) << 32)}) {
    for (uint32_t n : {1u, 2u, 31u, 32u, 33u, 1000u, 0x7fffffffu}) {
      uint32_t k = 0xfffffffbu;
      EXPECT_EQ(findk2pownmodp(k, n, q), (uint64_t)mulmodp2(k, ref::powmod(2, n, q), q)) << q << " " << n;
    }
  }

  // pair_findbbase2 agrees with find_k0 just below 2^32.
  kernel._nvalue = 99991;
  uint64_t q1 = ref::primeBelow(uint64_t(1) << 32), q2 = ref::primeBelow(q1);
  pair_findbbase2(q1, q2, a, b);
  for (int i = 0; i < 6; ++i) _p64[i] = (int64_t)(i % 2 ? q2 : q1);
  find_k0();
  EXPECT_EQ(_k64[0], a);
  EXPECT_EQ(_k64[1], b);
}

// Exponents that take every start path: short ones (no rounds, or fewer than six bits),
// the boundaries of the six-bit start, and leading values above 52 (extra halvings on IFMA).
std::vector<uint32_t> batchExponents(std::mt19937_64& rng) {
  std::vector<uint32_t> ns;
  for (uint32_t n = 1; n <= 70; ++n) ns.push_back(n);
  for (uint32_t n : {127u, 1000u, 53u << 10, 63u << 20, 100000u, 0x7fffffffu, 0x40000000u}) ns.push_back(n);
  for (int i = 0; i < 20; ++i) ns.push_back(randomExponent(rng));
  return ns;
}

TEST(BatchFinders, AgreeSlotBySlotWithSinglePrimeResults) {
  ContextGuard guard;
  std::mt19937_64 rng(13);
  std::vector<ref::Regime> regimes(std::begin(ref::kRegimes), std::end(ref::kRegimes));
  regimes.push_back({"just above 2^32", (uint64_t(1) << 32) + 1, (uint64_t(1) << 32) + 100000});
  regimes.push_back({"near 2^50", (uint64_t(1) << 50) - 100000, (uint64_t(1) << 50)});
  regimes.push_back({"near 2^52", (uint64_t(1) << 52) - 100000, (uint64_t(1) << 52) + 100000});
  regimes.push_back({"near 2^59", (uint64_t(1) << 59) - 100000, (uint64_t(1) << 59)});
  regimes.push_back({"near 2^62", (uint64_t(1) << 62) - 100000, (uint64_t(1) << 62) + 100000});
  regimes.push_back({"below 2^63", (uint64_t(1) << 63) - 100000, (uint64_t(1) << 63) - 1});
  const std::vector<uint32_t> ns = batchExponents(rng);
  if (!cpuHasIfma()) std::printf("No AVX-512 IFMA on this CPU: only the portable chains are checked.\n");
  for (const auto& regime : regimes) {
    for (uint32_t n : ns) {
      kernel._nvalue = (int32_t)n;
      uint64_t want[12];
      for (int i = 0; i < 12; ++i) {
        p0p11[i] = (int64_t)ref::randomPrime(rng, std::max<uint64_t>(regime.lo, 3), regime.hi);
        want[i] = invPow2(n, p0p11[i]);
        ASSERT_EQ((uint64_t)halfpownmodp(n, firstBitBelowLeading(n), p0p11[i]), want[i]);
      }
      SCOPED_TRACE(testing::Message() << regime.name << " n=" << n);
      for (bool ifma : {true, false}) {
        setIfmaAllowed(ifma);
        for (void (*six)() : {find_k0, find_k0_bigp, find_k0_nocmov_bigp}) {
          for (int half = 0; half < 2; ++half) {
            for (int i = 0; i < 6; ++i) _p64[i] = p0p11[6 * half + i], _k64[i] = -1;
            six();
            for (int i = 0; i < 6; ++i) ASSERT_EQ((uint64_t)_k64[i], want[6 * half + i]) << "slot " << i;
          }
        }
        for (int i = 0; i < 12; ++i) k0k11[i] = -1;
        findk0xM_SSE2();
        for (int i = 0; i < 12; ++i) ASSERT_EQ((uint64_t)k0k11[i], want[i]) << "slot " << i << " ifma " << ifma;
      }
    }
  }
}

TEST(BatchFinders, MixedSizesInOneBatch) {
  ContextGuard guard;
  std::mt19937_64 rng(14);
  kernel._nvalue = 1000003;
  for (int round = 0; round < 50; ++round) {
    for (int i = 0; i < 12; ++i) {
      const auto& regime = ref::kRegimes[rng() % std::size(ref::kRegimes)];
      p0p11[i] = (int64_t)ref::randomPrime(rng, std::max<uint64_t>(regime.lo, 3), regime.hi);
    }
    findk0xM_SSE2();
    for (int i = 0; i < 12; ++i) ASSERT_EQ((uint64_t)k0k11[i], invPow2(1000003, p0p11[i])) << p0p11[i];
  }
}

// The other-base batch: b^(−n) from b^(−1) and b^n from b, sixteen primes per call on both
// paths, against the __int128 references and the single-prime finders, slot by slot, in
// every regime (and at the edges of the IFMA range) and for every batch size.
TEST(PowerBatch, AgreesSlotBySlotWithReferencesAndSinglePrimeFinders) {
  ContextGuard guard;
  std::mt19937_64 rng(15);
  std::vector<ref::Regime> regimes(std::begin(ref::kRegimes), std::end(ref::kRegimes));
  regimes.insert(regimes.begin(), {"tiny", 3, 200});
  regimes.push_back({"just above 2^32", (uint64_t(1) << 32) + 1, (uint64_t(1) << 32) + 100000});
  regimes.push_back({"near 2^50", (uint64_t(1) << 50) - 100000, (uint64_t(1) << 50) + 100000});
  regimes.push_back({"just below 2^52", (uint64_t(1) << 52) - 100000, uint64_t(1) << 52});
  regimes.push_back({"near 2^62", (uint64_t(1) << 62) - 100000, (uint64_t(1) << 62) + 100000});
  regimes.push_back({"below 2^63", (uint64_t(1) << 63) - 100000, (uint64_t(1) << 63) - 1});
  std::vector<uint32_t> ns = {0, 1, 2, 3, 1000, 1024, 1023, 0x7fffffffu};
  for (int i = 0; i < 6; ++i) ns.push_back(randomExponent(rng));
  for (const auto& regime : regimes) {
    for (uint32_t n : ns) {
      kernel._nvalue = (int32_t)n;
      const uint32_t base = n % 3 == 0 ? 10 : 2 + rng() % 255254;
      kernel._base = base;
      int64_t p[POWER_BATCH], inv[POWER_BATCH], b[POWER_BATCH];
      uint64_t wantInv[POWER_BATCH], wantPow[POWER_BATCH];
      for (int i = 0; i < POWER_BATCH; ++i) {
        do p[i] = (int64_t)ref::randomPrime(rng, regime.lo, regime.hi);
        while (base % p[i] == 0);
        b[i] = base % p[i];
        inv[i] = (int64_t)ref::inverse(base, p[i]);
        wantPow[i] = ref::powmod(base, n, p[i]);
        wantInv[i] = ref::inverse(wantPow[i], p[i]);
        kernel._baseinverse = inv[i];
        ASSERT_EQ((uint64_t)findbotherbases(p[i]), wantInv[i]) << p[i];
      }
      SCOPED_TRACE(testing::Message() << regime.name << " n=" << n << " b=" << base);
      for (bool ifma : {true, false}) {
        setIfmaAllowed(ifma);
        for (int count : {POWER_BATCH, 1, 7, 8, 9, 15}) {
          int64_t r[POWER_BATCH];
          std::fill(std::begin(r), std::end(r), -1);
          findpowersBatch(p, inv, r, count);
          for (int i = 0; i < count; ++i) ASSERT_EQ((uint64_t)r[i], wantInv[i]) << "slot " << i << " of " << count << " ifma " << ifma;
          for (int i = count; i < POWER_BATCH; ++i) ASSERT_EQ(r[i], -1) << "slot " << i << " past the batch was written";
          findpowersBatch(p, b, r, count);
          for (int i = 0; i < count; ++i) ASSERT_EQ((uint64_t)r[i], wantPow[i]) << "slot " << i << " of " << count << " ifma " << ifma;
        }
      }
    }
  }
}

// Entering Montgomery form without a divide (below 2^49) and by division (above): x^1 = x and
// x^2 for the extreme x of every prime, at the bounds of both ways.
TEST(PowerBatch, MontgomeryEntryAtItsBounds) {
  ContextGuard guard;
  std::mt19937_64 rng(17);
  const uint64_t bounds[] = {3, 1u << 21, uint64_t(1) << 32, uint64_t(1) << 48, uint64_t(1) << 49, uint64_t(1) << 50,
                             uint64_t(1) << 52};
  for (uint64_t bound : bounds) {
    for (int side = 0; side < 2; ++side) {
      int64_t p[POWER_BATCH], x[POWER_BATCH], r[POWER_BATCH];
      for (int i = 0; i < POWER_BATCH; ++i) {
        p[i] = (int64_t)(side == 0 && bound > 3 ? ref::primeBelow(bound - 1000 * i) : ref::primeAtOrAbove(bound + 1000 * i));
        const uint64_t q = (uint64_t)p[i];
        const uint64_t choices[] = {0, 1, 2, q - 2, q - 1, q / 2, q / 2 + 1, rng() % q};
        x[i] = (int64_t)choices[i % 8];
      }
      for (uint32_t n : {1u, 2u, 3u}) {
        kernel._nvalue = (int32_t)n;
        for (bool ifma : {true, false}) {
          setIfmaAllowed(ifma);
          findpowersBatch(p, x, r, POWER_BATCH);
          for (int i = 0; i < POWER_BATCH; ++i)
            ASSERT_EQ((uint64_t)r[i], ref::powmod(x[i], n, p[i])) << "p=" << p[i] << " x=" << x[i] << " n=" << n << " ifma " << ifma;
        }
      }
    }
  }
}

// One prime at or above 2^52 sends the whole batch to the portable chains; zero bases (p
// divides b) give 0 except for n = 0.
TEST(PowerBatch, MixedSizesAndZeroBases) {
  ContextGuard guard;
  std::mt19937_64 rng(16);
  for (int round = 0; round < 60; ++round) {
    const uint32_t n = round < 3 ? round : randomExponent(rng);
    kernel._nvalue = (int32_t)n;
    int64_t p[POWER_BATCH], x[POWER_BATCH], r[POWER_BATCH];
    for (int i = 0; i < POWER_BATCH; ++i) {
      const auto& regime = ref::kRegimes[rng() % std::size(ref::kRegimes)];
      p[i] = (int64_t)ref::randomPrime(rng, std::max<uint64_t>(regime.lo, 3), regime.hi);
      x[i] = i % 5 == 0 ? 0 : (int64_t)(rng() % (uint64_t)p[i]);
    }
    if (round % 2) {
      const int at = (int)(rng() % POWER_BATCH);
      p[at] = (int64_t)ref::primeAtOrAbove(uint64_t(1) << 52);
      x[at] = (int64_t)(rng() % (uint64_t)p[at]);
    }
    for (bool ifma : {true, false}) {
      setIfmaAllowed(ifma);
      findpowersBatch(p, x, r, POWER_BATCH);
      for (int i = 0; i < POWER_BATCH; ++i)
        ASSERT_EQ((uint64_t)r[i], ref::powmod(x[i], n, p[i])) << "p=" << p[i] << " x=" << x[i] << " n=" << n;
    }
  }
}

}  // namespace
