// The prime source: a segmented sieve of Eratosthenes on the mod-30 wheel (one byte per 30
// numbers, one bit per residue prime to 30). Small primes come from pre-sieved byte patterns,
// medium primes are struck per segment, and large primes wait in buckets for their segment.
#include "primes/soe2.h"

#include <immintrin.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>
#include <mutex>
#include <vector>

#include "primes/primetable.h"

namespace {

// Bit j of byte b stands for 30b + WHEEL[j]; WHEEL[8] closes the cycle for the step tables.
constexpr uint32_t WHEEL[9] = {1, 7, 11, 13, 17, 19, 23, 29, 31};
constexpr uint32_t WHEEL_STEP[8] = {6, 4, 2, 4, 2, 4, 6, 2};

constexpr uint32_t LAST_BASE_PRIME = 109873;
constexpr int ADDITIONAL_PRIMES = 1000000;
constexpr uint32_t LARGEST_ADDITIONAL_BOUND = 16000000;  // above the last additional prime

// Primes cleared by ANDing periodic patterns rather than struck one by one. The period of a
// group, in bytes, is the product of its primes; a pattern costs one AND per byte, far less
// than striking these primes one multiple at a time.
constexpr uint32_t PATTERN_GROUPS[][4] = {
    {7, 11, 13, 17}, {19, 23, 29}, {31, 37}, {41, 43},   {47, 53},   {59, 61},   {67, 71},
    {73, 79},        {83, 89},     {97, 101}, {103, 107}, {109, 113}, {127, 131}, {137, 139},
};
constexpr uint32_t FIRST_STRUCK_PRIME = 149;

// Segment sizes accepted, in bytes (30 numbers each); the default is read from the caches
// at run time (segmentBytesFromCache), this one when they cannot be read.
constexpr uint32_t MIN_SEGMENT_BYTES = 8 * 1024;
constexpr uint32_t MAX_SEGMENT_BYTES = 1024 * 1024;
constexpr uint32_t DEFAULT_SEGMENT_BYTES = 128 * 1024;
// Primes up to this many segment sizes are struck every segment; larger ones go to buckets.
constexpr uint32_t LARGE_FACTOR = 2;
// Primes below the block size strike every part of the segment many times: they are struck
// one block at a time, so that their strikes stay in the first-level cache instead of each
// pass over the whole segment going out to the second level. Measured here, 32 KB blocks beat
// 16 KB ones by a few percent, and taking primes up to twice the block lost 15%.
constexpr uint32_t BLOCK_BYTES = 32 * 1024;
// Primes from the block size up to this fraction of the segment are struck in the same whole
// cycles, once over the segment; above it a prime makes only a few cycles per segment, and
// the cycles split at both ends cost more than stepping multiple by multiple (measured).
constexpr uint32_t MEDIUM_DIVISOR = 4;

// Words turned into numbers by one soe2_fill: small enough to keep the staging area in L1.
constexpr int GROUP_WORDS = 8;

// Step tables by the class of q mod 30 (index ri into WHEEL) and the wheel index j of the
// cofactor m of the current multiple q*m.
struct WheelTables {
  int8_t indexOf[30];     // wheel index of a residue mod 30, or -1
  uint8_t mask[8][8];     // [ri][j]: the byte mask that clears q*m
  uint8_t carry[8][8];    // [ri][j]: bytes the next multiple moves beyond (q/30)*step
  uint8_t cycleOff[8][8]; // [ri][k]: floor(r*WHEEL[k]/30), the offset within a cycle
  int64_t valueOf[64];    // number of bit i of a 64-bit word, from the word's first number
  uint8_t valueOfByte[64];  // the same, each below 240
  constexpr WheelTables() : indexOf{}, mask{}, carry{}, cycleOff{}, valueOf{}, valueOfByte{} {
    for (int i = 0; i < 30; ++i) indexOf[i] = -1;
    for (int j = 0; j < 8; ++j) indexOf[WHEEL[j]] = int8_t(j);
    for (int ri = 0; ri < 8; ++ri) {
      const uint32_t r = WHEEL[ri];
      for (int j = 0; j < 8; ++j) {
        mask[ri][j] = uint8_t(~(1u << indexOf[r * WHEEL[j] % 30]));
        carry[ri][j] = uint8_t(r * WHEEL[j + 1] / 30 - r * WHEEL[j] / 30);
        cycleOff[ri][j] = uint8_t(r * WHEEL[j] / 30);
      }
    }
    for (int i = 0; i < 64; ++i) valueOf[i] = 30 * (i / 8) + WHEEL[i % 8];
    for (int i = 0; i < 64; ++i) valueOfByte[i] = uint8_t(valueOf[i]);
  }
};
constexpr WheelTables T;

// A sieving prime struck every segment: its next multiple's byte, relative to the current
// segment, and that multiple's cofactor wheel index.
struct Siever {
  uint32_t prime;
  uint32_t pos;
  uint32_t j;
};

// A prime struck in whole wheel cycles every segment, kept in the list of its class mod 30:
// q = 30a + WHEEL[class], and the byte of the first multiple of its next cycle, relative to
// the current segment. A cycle that straddles a segment start leaves that byte negative.
struct CycleSiever {
  uint32_t a;
  int32_t pos;
};

// A large prime parked until the segment of its next multiple: q/30 and the class of q in
// one word, the byte within that segment and the cofactor wheel index in the other.
struct BucketEntry {
  uint32_t quotientClass;  // (q / 30) << 3 | ri
  uint32_t posWheel;       // pos << 3 | j
};

// The pre-sieved patterns for one block size, each a period plus a block long so that any
// window of a block is contiguous (and all of them together stay small enough for the
// caches). Read-only once built, so every source with that block size shares them.
struct PatternSet {
  uint32_t windowBytes = 0;
  std::vector<uint8_t> bytes[std::size(PATTERN_GROUPS)];
  uint64_t period[std::size(PATTERN_GROUPS)] = {};
};

// The base primes, FIRST_STRUCK_PRIME .. 109873, and the same followed by the 1,000,000
// additional ones; built once, on first use, and shared.
const std::vector<uint32_t>& basePrimes();
const std::vector<uint32_t>& withAdditionalPrimes();
std::shared_ptr<const PatternSet> patternsFor(uint32_t windowBytes);

}  // namespace

struct PrimeSource::State {
  uint32_t segBytes = 0;
  uint32_t requestedBytes = 0;  // 0: from the cache size
  std::vector<uint64_t> segment;
  std::shared_ptr<const PatternSet> patterns;
  uint64_t patternIndex[std::size(PATTERN_GROUPS)] = {};  // window starts for the current segment

  // Sieving state of the current run.
  const std::vector<uint32_t>* sievers = nullptr;  // base primes, or base and additional
  size_t activated = 0;            // sievers[0 .. activated) are in use: q^2 below the segment end
  std::vector<CycleSiever> small[8];   // q below the block size, by class mod 30
  uint32_t blockBytes = 0;             // primes below it are struck block by block
  std::vector<CycleSiever> medium[8];  // q below a quarter segment: many strikes per segment
  std::vector<Siever> wide;            // q below the segment size: a few cycles each
  std::vector<Siever> large;       // up to LARGE_FACTOR times that: a few strikes per segment
  std::vector<std::vector<BucketEntry>> buckets;  // ring, by segment number
  uint64_t segmentNumber = 0;
  uint64_t segmentByte = 0;   // first byte (of 30 numbers) of the current segment
  uint64_t segmentStart = 0;  // its first number

  // Extraction and delivery.
  int wordCursor = 0;
  int segWords = 0;
  bool compress = false;  // numbers leave the bitmap by vector compress
  // Room for every bit of a group, plus the overrun of the last extraction step (three
  // numbers unrolled, seven in vectors).
  int64_t staged[GROUP_WORDS * 64 + 7];
};

namespace {

using State = PrimeSource::State;

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

// Half the second-level cache, never less than the first: measured here, segments of that
// size deliver the sieve loop's sequence as fast as an eighth of it near 10^9 and 10^12, and
// the sequence with the additional primes near 10^12 about 1.35 times as fast, since a prime
// struck every segment reaches twice the segment size and fewer primes wait in buckets; the
// segment itself still stays in the second level.
uint32_t segmentBytesFromCache() {
  const long l1 = sysconf(_SC_LEVEL1_DCACHE_SIZE);
  const long l2 = sysconf(_SC_LEVEL2_CACHE_SIZE);
  if (l2 <= 0) return DEFAULT_SEGMENT_BYTES;
  return uint32_t(std::max(l2 / 2, l1));
}

void buildPattern(std::vector<uint8_t>& bytes, uint64_t& period, const uint32_t* group,
                  uint32_t windowBytes) {
  period = 1;
  for (int i = 0; i < 4 && group[i]; ++i) period *= group[i];
  bytes.assign(period + windowBytes, 0xff);
  for (int i = 0; i < 4 && group[i]; ++i) {
    const uint32_t q = group[i];
    // Odd multiples q*m with m prime to 30, stepping m through the wheel, over one period.
    for (uint64_t cycle = 0;; cycle += 30) {
      bool inside = false;
      for (int j = 0; j < 8; ++j) {
        const uint64_t n = q * (cycle + WHEEL[j]);
        if (n / 30 >= period) continue;
        inside = true;
        bytes[n / 30] &= T.mask[T.indexOf[q % 30]][j];
      }
      if (!inside) break;
    }
  }
  // Byte b + period holds the numbers 30·period above those of byte b, the same residues mod
  // every q of the group (q itself is struck too): the rest is copies of the first period.
  for (uint64_t at = period; at < bytes.size(); at += period)
    std::memcpy(&bytes[at], &bytes[0], std::min<uint64_t>(period, bytes.size() - at));
}

std::shared_ptr<const PatternSet> patternsFor(uint32_t windowBytes) {
  static std::mutex m;
  static std::vector<std::shared_ptr<const PatternSet>> built;
  std::lock_guard<std::mutex> lock(m);
  for (const auto& set : built)
    if (set->windowBytes == windowBytes) return set;
  auto set = std::make_shared<PatternSet>();
  set->windowBytes = windowBytes;
  for (size_t k = 0; k < std::size(PATTERN_GROUPS); ++k)
    buildPattern(set->bytes[k], set->period[k], PATTERN_GROUPS[k], windowBytes);
  built.push_back(set);
  return set;
}

const std::vector<uint32_t>& basePrimes() {
  static const std::vector<uint32_t> primes = [] {
    // The small-prime table already holds them (it reaches 274579).
    if (primetable[0] != 3) FillPrimetable();
    assert(primetable[PRIMETABLE_SIZE - 1] >= LAST_BASE_PRIME);
    std::vector<uint32_t> out;
    for (int i = 0; primetable[i] <= LAST_BASE_PRIME; ++i)
      if (primetable[i] >= FIRST_STRUCK_PRIME) out.push_back(primetable[i]);
    return out;
  }();
  return primes;
}

const std::vector<uint32_t>& withAdditionalPrimes() {
  static const std::vector<uint32_t> primes = [] {
    const std::vector<uint32_t> all = oddPrimesUpTo(LARGEST_ADDITIONAL_BOUND);
    auto first = all.begin();
    while (*first <= LAST_BASE_PRIME) ++first;
    assert(all.end() - first >= ADDITIONAL_PRIMES);
    std::vector<uint32_t> out = basePrimes();
    out.insert(out.end(), first, first + ADDITIONAL_PRIMES);
    return out;
  }();
  return primes;
}

uint32_t ringSize(const State& src) {
  // A prime below 2^24 moves at most q/5 + 1 bytes per multiple.
  const uint64_t reach = (LARGEST_ADDITIONAL_BOUND / 5 + 1) / src.segBytes + 2;
  uint32_t size = 1;
  while (size < reach) size *= 2;
  return size;
}

// Sets the segment size and builds what depends on it: the segment and the patterns.
void configure(State& src) {
  const uint32_t wanted = src.requestedBytes ? src.requestedBytes : segmentBytesFromCache();
  const uint32_t bytes = std::clamp(wanted, MIN_SEGMENT_BYTES, MAX_SEGMENT_BYTES) / 64 * 64;
  if (bytes == src.segBytes) return;
  src.segBytes = bytes;
  src.segWords = int(bytes / 8);
  src.blockBytes = std::min(BLOCK_BYTES, bytes);
  // One spare word past the end: partial cycles strike their multiples outside the segment
  // there, so that they need no branch.
  src.segment.assign(bytes / 8 + 1, 0);
  src.patterns = patternsFor(src.blockBytes);
  src.buckets.assign(ringSize(src), {});
}

// The first multiple q*m to strike, at or above both q^2 and the current segment's start,
// with m prime to 30: its byte relative to the segment, and the wheel index of m.
void firstMultiple(const State& src, uint32_t q, uint32_t& pos, uint32_t& j) {
  const uint64_t lowest = std::max(uint64_t(q) * q, src.segmentStart);
  uint64_t m = (lowest + q - 1) / q;
  while (T.indexOf[m % 30] < 0) ++m;
  pos = uint32_t(q * m / 30 - src.segmentByte);
  j = uint32_t(T.indexOf[m % 30]);
}

void addToBucket(State& src, uint32_t quotientClass, uint64_t pos, uint32_t j) {
  const uint64_t ahead = pos / src.segBytes;
  assert(ahead < src.buckets.size());
  src.buckets[(src.segmentNumber + ahead) & (src.buckets.size() - 1)].push_back(
      {quotientClass, uint32_t(pos % src.segBytes) << 3 | j});
}

// Brings into use every sieving prime whose square lies below the end of this segment.
void activatePrimes(State& src) {
  const std::vector<uint32_t>& sv = *src.sievers;
  const uint64_t end = src.segmentStart + 30 * uint64_t(src.segBytes);
  while (src.activated < sv.size()) {
    const uint32_t q = sv[src.activated];
    if (uint64_t(q) * q >= end) break;
    uint32_t pos, j;
    firstMultiple(src, q, pos, j);
    if (q < std::max(src.blockBytes, src.segBytes / MEDIUM_DIVISOR)) {
      const uint32_t a = q / 30, ri = uint32_t(T.indexOf[q % 30]);
      const uint32_t back = a * (WHEEL[j] - 1) + T.cycleOff[ri][j];  // to the cycle's first
      (q < src.blockBytes ? src.small : src.medium)[ri].push_back({a, int32_t(pos) - int32_t(back)});
    } else if (q < src.segBytes) {
      src.wide.push_back({q, pos, j});
    } else if (q < LARGE_FACTOR * src.segBytes) {
      src.large.push_back({q, pos, j});
    } else {
      addToBucket(src, (q / 30) << 3 | uint32_t(T.indexOf[q % 30]), pos, j);
    }
    ++src.activated;
  }
}

// The segment as the AND of the pattern windows, in one pass of 16-byte vectors (the
// segment size is a multiple of 64 bytes).
using Bytes16 = uint8_t __attribute__((vector_size(16)));

inline Bytes16 load16(const uint8_t* p) {
  Bytes16 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void andPatterns(uint8_t* seg, const uint8_t* const* w,
                                                                 size_t n) {
  static_assert(std::size(PATTERN_GROUPS) == 14);
  for (size_t i = 0; i < n; i += 16) {
    const Bytes16 v = load16(w[0] + i) & load16(w[1] + i) & load16(w[2] + i) & load16(w[3] + i) &
                      load16(w[4] + i) & load16(w[5] + i) & load16(w[6] + i) & load16(w[7] + i) &
                      load16(w[8] + i) & load16(w[9] + i) & load16(w[10] + i) &
                      load16(w[11] + i) & load16(w[12] + i) & load16(w[13] + i);
    std::memcpy(seg + i, &v, sizeof v);
  }
}

// Bytes [from, to) of the segment, at most a block long, so that the block is presieved just
// before it is struck and the pattern windows stay short.
void presieve(State& src, uint32_t from, uint32_t to) {
  uint8_t* seg = reinterpret_cast<uint8_t*>(src.segment.data());
  const uint8_t* w[std::size(PATTERN_GROUPS)];
  for (size_t k = 0; k < std::size(PATTERN_GROUPS); ++k)
    w[k] = src.patterns->bytes[k].data() + (src.patternIndex[k] + from) % src.patterns->period[k];
  andPatterns(seg + from, w, to - from);
  if (src.segmentNumber == 0 && from == 0) {
    // The patterns clear their own primes, and bit 0 stands for 1.
    for (const auto& group : PATTERN_GROUPS)
      for (int i = 0; i < 4 && group[i]; ++i)
        seg[group[i] / 30] |= uint8_t(1u << T.indexOf[group[i] % 30]);
    seg[0] &= uint8_t(~1u);
  }
}

// The eight multiples of a cycle lie at a*(WHEEL[k]-1) + floor(r*WHEEL[k]/30) bytes from its
// first; with the class r fixed at compile time the masks are immediates, and the registers
// left hold the offsets.
template <int RI>
struct CycleOffsets {
  uint32_t o[8];
  explicit CycleOffsets(uint32_t a) {
    for (int k = 0; k < 8; ++k) o[k] = a * (WHEEL[k] - 1) + T.cycleOff[RI][k];
  }
};

template <int RI>
inline void strikeCycle(uint8_t* p, const CycleOffsets<RI>& c) {
  p[0] &= T.mask[RI][0];
  p[c.o[1]] &= T.mask[RI][1];
  p[c.o[2]] &= T.mask[RI][2];
  p[c.o[3]] &= T.mask[RI][3];
  p[c.o[4]] &= T.mask[RI][4];
  p[c.o[5]] &= T.mask[RI][5];
  p[c.o[6]] &= T.mask[RI][6];
  p[c.o[7]] &= T.mask[RI][7];
}

// The multiples of the cycle at pos that fall inside [0, size); the others go to the spare
// byte at size.
template <int RI>
inline void strikePartialCycle(uint8_t* bytes, int32_t pos, uint32_t size, const CycleOffsets<RI>& c) {
  for (int k = 0; k < 8; ++k) {
    const uint32_t at = uint32_t(pos + int32_t(c.o[k]));
    bytes[at < size ? at : size] &= T.mask[RI][k];
  }
}

// Whole cycles of the class's primes that start below `end` and end inside the segment.
template <int RI>
void strikeBlock(uint8_t* bytes, std::vector<CycleSiever>& list, int32_t end, uint32_t size) {
  for (CycleSiever& s : list) {
    const CycleOffsets<RI> c(s.a);
    const int32_t q = int32_t(30 * s.a + WHEEL[RI]);
    const int32_t limit = std::min(end, int32_t(size - c.o[7]));
    int32_t pos = s.pos;
    for (; pos < limit; pos += q) strikeCycle<RI>(bytes + pos, c);
    s.pos = pos;
  }
}

// The cycle left over from the previous segment, so that every cycle starts inside this one.
template <int RI>
void strikeSegmentHead(uint8_t* bytes, std::vector<CycleSiever>& list, uint32_t size) {
  for (CycleSiever& s : list) {
    if (s.pos >= 0) continue;
    const CycleOffsets<RI> c(s.a);
    strikePartialCycle<RI>(bytes, s.pos, size, c);
    s.pos += int32_t(30 * s.a + WHEEL[RI]);
  }
}

// The part of the cycle that straddles the segment's end; every start is carried over
// relative to the next segment.
template <int RI>
void strikeSegmentTail(uint8_t* bytes, std::vector<CycleSiever>& list, uint32_t size) {
  for (CycleSiever& s : list) {
    if (s.pos < int32_t(size)) strikePartialCycle<RI>(bytes, s.pos, size, CycleOffsets<RI>(s.a));
    s.pos -= int32_t(size);
  }
}

// The primes below the block size, block by block (every class each block, so the block is
// still in the first-level cache when the next class strikes it); then the medium primes over
// the whole segment, whose strikes are too far apart for a block to hold more than a few.
template <size_t... RI>
void strikeCyclesIn(State& src, std::index_sequence<RI...>) {
  uint8_t* bytes = reinterpret_cast<uint8_t*>(src.segment.data());
  const uint32_t size = src.segBytes, block = src.blockBytes;
  // A block's strikes reach into the next block (never further), so that one is presieved
  // first; the head's strikes lie in the first block.
  presieve(src, 0, block);
  (strikeSegmentHead<RI>(bytes, src.small[RI], size), ...);
  for (uint32_t end = block;; end += block) {
    end = std::min(end, size);
    if (end < size) presieve(src, end, std::min(end + block, size));
    (strikeBlock<RI>(bytes, src.small[RI], int32_t(end), size), ...);
    if (end == size) break;
  }
  (strikeSegmentTail<RI>(bytes, src.small[RI], size), ...);
  (strikeSegmentHead<RI>(bytes, src.medium[RI], size), ...);
  (strikeBlock<RI>(bytes, src.medium[RI], int32_t(size), size), ...);
  (strikeSegmentTail<RI>(bytes, src.medium[RI], size), ...);
}

void strikeCycles(State& src) { strikeCyclesIn(src, std::make_index_sequence<8>()); }

// Within one cycle of the wheel (cofactors 30c+1 .. 30c+29) the eight multiples of q lie at
// the same byte offsets from the cycle's first, and the next cycle starts q bytes on; so
// whole cycles are struck unrolled with offsets and masks worked out once per segment.
void strikeMedium(State& src) {
  uint8_t* bytes = reinterpret_cast<uint8_t*>(src.segment.data());
  const uint32_t size = src.segBytes;
  for (Siever& s : src.wide) {
    const uint32_t q = s.prime, a = q / 30, ri = uint32_t(T.indexOf[q % 30]);
    const uint8_t* mask = T.mask[ri];
    const uint8_t* carry = T.carry[ri];
    uint32_t pos = s.pos, j = s.j;
    while (j != 0 && pos < size) {
      bytes[pos] &= mask[j];
      pos += a * WHEEL_STEP[j] + carry[j];
      j = (j + 1) & 7;
    }
    if (j == 0) {
      const uint8_t* co = T.cycleOff[ri];
      const uint32_t o1 = a * 6 + co[1], o2 = a * 10 + co[2], o3 = a * 12 + co[3],
                     o4 = a * 16 + co[4], o5 = a * 18 + co[5], o6 = a * 22 + co[6],
                     o7 = a * 28 + co[7];
      const uint8_t m0 = mask[0], m1 = mask[1], m2 = mask[2], m3 = mask[3], m4 = mask[4],
                    m5 = mask[5], m6 = mask[6], m7 = mask[7];
      for (; pos + o7 < size; pos += q) {
        uint8_t* p = bytes + pos;
        p[0] &= m0;
        p[o1] &= m1;
        p[o2] &= m2;
        p[o3] &= m3;
        p[o4] &= m4;
        p[o5] &= m5;
        p[o6] &= m6;
        p[o7] &= m7;
      }
      while (pos < size) {
        bytes[pos] &= mask[j];
        pos += a * WHEEL_STEP[j] + carry[j];
        j = (j + 1) & 7;
      }
    }
    s.pos = pos - size;
    s.j = j;
  }
}

void strikeLarge(State& src) {
  uint8_t* bytes = reinterpret_cast<uint8_t*>(src.segment.data());
  const uint32_t size = src.segBytes;
  for (Siever& s : src.large) {
    const uint32_t q = s.prime, a = q / 30, ri = uint32_t(T.indexOf[q % 30]);
    uint32_t pos = s.pos, j = s.j;
    while (pos < size) {
      bytes[pos] &= T.mask[ri][j];
      pos += a * WHEEL_STEP[j] + T.carry[ri][j];
      j = (j + 1) & 7;
    }
    s.pos = pos - size;
    s.j = j;
  }
}

void strikeBucket(State& src) {
  uint8_t* bytes = reinterpret_cast<uint8_t*>(src.segment.data());
  const uint32_t size = src.segBytes;
  std::vector<BucketEntry>& bucket = src.buckets[src.segmentNumber & (src.buckets.size() - 1)];
  for (const BucketEntry& e : bucket) {
    const uint32_t a = e.quotientClass >> 3, ri = e.quotientClass & 7;
    uint64_t pos = e.posWheel >> 3;
    uint32_t j = e.posWheel & 7;
    do {
      bytes[pos] &= T.mask[ri][j];
      pos += a * WHEEL_STEP[j] + T.carry[ri][j];
      j = (j + 1) & 7;
    } while (pos < size);
    addToBucket(src, e.quotientClass, pos, j);
  }
  bucket.clear();
}

void sieveSegment(State& src) {
  activatePrimes(src);
  strikeCycles(src);
  strikeMedium(src);
  strikeLarge(src);
  strikeBucket(src);
  src.wordCursor = 0;
}

void advancePatterns(State& src) {
  for (size_t k = 0; k < std::size(PATTERN_GROUPS); ++k) {
    const uint64_t period = src.patterns->period[k];
    src.patternIndex[k] += src.segBytes % period;
    if (src.patternIndex[k] >= period) src.patternIndex[k] -= period;
  }
}

// Sieves the segment that holds the starting point, every offset computed afresh.
void iterateFirstTime(State& src) {
  for (size_t k = 0; k < std::size(PATTERN_GROUPS); ++k)
    src.patternIndex[k] = src.segmentByte % src.patterns->period[k];
  src.activated = 0;
  for (auto& list : src.small) list.clear();
  for (auto& list : src.medium) list.clear();
  src.wide.clear();
  src.large.clear();
  for (auto& bucket : src.buckets) bucket.clear();
  sieveSegment(src);
}

// Moves on to the next segment; the offsets carry over from the last one.
void iterate(State& src) {
  ++src.segmentNumber;
  src.segmentByte += src.segBytes;
  src.segmentStart += 30 * uint64_t(src.segBytes);
  advancePatterns(src);
  sieveSegment(src);
}

// A cloned function's resolver runs before ThreadSanitizer has started, which crashes an
// instrumented build at load; that build takes the default version alone.
#if defined(__SANITIZE_THREAD__)
#define SANITIZING_THREADS
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SANITIZING_THREADS
#endif
#endif
#ifdef SANITIZING_THREADS
#define CLONED_FOR_POPCNT
#else
#define CLONED_FOR_POPCNT __attribute__((target_clones("popcnt", "default")))
#endif

// Turns the next group of words into numbers, ascending, in the staging area. Each word is
// done in steps of four without a test per bit; a step may write past the word's count, and
// the next word or the spare room takes the overrun. ORing in bit 63 keeps ctz defined.
CLONED_FOR_POPCNT void fillPortable(State& src, const int64_t*& next, const int64_t*& stagedEnd) {
  const int end = std::min(src.wordCursor + GROUP_WORDS, src.segWords);
  constexpr uint64_t TOP = uint64_t(1) << 63;
  const uint64_t* words = src.segment.data();
  int64_t* out = src.staged;
  int64_t wordBase = int64_t(src.segmentStart) + 240 * int64_t(src.wordCursor);
  for (int w = src.wordCursor; w < end; ++w, wordBase += 240) {
    uint64_t bits = words[w];
    const int count = __builtin_popcountll(bits);
    for (int k = 0; k < count; k += 4) {
      out[k] = wordBase + T.valueOf[__builtin_ctzll(bits | TOP)];
      bits &= bits - 1;
      out[k + 1] = wordBase + T.valueOf[__builtin_ctzll(bits | TOP)];
      bits &= bits - 1;
      out[k + 2] = wordBase + T.valueOf[__builtin_ctzll(bits | TOP)];
      bits &= bits - 1;
      out[k + 3] = wordBase + T.valueOf[__builtin_ctzll(bits | TOP)];
      bits &= bits - 1;
    }
    out += count;
  }
  src.wordCursor = end;
  next = src.staged;
  stagedEnd = out;
}


// The same with AVX-512: one byte-compress gathers the numbers of a word's set bits, as
// offsets from its first number (each below 240), and each group of eight is widened to
// 64 bits and added to the word's base. A word's last group may write up to seven numbers
// past its count, which the next word or the spare room takes.
__attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt")))
void fillCompress(State& src, const int64_t*& next, const int64_t*& stagedEnd) {
  const int end = std::min(src.wordCursor + GROUP_WORDS, src.segWords);
  const uint64_t* words = src.segment.data();
  int64_t* out = src.staged;
  int64_t wordBase = int64_t(src.segmentStart) + 240 * int64_t(src.wordCursor);
  const __m512i offsets = _mm512_loadu_si512(T.valueOfByte);
  // Byte 8i of lane i takes compressed byte i; the other bytes are zeroed.
  const __m512i firstEight = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i eight = _mm512_set1_epi64(8);
  constexpr __mmask64 LOW_BYTES = 0x0101010101010101ULL;
  for (int w = src.wordCursor; w < end; ++w, wordBase += 240) {
    const uint64_t bits = words[w];
    const int count = __builtin_popcountll(bits);
    const __m512i packed = _mm512_maskz_compress_epi8(bits, offsets);
    const __m512i base = _mm512_set1_epi64(wordBase);
    __m512i index = firstEight;
    for (int k = 0; k < count; k += 8) {
      const __m512i wide = _mm512_maskz_permutexvar_epi8(LOW_BYTES, index, packed);
      _mm512_storeu_si512(out + k, _mm512_add_epi64(wide, base));
      index = _mm512_add_epi64(index, eight);
    }
    out += count;
  }
  src.wordCursor = end;
  next = src.staged;
  stagedEnd = out;
}

bool cpuHasCompress() {
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512vbmi") &&
                          __builtin_cpu_supports("avx512vbmi2");
  return has;
}

std::atomic<bool> compressAllowed{true};

void fill(State& src, const int64_t*& next, const int64_t*& stagedEnd) {
  if (src.compress)
    fillCompress(src, next, stagedEnd);
  else
    fillPortable(src, next, stagedEnd);
}

}  // namespace

constinit PrimeSource soe2_global;

PrimeSource::PrimeSource(uint32_t segmentBytes) : state_(new State) { state_->requestedBytes = segmentBytes; }

PrimeSource::~PrimeSource() {
  delete state_;
  state_ = nullptr;
}

State& PrimeSource::state() {
  if (!state_) state_ = new State;
  if (state_->segBytes == 0) configure(*state_);
  return *state_;
}

void PrimeSource::SegmentBytes(uint32_t bytes) {
  State& src = state();
  src.requestedBytes = bytes;
  src.sievers = nullptr;  // the next delivery starts afresh
}

uint64_t PrimeSource::SegmentSpan() {
  State& src = state();
  configure(src);
  return 30 * uint64_t(src.segBytes);
}

bool PrimeSource::UnstagedAbove(int64_t limit) {
  const State& src = state();
  if (!src.sievers) return false;
  // The smallest number a word can hold is one above its base.
  return int64_t(src.segmentStart) + 240 * int64_t(src.wordCursor) >= limit;
}

void PrimeSource::Refill() {
  State& src = state();
  if (!src.sievers) Init(0, false);
  while (stagedNext_ == stagedEnd_) {
    if (src.wordCursor == src.segWords) iterate(src);
    fill(src, stagedNext_, stagedEnd_);
  }
}

void PrimeSource::Init(int64_t p, bool useAdditional) {
  assert(p < (int64_t(1) << 62));  // numbers and segment ends stay clear of overflow
  State& src = state();
  configure(src);
  src.compress = compressAllowed.load(std::memory_order_relaxed) && cpuHasCompress();
  if (p < 2) p = 2;
  src.sievers = useAdditional ? &withAdditionalPrimes() : &basePrimes();
  const uint64_t firstOdd = uint64_t(p) + 1 + (p & 1);  // the first odd number above p
  const uint64_t span = 30 * uint64_t(src.segBytes);
  src.segmentNumber = firstOdd / span;
  src.segmentByte = src.segmentNumber * src.segBytes;
  src.segmentStart = src.segmentNumber * span;
  iterateFirstTime(src);
  // Numbers up to p leave the first word; the words before it are skipped.
  const uint64_t byte = (firstOdd - src.segmentStart) / 30;
  src.wordCursor = int(byte / 8);
  uint64_t& word = src.segment[src.wordCursor];
  const uint64_t wordStart = src.segmentStart + 240 * uint64_t(src.wordCursor);
  for (int i = 0; i < 64; ++i)
    if (wordStart + uint64_t(T.valueOf[i]) < firstOdd) word &= ~(uint64_t(1) << i);
  // 3 and 5 have no place on the wheel.
  int64_t* staged = src.staged;
  if (p < 3) *staged++ = 3;
  if (p < 5) *staged++ = 5;
  stagedNext_ = src.staged;
  stagedEnd_ = staged;
}

// Builds the base primes and the segment and patterns for the segment size read from the
// cache, so that the first start costs no more than any other; the cache size passed in is
// not needed for that.
void soe2_memory(uint32_t /*cacheKb*/) {
  if (primetable[0] != 3) FillPrimetable();
  basePrimes();
  soe2_global.SegmentSpan();
}

void soe2_init(int64_t p, bool useAdditional) { soe2_global.Init(p, useAdditional); }
void soe2_segment_bytes(uint32_t bytes) { soe2_global.SegmentBytes(bytes); }
void soe2_vector_extraction(bool allowed) { compressAllowed.store(allowed, std::memory_order_relaxed); }
uint64_t soe2_segment_span() { return soe2_global.SegmentSpan(); }
