// The prime source: a segmented sieve of Eratosthenes over the odd numbers. Small primes
// come from pre-sieved word patterns, medium primes are struck per segment, and the large
// additional primes wait in buckets for the segment of their next multiple.
#include "primes/soe2.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <vector>

#include "primes/primetable.h"

namespace {

// One segment: 2^18 bits, 32 KB, so that the striking stays in the first-level cache.
// Bit j of the segment that starts at S (a multiple of SEG_SPAN) stands for S + 2j + 1.
constexpr int SEG_WORDS = 4096;
constexpr uint32_t SEG_BITS = SEG_WORDS * 64;
constexpr uint64_t SEG_SPAN = 2 * uint64_t(SEG_BITS);
// Words turned into numbers by one soe2_fill: small enough to keep the staging area in L1.
constexpr int GROUP_WORDS = 8;

constexpr uint32_t LAST_BASE_PRIME = 109873;
constexpr int ADDITIONAL_PRIMES = 1000000;
// Bucket ring: more segments than the largest additional prime (below 2^24) can jump.
constexpr int BUCKETS = 128;

// Primes whose multiples are cleared by ANDing periodic patterns rather than struck one by
// one. The period of a group, in 64-bit words, is the product of its primes.
constexpr uint32_t PATTERN_GROUPS[][5] = {
    {3, 5, 7, 11, 13}, {17, 19, 23}, {29, 31}, {37, 41}, {43, 47},
    {53, 59},          {61, 67},     {71, 73}, {79, 83}, {89, 97},
};
constexpr uint32_t FIRST_STRUCK_PRIME = 101;
// Primes below this strike in unrolled rounds of eight (at least 32 multiples per segment).
constexpr uint32_t UNROLLED_BELOW = SEG_BITS / 16;

struct Pattern {
  std::vector<uint64_t> words;  // period + SEG_WORDS words, so any window is contiguous
  uint64_t period = 0;
  uint64_t index = 0;  // window start for the current segment
};

struct BucketEntry {
  uint32_t prime;
  uint32_t offset;  // bit index of the next multiple within the segment of the bucket
};

struct PrimeSource {
  bool ready = false;
  uint64_t segment[SEG_WORDS];
  std::vector<Pattern> patterns;
  std::vector<uint32_t> basePrimes;        // FIRST_STRUCK_PRIME .. 109873
  std::vector<uint32_t> additionalPrimes;  // the 1,000,000 primes after 109873, built once

  // Sieving state of the current run.
  const std::vector<uint32_t>* sievers = nullptr;  // basePrimes, or base and additional
  std::vector<uint32_t> withAdditional;
  size_t activated = 0;  // sievers[0 .. activated) are in use: q^2 below the segment end
  std::vector<uint32_t> mediumPrimes;  // primes below SEG_BITS, struck every segment
  std::vector<uint32_t> mediumOffsets;
  std::vector<BucketEntry> buckets[BUCKETS];
  uint64_t segmentNumber = 0;
  uint64_t segmentStart = 0;

  // Extraction and delivery.
  int wordCursor = SEG_WORDS;
  // Room for every bit of a group, plus the overrun of the last unrolled extraction step.
  int64_t staged[GROUP_WORDS * 64 + 3];
};

PrimeSource src;

std::vector<uint32_t> oddPrimesUpTo(uint32_t limit) {
  std::vector<bool> composite(limit / 2 + 1);
  std::vector<uint32_t> primes;
  for (uint32_t n = 3; n <= limit; n += 2) {
    if (composite[n / 2]) continue;
    primes.push_back(n);
    for (uint64_t m = uint64_t(n) * n; m <= limit; m += 2 * n) composite[m / 2] = true;
  }
  return primes;
}

void buildPattern(Pattern& pat, const uint32_t* group) {
  pat.period = 1;
  for (int i = 0; i < 5 && group[i]; ++i) pat.period *= group[i];
  pat.words.assign(pat.period + SEG_WORDS, ~uint64_t(0));
  const uint64_t bits = pat.words.size() * 64;
  for (int i = 0; i < 5 && group[i]; ++i) {
    const uint32_t q = group[i];
    for (uint64_t j = (q - 1) / 2; j < bits; j += q) pat.words[j / 64] &= ~(uint64_t(1) << (j % 64));
  }
}

// Bit index, from the start of the current segment, of the first odd multiple of q to
// strike: q^2, or the first odd multiple inside the segment when q^2 lies before it.
uint64_t firstOffset(uint32_t q) {
  const uint64_t start = src.segmentStart;
  const uint64_t square = uint64_t(q) * q;
  uint64_t m;
  if (square > start) {
    m = square;
  } else {
    m = start + (q - start % q) % q;
    if (m % 2 == 0) m += q;
  }
  return (m - start - 1) / 2;
}

void addToBucket(uint32_t q, uint64_t offset) {
  const uint64_t target = src.segmentNumber + offset / SEG_BITS;
  assert(offset / SEG_BITS < BUCKETS);
  src.buckets[target % BUCKETS].push_back({q, uint32_t(offset % SEG_BITS)});
}

// Brings into use every sieving prime whose square lies below the end of this segment.
void activatePrimes() {
  const std::vector<uint32_t>& sv = *src.sievers;
  const uint64_t end = src.segmentStart + SEG_SPAN;
  while (src.activated < sv.size()) {
    const uint32_t q = sv[src.activated];
    if (uint64_t(q) * q >= end) break;
    const uint64_t offset = firstOffset(q);
    if (q < SEG_BITS) {
      src.mediumPrimes.push_back(q);
      src.mediumOffsets.push_back(uint32_t(offset));
    } else {
      addToBucket(q, offset);
    }
    ++src.activated;
  }
}

void presieve() {
  uint64_t* seg = src.segment;
  const Pattern& first = src.patterns[0];
  std::memcpy(seg, first.words.data() + first.index, sizeof(src.segment));
  for (size_t k = 1; k < src.patterns.size(); ++k) {
    const uint64_t* w = src.patterns[k].words.data() + src.patterns[k].index;
    for (int i = 0; i < SEG_WORDS; ++i) seg[i] &= w[i];
  }
  if (src.segmentNumber == 0) {
    // The patterns clear their own primes, and bit 0 stands for 1.
    for (const auto& group : PATTERN_GROUPS)
      for (int i = 0; i < 5 && group[i]; ++i) seg[0] |= uint64_t(1) << ((group[i] - 1) / 2 % 64);
    seg[0] &= ~uint64_t(1);
  }
}

// Eight multiples of q span 8q bits, exactly q bytes, so within such a round the byte
// offsets and masks are the same every time: they are worked out once per segment and the
// round is unrolled. Returns the first multiple left over.
uint32_t strikeRounds(uint8_t* bytes, uint32_t q, uint32_t i) {
  if (i + 7 * q >= SEG_BITS) return i;
  const uint32_t rounds = (SEG_BITS - 1 - i - 7 * q) / (8 * q) + 1;
  const uint32_t r = i % 8;
  uint32_t at[8];
  uint8_t mask[8];
  for (uint32_t k = 0; k < 8; ++k) {
    at[k] = (r + k * q) / 8;
    mask[k] = uint8_t(~(1u << ((r + k * q) % 8)));
  }
  uint8_t* p = bytes + i / 8;
  for (uint32_t n = 0; n < rounds; ++n, p += q) {
    p[at[0]] &= mask[0];
    p[at[1]] &= mask[1];
    p[at[2]] &= mask[2];
    p[at[3]] &= mask[3];
    p[at[4]] &= mask[4];
    p[at[5]] &= mask[5];
    p[at[6]] &= mask[6];
    p[at[7]] &= mask[7];
  }
  return i + rounds * 8 * q;
}

void strikeMedium() {
  uint8_t* bytes = reinterpret_cast<uint8_t*>(src.segment);
  const size_t n = src.mediumPrimes.size();
  const uint32_t* primes = src.mediumPrimes.data();
  uint32_t* offsets = src.mediumOffsets.data();
  size_t k = 0;
  for (; k < n && primes[k] < UNROLLED_BELOW; ++k) {
    const uint32_t q = primes[k];
    uint32_t i = strikeRounds(bytes, q, offsets[k]);
    for (; i < SEG_BITS; i += q) bytes[i / 8] &= uint8_t(~(1u << (i % 8)));
    offsets[k] = i - SEG_BITS;
  }
  for (; k < n; ++k) {
    const uint32_t q = primes[k];
    uint32_t i = offsets[k];
    for (; i < SEG_BITS; i += q) bytes[i / 8] &= uint8_t(~(1u << (i % 8)));
    offsets[k] = i - SEG_BITS;
  }
}

void strikeBucket() {
  uint8_t* bytes = reinterpret_cast<uint8_t*>(src.segment);
  std::vector<BucketEntry>& bucket = src.buckets[src.segmentNumber % BUCKETS];
  for (const BucketEntry& e : bucket) {
    bytes[e.offset / 8] &= uint8_t(~(1u << (e.offset % 8)));
    addToBucket(e.prime, uint64_t(e.offset) + e.prime);
  }
  bucket.clear();
}

void sieveSegment() {
  presieve();
  activatePrimes();
  strikeMedium();
  strikeBucket();
  src.wordCursor = 0;
}

void advancePatterns() {
  for (Pattern& pat : src.patterns) {
    pat.index += SEG_WORDS % pat.period;
    if (pat.index >= pat.period) pat.index -= pat.period;
  }
}

}  // namespace

const int64_t* soe2_detail::stagedNext = nullptr;
const int64_t* soe2_detail::stagedEnd = nullptr;

// Builds the patterns and the base primes; the segment size is fixed, so the cache size
// passed in does not matter.
void soe2_memory(uint32_t /*cacheKb*/) {
  if (src.ready) return;
  if (primetable[0] != 3) FillPrimetable();
  for (const auto& group : PATTERN_GROUPS) buildPattern(src.patterns.emplace_back(), group);
  for (int i = 0; primetable[i] <= LAST_BASE_PRIME; ++i)
    if (primetable[i] >= FIRST_STRUCK_PRIME) src.basePrimes.push_back(primetable[i]);
  src.ready = true;
}

// Sieves the segment that holds the starting point, every offset computed afresh.
static void soe2_iteratefirsttime() {
  for (Pattern& pat : src.patterns) pat.index = src.segmentNumber * SEG_WORDS % pat.period;
  src.activated = 0;
  src.mediumPrimes.clear();
  src.mediumOffsets.clear();
  for (auto& bucket : src.buckets) bucket.clear();
  sieveSegment();
}

// Moves on to the next segment; the offsets carry over from the last one.
static void soe2_iterate() {
  ++src.segmentNumber;
  src.segmentStart += SEG_SPAN;
  advancePatterns();
  sieveSegment();
}

// Turns the next group of words into numbers, ascending, in the staging area. Each word is
// done in steps of four without a test per bit; a step may write past the word's count, and
// the next word or the spare room takes the overrun. ORing in bit 63 keeps ctz defined.
__attribute__((target_clones("popcnt", "default"))) static void soe2_fill() {
  const int end = std::min(src.wordCursor + GROUP_WORDS, SEG_WORDS);
  const int64_t base = int64_t(src.segmentStart) + 1;
  constexpr uint64_t TOP = uint64_t(1) << 63;
  int64_t* out = src.staged;
  for (int w = src.wordCursor; w < end; ++w) {
    uint64_t bits = src.segment[w];
    const int count = __builtin_popcountll(bits);
    const int64_t wordBase = base + 128 * int64_t(w);
    for (int k = 0; k < count; k += 4) {
      out[k] = wordBase + 2 * __builtin_ctzll(bits | TOP);
      bits &= bits - 1;
      out[k + 1] = wordBase + 2 * __builtin_ctzll(bits | TOP);
      bits &= bits - 1;
      out[k + 2] = wordBase + 2 * __builtin_ctzll(bits | TOP);
      bits &= bits - 1;
      out[k + 3] = wordBase + 2 * __builtin_ctzll(bits | TOP);
      bits &= bits - 1;
    }
    out += count;
  }
  src.wordCursor = end;
  soe2_detail::stagedNext = src.staged;
  soe2_detail::stagedEnd = out;
}

void soe2_detail::refill() {
  if (!src.sievers) soe2_init(0, false);
  while (stagedNext == stagedEnd) {
    if (src.wordCursor == SEG_WORDS) soe2_iterate();
    soe2_fill();
  }
}

void soe2_init(int64_t p, bool useAdditional) {
  assert(p < (int64_t(1) << 62));  // numbers and segment ends stay clear of overflow
  soe2_memory(0);
  if (p < 2) p = 2;
  if (useAdditional) {
    if (src.withAdditional.empty()) {
      const std::vector<uint32_t> all = oddPrimesUpTo(16000000);
      auto first = all.begin();
      while (*first <= LAST_BASE_PRIME) ++first;
      assert(all.end() - first >= ADDITIONAL_PRIMES);
      src.withAdditional = src.basePrimes;
      src.withAdditional.insert(src.withAdditional.end(), first, first + ADDITIONAL_PRIMES);
    }
    src.sievers = &src.withAdditional;
  } else {
    src.sievers = &src.basePrimes;
  }
  const uint64_t firstOdd = uint64_t(p) + 1 + (p & 1);  // the first odd number above p
  src.segmentNumber = firstOdd / SEG_SPAN;
  src.segmentStart = src.segmentNumber * SEG_SPAN;
  soe2_iteratefirsttime();
  const uint64_t bit = (firstOdd - src.segmentStart - 1) / 2;
  src.wordCursor = int(bit / 64);
  src.segment[src.wordCursor] &= ~uint64_t(0) << (bit % 64);
  soe2_detail::stagedNext = soe2_detail::stagedEnd = src.staged;
}

