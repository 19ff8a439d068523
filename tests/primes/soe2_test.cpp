// The prime source against independent references: a deterministic Miller-Rabin test and a
// plain windowed sieve by every prime up to the sieving limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "primes/soe2.h"

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

// Deterministic for every 64-bit n with these base sets.
bool isPrime(u64 n) {
  if (n < 2) return false;
  for (u64 q : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}) {
    if (n % q == 0) return n == q;
  }
  static const std::vector<u64> small = {2, 7, 61};
  static const std::vector<u64> medium = {2, 13, 23, 1662803};
  static const std::vector<u64> large = {2, 325, 9375, 28178, 450775, 9780504, 1795265022};
  const auto& bases = n < 4759123141ULL ? small : n < 1122004669633ULL ? medium : large;
  u64 d = n - 1;
  int s = 0;
  while (d % 2 == 0) d /= 2, ++s;
  for (u64 a : bases) {
    a %= n;
    if (a == 0) continue;
    u64 x = powMod(a, d, n);
    if (x == 1 || x == n - 1) continue;
    bool witness = true;
    for (int i = 1; i < s && witness; ++i) {
      x = mulMod(x, x, n);
      if (x == n - 1) witness = false;
    }
    if (witness) return false;
  }
  return true;
}

// Odd primes up to 16,000,000 by a plain sieve: the base primes and the additional ones.
const std::vector<u64>& plainPrimes() {
  static const std::vector<u64> primes = [] {
    const u64 limit = 16000000;
    std::vector<bool> composite(limit + 1);
    std::vector<u64> out;
    for (u64 n = 3; n <= limit; n += 2) {
      if (composite[n]) continue;
      out.push_back(n);
      for (u64 m = 3 * n; m <= limit; m += 2 * n) composite[m] = true;
    }
    return out;
  }();
  return primes;
}

constexpr u64 LAST_BASE_PRIME = 109873;

// The last of the 1,000,000 primes that follow 109873.
u64 lastAdditionalPrime() {
  const auto& primes = plainPrimes();
  size_t i = 0;
  while (primes[i] <= LAST_BASE_PRIME) ++i;
  return primes[i + 1000000 - 1];
}

// Odd n in (lo, hi], n >= 3, with no odd prime factor up to limit other than n itself.
std::vector<int64_t> freeOfFactors(u64 lo, u64 hi, u64 limit) {
  std::vector<bool> struck(hi - lo + 1);  // index n - lo
  for (u64 q : plainPrimes()) {
    if (q > limit || q * q > hi) break;
    u64 m = std::max(3 * q, (lo / q + 1) * q);
    if (m % 2 == 0) m += q;
    for (; m <= hi; m += 2 * q) struck[m - lo] = true;
  }
  std::vector<int64_t> out;
  for (u64 n = lo + 1; n <= hi; ++n)
    if (n % 2 == 1 && n >= 3 && !struck[n - lo]) out.push_back(int64_t(n));
  return out;
}

std::vector<int64_t> primesBetween(u64 lo, u64 hi) {
  std::vector<int64_t> out;
  for (u64 n = lo + 1; n <= hi; ++n)
    if (n % 2 == 1 && isPrime(n)) out.push_back(int64_t(n));
  return out;
}

// Everything the source delivers after soe2_init(lo) up to hi.
std::vector<int64_t> delivered(int64_t lo, int64_t hi, bool useAdditional) {
  soe2_init(lo, useAdditional);
  std::vector<int64_t> out;
  while (soe2_peek() <= hi) out.push_back(soe2_next());
  return out;
}

TEST(PrimeSource, StartsAtThreeAndNeverDeliversTwo) {
  for (int64_t start : {int64_t(-7), int64_t(0), int64_t(1), int64_t(2)}) {
    soe2_init(start, false);
    EXPECT_EQ(soe2_next(), 3);
    EXPECT_EQ(soe2_next(), 5);
    EXPECT_EQ(soe2_next(), 7);
    EXPECT_EQ(soe2_next(), 11);
  }
  EXPECT_EQ(delivered(0, 3000000, false), primesBetween(0, 3000000));
}

TEST(PrimeSource, PeekDoesNotConsume) {
  soe2_init(1000, false);
  EXPECT_EQ(soe2_peek(), 1009);
  EXPECT_EQ(soe2_peek(), 1009);
  EXPECT_EQ(soe2_next(), 1009);
  EXPECT_EQ(soe2_next(), 1013);
}

TEST(PrimeSource, StartingAtAPrimeGivesTheNextOne) {
  for (u64 p : {3ULL, 31ULL, 97ULL, 101ULL, 109873ULL, 1000000007ULL, 4294967291ULL,
                1000000000039ULL}) {
    ASSERT_TRUE(isPrime(p)) << p;
    u64 next = p + 2;
    while (!isPrime(next)) next += 2;
    soe2_init(int64_t(p), false);
    EXPECT_EQ(u64(soe2_next()), next) << p;
    soe2_init(int64_t(p), true);
    EXPECT_EQ(u64(soe2_next()), next) << p;
  }
}

// Windows below MAXGUAR hold primes only, whichever sieving primes are in use.
TEST(PrimeSource, ExactPrimesInWindowsBelowTheGuarantee) {
  for (u64 centre : {1000000ULL, 1000000000ULL, 1ULL << 32, 12000000000ULL}) {
    const u64 lo = centre - 70000, hi = centre + 70000;
    const auto expected = primesBetween(lo, hi);
    EXPECT_EQ(delivered(int64_t(lo), int64_t(hi), false), expected) << centre;
    EXPECT_EQ(delivered(int64_t(lo), int64_t(hi), true), expected) << centre;
  }
}

// Above MAXGUAR the plain source also delivers composites free of factors up to 109873.
TEST(PrimeSource, FreeOfBaseFactorsAboveTheGuarantee) {
  for (u64 centre : {1000000000000ULL, 1000000000000000ULL, (1ULL << 62) - 100000}) {
    const u64 lo = centre - 60000, hi = centre + 60000;
    const auto got = delivered(int64_t(lo), int64_t(hi), false);
    EXPECT_EQ(got, freeOfFactors(lo, hi, LAST_BASE_PRIME)) << centre;
    const auto primes = primesBetween(lo, hi);
    EXPECT_GT(got.size(), primes.size()) << centre;  // composites do come through
    EXPECT_TRUE(std::includes(got.begin(), got.end(), primes.begin(), primes.end())) << centre;
  }
}

TEST(PrimeSource, FirstCompositeWithoutAdditionalPrimesIs109883Squared) {
  soe2_init(MAXGUAR, false);
  int64_t n = soe2_next();
  while (isPrime(u64(n))) n = soe2_next();
  EXPECT_EQ(n, 12074273689);
}

TEST(PrimeSource, AdditionalPrimesKeepTheSequencePrime) {
  // Just above the first composite of the plain source, and well up.
  for (u64 lo : {12074273689ULL - 30000, 10000000000000ULL, 1000000000000ULL - 60000}) {
    const u64 hi = lo + 120000;
    EXPECT_EQ(delivered(int64_t(lo), int64_t(hi), true), primesBetween(lo, hi)) << lo;
  }
}

TEST(PrimeSource, AdditionalPrimesEndAtTheLastOneInUse) {
  const u64 last = lastAdditionalPrime();
  u64 next = last + 2;
  while (!isPrime(next)) next += 2;
  const u64 square = next * next;  // the first number free of every sieving prime's factors
  auto expected = primesBetween(square - 40000, square + 40000);
  expected.insert(std::upper_bound(expected.begin(), expected.end(), int64_t(square)),
                  int64_t(square));
  EXPECT_EQ(delivered(int64_t(square - 40000), int64_t(square + 40000), true), expected);
  const u64 lo = 1000000000000000ULL - 60000, hi = lo + 120000;
  EXPECT_EQ(delivered(int64_t(lo), int64_t(hi), true), freeOfFactors(lo, hi, last));
}

TEST(PrimeSource, PlainStartAfterAdditionalUsesNoAdditionalPrimes) {
  delivered(12074273600, 12074273700, true);
  const auto got = delivered(12074273600, 12074273700, false);
  EXPECT_TRUE(std::find(got.begin(), got.end(), 12074273689) != got.end());
}

// Starts on either side of segment boundaries all give the one sequence, at every segment
// size: the smallest sends most base primes to the buckets, the largest strikes them all, and
// the two between end in a block shorter than the others or strike every prime in blocks.
TEST(PrimeSource, SameSequenceAcrossSegmentBoundaries) {
  for (uint32_t bytes : {0u, 8192u, 20000u, 40000u, 1u << 20}) {
    soe2_segment_bytes(bytes);
    const u64 span = soe2_segment_span();
    for (u64 boundary : std::initializer_list<u64>{span, 3 * span, (u64(1) << 32) / span * span,
                         1000000000000ULL / span * span, 1000000000000000ULL / span * span}) {
      const u64 lo = boundary - 3000, hi = boundary + 3000;
      const auto whole = delivered(int64_t(lo), int64_t(hi), false);
      EXPECT_EQ(whole, freeOfFactors(lo, hi, LAST_BASE_PRIME)) << bytes << " " << boundary;
      for (int d = -5; d <= 5; ++d) {
        const int64_t start = int64_t(boundary) + d;
        std::vector<int64_t> tail;
        for (int64_t n : whole)
          if (n > start) tail.push_back(n);
        EXPECT_EQ(delivered(start, int64_t(hi), false), tail) << bytes << " " << boundary << " " << d;
      }
    }
  }
  soe2_segment_bytes(0);
}

// Long runs that cross many segments (and the bucket ring many times) near 10^12, with and
// without the additional primes, at the smallest and the default segment size.
TEST(PrimeSource, LongRunsNearTenToTheTwelveAtEverySegmentSize) {
  const u64 lo = 1000000000000ULL - 700000, hi = 1000000000000ULL + 700000;
  const auto primes = primesBetween(lo, hi);
  const auto plain = freeOfFactors(lo, hi, LAST_BASE_PRIME);
  for (uint32_t bytes : {8192u, 20000u, 0u}) {
    soe2_segment_bytes(bytes);
    EXPECT_EQ(delivered(int64_t(lo), int64_t(hi), true), primes) << bytes;
    EXPECT_EQ(delivered(int64_t(lo), int64_t(hi), false), plain) << bytes;
  }
  soe2_segment_bytes(0);
}

// The first numbers of the sequence, where 3 and 5 lie off the wheel and the pattern primes
// must come through although their patterns clear them.
TEST(PrimeSource, SmallStartsAroundTheWheelAndPatternPrimes) {
  const auto primes = primesBetween(0, 2000);
  for (int64_t start = 0; start < 200; ++start) {
    std::vector<int64_t> tail;
    for (int64_t n : primes)
      if (n > start) tail.push_back(n);
    EXPECT_EQ(delivered(start, 2000, false), tail) << start;
  }
}

// Numbers leave the bitmap by vector compress where the processor has it, else one set bit at
// a time: both give the same numbers, from the densest words (the first, where every bit up to
// 240 but 1, 49, 77, ... is set) to sparse ones far up, and across the staging groups.
TEST(PrimeSource, VectorAndPortableExtractionDeliverTheSame) {
  EXPECT_EQ(delivered(0, 3000000, false), primesBetween(0, 3000000));
  for (int64_t lo : {int64_t(0), int64_t(1000000000), int64_t(1000000000000),
                     (int64_t(1) << 62) - 30000000}) {
    std::vector<int64_t> got[2];
    for (bool vector : {true, false}) {
      soe2_vector_extraction(vector);
      soe2_init(lo, false);
      for (int i = 0; i < 300000; ++i) got[vector].push_back(soe2_next());
    }
    soe2_vector_extraction(true);
    EXPECT_EQ(got[true], got[false]) << lo;
  }
  soe2_vector_extraction(false);
  EXPECT_EQ(delivered(0, 3000000, false), primesBetween(0, 3000000));
  soe2_vector_extraction(true);
}

// What the process's source delivers from lo up to hi, and what an own source delivers from
// the same start: chunks handed to threads must see exactly the sequence of one walk.
std::vector<int64_t> ownDelivered(PrimeSource& source, int64_t lo, int64_t hi, bool useAdditional) {
  std::vector<int64_t> out;
  source.Init(lo, useAdditional);
  while (source.Peek() <= hi) out.push_back(source.Next());
  return out;
}

// Chunks that start at multiples of the segment span, where the walk switches sources,
// around the places the sequence changes character: 2^32, MAXGUAR (composites start coming
// through without the additional primes) and 10^12.
TEST(PrimeSource, OwnSourcesMatchTheProcessSourceChunkByChunk) {
  const u64 span = soe2_segment_span();
  PrimeSource own(0);
  EXPECT_EQ(own.SegmentSpan(), span);
  for (u64 around : {u64(1) << 32, u64(MAXGUAR), u64(1000000000000ULL)}) {
    for (bool useAdditional : {false, true}) {
      const u64 first = around / span * span - span, last = first + 3 * span;
      const auto whole = delivered(int64_t(first), int64_t(last), useAdditional);
      std::vector<int64_t> joined;
      for (u64 chunk = first; chunk < last; chunk += span) {
        // A chunk covers (chunk, chunk + span]: the numbers after its start up to the next.
        const auto part = ownDelivered(own, int64_t(chunk), int64_t(chunk + span), useAdditional);
        joined.insert(joined.end(), part.begin(), part.end());
      }
      EXPECT_EQ(joined, whole) << around << " " << useAdditional;
    }
  }
  // The same source used again at a lower start forgets where it was.
  EXPECT_EQ(ownDelivered(own, 1000, 1100, false), primesBetween(1000, 1100));
}

// Take stops at its limit wherever the limit falls: on a segment's end (where the next
// segment need not be sieved to know nothing more is due), just before or after it, or inside
// a segment; and what lies beyond stays in place for the next call.
TEST(PrimeSource, TakeStopsAtItsLimitAndLeavesTheRestInPlace) {
  const int64_t span = int64_t(soe2_segment_span());
  PrimeSource own(0);
  for (int64_t lo : {int64_t(0), 3 * span, 1000000000000 / span * span}) {
    for (int64_t limit : {lo + span, lo + span - 1, lo + span + 1, lo + span / 2, lo + 2 * span}) {
      own.Init(lo, false);
      std::vector<int64_t> got;
      int64_t batch[4096];
      uint32_t n = 0;
      do {
        n = own.Take(batch, 4096, limit);
        got.insert(got.end(), batch, batch + n);
      } while (n == 4096);
      const int64_t next = own.Next();
      EXPECT_EQ(got, delivered(lo, limit, false)) << lo << " " << limit;
      EXPECT_EQ(next, delivered(limit, limit + 10000, false).front()) << lo << " " << limit;
    }
  }
}

// Several sources run at once, each on its own thread and at its own segment size, and none
// disturbs the others or the process's source.
TEST(PrimeSource, SourcesOnSeveralThreadsAreIndependent) {
  const int64_t lo = 1000000000000 - 200000, hi = lo + 400000;
  const auto expected = freeOfFactors(u64(lo), u64(hi), LAST_BASE_PRIME);
  std::vector<std::vector<int64_t>> got(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < got.size(); ++i) {
    threads.emplace_back([&, i] {
      PrimeSource source(i % 2 ? 8192 : 0);
      for (int round = 0; round < 3; ++round) got[i] = ownDelivered(source, lo, hi, false);
    });
  }
  soe2_init(lo, false);
  std::vector<int64_t> mine;
  while (soe2_peek() <= hi) mine.push_back(soe2_next());
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(mine, expected);
  for (const auto& g : got) EXPECT_EQ(g, expected);
}

}  // namespace
