// The bitmap store, its mask tables and the inner clearing loops.
#include "fixedn/bitmap.h"

#include <algorithm>
#include <memory>
#include <new>
#include <numeric>
#include <vector>

#include "engine/sieve_job.h"

uint32_t* _bitmap = nullptr;
uint32_t range = 0;
uint32_t _onebits[32];
uint32_t notonebits[32];

namespace {
std::unique_ptr<uint32_t[]> bitmapStore;
size_t bitmapWords = 0;

// Test-and-clear without a branch on the bit: the pattern of hits is random.
inline void strike(uint32_t* bm, uint64_t pos, uint32_t& left) {
  uint32_t& w = bm[pos >> 5];
  uint32_t bit = (w >> (pos & 31)) & 1u;
  left -= bit;
  w &= ~(bit << (pos & 31));
}
// Classes dense enough to put a member in most words are cleared a word at a time: their
// union repeats every lcm(step, 32) bits, so a table of that many words of masks is ANDed
// in and the struck bits are counted with popcount. Members below `limit` are cleared, as
// the member-at-a-time walk would. False when the walk is the better way.
constexpr uint32_t MASK_MAX_WORDS = 4096;
// Word masks pay once a class puts about two members in a word (measured by bench_clear).
constexpr uint32_t MASK_PATH_DENSITY = 16;  // masks while step < this many bits per class
std::vector<uint32_t> maskTable;

bool clearByMasks(const uint32_t* starts, uint32_t count, uint32_t step, uint64_t limit, uint32_t& left) {
  const uint32_t period = step / std::gcd(step, 32u);  // in words
  if (uint64_t{step} >= uint64_t{MASK_PATH_DENSITY} * count || period > MASK_MAX_WORDS) return false;
  const uint64_t S = (*std::max_element(starts, starts + count) >> 5) + 1;  // every class has begun
  const uint64_t E = limit >> 5;  // words S .. E-1 lie wholly below the limit
  if (E < S + 2 * period) return false;
  uint32_t* bm = _bitmap;
  maskTable.assign(period, 0);
  for (uint32_t j = 0; j < count; ++j) {
    uint64_t m = starts[j];
    for (; m < S * 32; m += step) strike(bm, m, left);
    for (; m < (S + period) * 32; m += step) maskTable[(m >> 5) - S] |= 1u << (m & 31);
  }
  const uint32_t* mask = maskTable.data();
  uint32_t t = 0;
  for (uint64_t w = S; w < E; ++w) {
    uint32_t hit = bm[w] & mask[t];
    left -= static_cast<uint32_t>(__builtin_popcount(hit));
    bm[w] ^= hit;
    if (++t == period) t = 0;
  }
  if (limit & 31) {
    uint32_t hit = bm[E] & mask[t] & ((1u << (limit & 31)) - 1);
    left -= static_cast<uint32_t>(__builtin_popcount(hit));
    bm[E] ^= hit;
  }
  return true;
}
}  // namespace

void initialise() {
  for (int i = 0; i < 32; ++i) {
    _onebits[i] = 1u << i;
    notonebits[i] = ~_onebits[i];
  }
}

bool AllocateBitmap(uint64_t bits) {
  FreeBitmap();
  size_t words = static_cast<size_t>((bits + 64) / 32 + 1);
  bitmapStore.reset(new (std::nothrow) uint32_t[words]());
  if (!bitmapStore) return false;
  _bitmap = bitmapStore.get();
  bitmapWords = words;
  return true;
}

void FreeBitmap() {
  bitmapStore.reset();
  _bitmap = nullptr;
  bitmapWords = 0;
}

size_t BitmapWords() { return bitmapWords; }

void fastclear(uint32_t first, uint32_t step) {
  assert(first < range && step > 0);
  uint32_t* bm = _bitmap;
  uint32_t left = job._nvalsleft;
  if (!clearByMasks(&first, 1, step, range, left))
    for (uint64_t pos = first; pos < range; pos += step) strike(bm, pos, left);
  job._nvalsleft = left;
}

void fastclear2(const uint32_t* nums, uint32_t count, uint32_t step) {
  assert(count > 0 && step > 0);
  uint32_t left = job._nvalsleft;
  // Sparse classes are walked one after another: on x86-64 that beats a merged walk through a
  // cyclic table of gaps (see bench_clear), and the union struck is the same.
  if (!clearByMasks(nums, count, step, range, left)) {
    uint32_t* bm = _bitmap;
    for (uint32_t j = 0; j < count; ++j)
      for (uint64_t pos = nums[j]; pos < range; pos += step) strike(bm, pos, left);
  }
  job._nvalsleft = left;
}

void revfastclear(uint32_t start, uint32_t step) {
  assert(step > 0);
  uint32_t* bm = _bitmap;
  uint32_t left = job._nvalsleft;
  for (int64_t pos = static_cast<int32_t>(start); pos >= 0; pos -= step) strike(bm, pos, left);
  job._nvalsleft = left;
}
