// The arithmetic and the table of the fixed-k searches against plain references: the
// fixed-multiplier product against unsigned __int128, the baby-step giant-step table
// against a brute-force comparison of every pair, the class walk in vector lanes against the
// classes' values computed one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <set>
#include <utility>

#include "fixedk/bsgs_table.h"
#include "fixedk/class_walk.h"
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
  // A table of 3000 entries (several to a bucket): each entry is found once, and a later
  // one-entry search probing every residue of the large one sees none of them.
  table.Reserve(3000);
  const FixedMultiplier three(3, p);
  for (int round = 0; round < 2; ++round) {
    hits = 0;
    BabyGiantSearch(table, 1, 3000, three, 1, 3000, three, [&](uint32_t i, uint32_t a) {
      EXPECT_EQ(i, a);
      ++hits;
    });
    EXPECT_EQ(hits, 3000);
    hits = 0;
    BabyGiantSearch(table, 2, 1, three, 1, 3000, three, [&](uint32_t, uint32_t) { ++hits; });
    EXPECT_EQ(hits, 0);
  }
}

uint64_t RefPower(uint64_t x, uint64_t e, uint64_t p) {
  uint64_t r = 1 % p;
  for (; e != 0; e >>= 1, x = RefMulMod(x, x, p))
    if (e & 1) r = RefMulMod(r, x, p);
  return r;
}

// The lanes find exactly the (class, step, entry) triples whose values are equal, with the
// cut at count, for partial vectors, t = 1 and t > 1, steps of one and several, and primes
// from 2^20 to just below 2^50; the table is empty again for the next prime. The table's
// residues computed in lanes are the powers one by one, and so are the powers of 2.
TEST(ClassWalk, LanesFindEveryEqualValue) {
  if (!VectorClassWalkFits(1000003)) GTEST_SKIP() << "no AVX-512 IFMA here";
  EXPECT_FALSE(VectorClassWalkFits(uint64_t{1} << 50));
  std::mt19937_64 rng(29);
  static BsgsTable table;
  const uint64_t primes[] = {1048573, 1000000007, 4294967291ULL, (1ULL << 47) - 115, (1ULL << 50) - 27};
  const struct {
    uint32_t Q, t, a0, steps, tableLen, d;
  } shapes[] = {{840, 1, 0, 1, 40, 1}, {840, 4, 3, 3, 20, 2}, {2520, 7, 5, 2, 30, 1}, {120, 8, 1, 5, 6, 3}};
  for (uint64_t p : primes) {
    for (const auto& sh : shapes) {
      std::vector<uint16_t> r;
      for (uint32_t c = sh.a0; c < sh.Q; c += sh.t)
        if (rng() % 3 != 0) r.push_back(static_cast<uint16_t>(c));
      ClassWalk w{p, rng() % p, rng() % p, rng() % p, r.data(), static_cast<uint32_t>(r.size()), sh.t, sh.steps, sh.Q,
                  sh.tableLen, sh.d, 0};
      w.count = uint64_t{sh.Q} * sh.tableLen * sh.steps - sh.Q * 3 + 5;  // the last steps reach past it
      auto value = [&](size_t c, uint32_t y) {
        return RefMulMod(RefMulMod(w.first, RefPower(w.h, (r[c] - r[0]) / sh.t, p), p), RefPower(w.giant, y, p), p);
      };
      // Entries: values of random classes and steps (some twice), and random residues.
      std::vector<uint64_t> entries;
      for (uint32_t i = 0; i < sh.tableLen; ++i)
        entries.push_back(i % 3 == 2 ? rng() % p : value(rng() % r.size(), static_cast<uint32_t>(rng() % sh.steps)));
      entries[1] = entries[0];
      table.Reserve(sh.tableLen);
      for (uint32_t i = 0; i < sh.tableLen; ++i) table.Insert(i, entries[i]);
      std::vector<uint32_t> expected, found;
      for (size_t c = 0; c < r.size(); ++c)
        for (uint32_t y = 0; y < sh.steps; ++y)
          for (uint32_t i = 0; i < sh.tableLen; ++i) {
            const uint64_t a = r[c] + uint64_t{sh.Q} * (uint64_t{sh.tableLen} * y + i);
            if (entries[i] == value(c, y) && a < w.count) expected.push_back(static_cast<uint32_t>(a * sh.d));
          }
      WalkClassesInLanes(table, w, found);
      std::sort(expected.begin(), expected.end());
      std::sort(found.begin(), found.end());
      ASSERT_EQ(found, expected) << "p=" << p << " Q=" << sh.Q << " t=" << sh.t;
      EXPECT_GT(found.size(), sh.tableLen / 3) << "p=" << p << " Q=" << sh.Q;
      table.Clear(sh.tableLen);
    }
    // The table's residues in lanes: x·w^i, for runs shorter than, equal to and past one and
    // two vectors.
    for (uint32_t n : {1u, 7u, 8u, 9u, 16u, 17u, 100u}) {
      std::vector<uint64_t> run(n + 16);
      const uint64_t x = rng() % p, step = rng() % p;
      PowerRunInLanes(run.data(), n, x, step, p);
      for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(run[i], RefMulMod(x, RefPower(step, i, p), p)) << p << " " << i;
    }
  }
  // Powers of 2 and of 2^(−1) in lanes, each lane its own prime and exponent (runs of one
  // prime, as the class searches ask for them, and mixed primes), partial vectors.
  for (uint32_t n : {1u, 5u, 16u}) {
    for (int round = 0; round < 20; ++round) {
      uint64_t P[kTwoPowerLanes], out[kTwoPowerLanes];
      int64_t E[kTwoPowerLanes];
      for (uint32_t i = 0; i < n; ++i) {
        P[i] = round % 2 == 0 && i > 0 && i % 4 != 0 ? P[i - 1] : primes[rng() % std::size(primes)];
        const int64_t special[] = {0, 1, -1, 64, 64 - 48 * 840, -(int64_t{1} << 39) + 1, (int64_t{1} << 39) - 1};
        E[i] = rng() % 3 == 0 ? special[rng() % std::size(special)]
                              : static_cast<int64_t>(rng() % (uint64_t{1} << 33)) - (int64_t{1} << 32);
      }
      TwoPowersInLanes(P, E, n, out);
      for (uint32_t i = 0; i < n; ++i) {
        const uint64_t base = E[i] < 0 ? (P[i] + 1) / 2 : 2;
        const uint64_t e = static_cast<uint64_t>(E[i] < 0 ? -E[i] : E[i]);
        ASSERT_EQ(out[i], RefPower(base, e, P[i])) << "p=" << P[i] << " e=" << E[i] << " lane " << i;
      }
    }
  }
}

}  // namespace
