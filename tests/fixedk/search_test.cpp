// The arithmetic and the table of the fixed-k searches against plain references: the
// fixed-multiplier product against unsigned __int128, the baby-step giant-step table
// against a brute-force comparison of every pair.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <utility>

#include "fixedk/bsgs_table.h"
#include "fixedk/fixed_multiplier.h"

namespace {

uint64_t RefMulMod(uint64_t a, uint64_t b, uint64_t p) {
  return static_cast<uint64_t>(static_cast<unsigned __int128>(a) * b % p);
}

TEST(FixedMultiplier, MatchesWideProductInEveryRegime) {
  std::mt19937_64 rng(7);
  const uint64_t moduli[] = {3, 5, 7, 65537, 2147483647ULL, 4294967291ULL, 4294967311ULL,
                             (1ULL << 48) - 59, (1ULL << 61) - 1, (1ULL << 63) - 25};
  for (uint64_t p : moduli) {
    for (int i = 0; i < 2000; ++i) {
      const uint64_t w = rng() % p;
      const uint64_t x = i % 3 == 0 ? rng() : rng() % p;  // the operand may exceed p
      ASSERT_EQ(FixedMultiplier(w, p)(x), RefMulMod(x % p, w, p)) << p << " " << w << " " << x;
    }
    EXPECT_EQ(FixedMultiplier(p - 1, p)(p - 1), 1u);
    EXPECT_EQ(FixedMultiplier(0, p)(p - 1), 0u);
    EXPECT_EQ(FixedMultiplier(p - 1, p)(~uint64_t{0}), RefMulMod(~uint64_t{0} % p, p - 1, p));
    EXPECT_EQ(DoubleMod(p - 1, p), p - 2);
    EXPECT_EQ(DoubleMod(p / 2, p), p - 1);
  }
}

// Every pair (i, a) with x0·s^i = y0·t^a is reported once, whatever the collisions.
void CheckSearch(uint64_t p, uint64_t x0, uint64_t s, uint32_t tableLen, uint64_t y0, uint64_t t,
                 uint32_t walkLen) {
  std::set<std::pair<uint32_t, uint32_t>> expected, found;
  std::vector<uint64_t> xs(tableLen);
  uint64_t x = x0;
  for (uint32_t i = 0; i < tableLen; ++i, x = RefMulMod(x, s, p)) xs[i] = x;
  uint64_t y = y0;
  for (uint32_t a = 0; a < walkLen; ++a, y = RefMulMod(y, t, p))
    for (uint32_t i = 0; i < tableLen; ++i)
      if (xs[i] == y) expected.insert({i, a});
  static BsgsTable table;
  table.Reserve(tableLen);
  BabyGiantSearch(table, x0, tableLen, FixedMultiplier(s % p, p), y0, walkLen, FixedMultiplier(t % p, p),
                  [&](uint32_t i, uint32_t a) { EXPECT_TRUE(found.insert({i, a}).second); });
  EXPECT_EQ(found, expected) << "p=" << p;
}

TEST(BabyGiantSearch, FindsEveryEqualPair) {
  // 2 has order 3 mod 7: the table repeats, so one walk value matches several entries.
  CheckSearch(7, 3, 2, 20, 6, 4, 15);
  // Order of 2 mod 31 is 5; 1023 = 2^10 − 1.
  CheckSearch(31, 1, 2, 40, 1, 16, 40);
  std::mt19937_64 rng(11);
  const uint64_t primes[] = {101, 65537, 1000003, 4294967291ULL, (1ULL << 47) - 115};
  for (uint64_t p : primes)
    for (int i = 0; i < 5; ++i) CheckSearch(p, rng() % p, 2, 300, rng() % p, rng() % p, 300);
}

TEST(BabyGiantSearch, LeavesTheHashEmpty) {
  static BsgsTable table;
  table.Reserve(64);
  const uint64_t p = 1000003;
  int hits = 0;
  BabyGiantSearch(table, 1, 64, FixedMultiplier(3, p), 81, 1, FixedMultiplier(1, p),
                  [&](uint32_t i, uint32_t) {
                    EXPECT_EQ(i, 4u);
                    ++hits;
                  });
  EXPECT_EQ(hits, 1);
  // A shorter second search must not see the first one's entry 4 (81) any more.
  hits = 0;
  BabyGiantSearch(table, 7, 1, FixedMultiplier(1, p), 81, 1, FixedMultiplier(1, p),
                  [&](uint32_t, uint32_t) { ++hits; });
  EXPECT_EQ(hits, 0);
}

}  // namespace
