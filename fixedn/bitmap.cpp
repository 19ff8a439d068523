// The bitmap store, its mask tables and the inner clearing loops.
#include "fixedn/bitmap.h"

#include <memory>
#include <new>
#include <vector>

#include "engine/sieve_job.h"

uint32_t* _bitmap = nullptr;
uint32_t range = 0;
uint32_t _onebits[32];
uint32_t notonebits[32];

namespace {
std::unique_ptr<uint32_t[]> bitmapStore;
size_t bitmapWords = 0;
std::vector<uint32_t> removals;  // gaps between successive members of the merged classes

// Test-and-clear without a branch on the bit: the pattern of hits is random.
inline void strike(uint32_t* bm, uint64_t pos, uint32_t& left) {
  uint32_t& w = bm[pos >> 5];
  uint32_t bit = (w >> (pos & 31)) & 1u;
  left -= bit;
  w &= ~(bit << (pos & 31));
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
  for (uint64_t pos = first; pos < range; pos += step) strike(bm, pos, left);
  job._nvalsleft = left;
}

void fastclear2(const uint32_t* nums, uint32_t count, uint32_t step) {
  assert(count > 0 && nums[count - 1] - nums[0] <= step);
  if (removals.size() < count) removals.resize(count);
  for (uint32_t j = 1; j < count; ++j) removals[j - 1] = nums[j] - nums[j - 1];
  removals[count - 1] = nums[0] + step - nums[count - 1];
  uint32_t* bm = _bitmap;
  uint32_t left = job._nvalsleft;
  const uint32_t* gap = removals.data();
  uint64_t pos = nums[0];
  uint32_t g = 0;
  // The bit at index `range` lies in the spare words and is never set.
  while (pos <= range) {
    strike(bm, pos, left);
    pos += gap[g];
    if (++g == count) g = 0;
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
