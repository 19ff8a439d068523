// The array store and its mark-blind ordering.
#include "fixedn/array_store.h"

#include <memory>
#include <new>

int64_t* vals = nullptr;

namespace {
std::unique_ptr<int64_t[]> arrayStore;
}

int comp(const void* a, const void* b) {
  uint64_t x = static_cast<uint64_t>(*static_cast<const int64_t*>(a)) & ~VAL_MARK;
  uint64_t y = static_cast<uint64_t>(*static_cast<const int64_t*>(b)) & ~VAL_MARK;
  return x > y ? 1 : (x < y ? -1 : 0);
}

int64_t FindInArray(int64_t v, uint32_t from, uint32_t count) {
  uint32_t lo = from, hi = count;  // search [lo, hi)
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    int c = comp(&vals[mid], &v);
    if (c == 0) return mid;
    if (c < 0) lo = mid + 1; else hi = mid;
  }
  return -1;
}

bool AllocateArray(uint32_t count) {
  FreeArray();
  arrayStore.reset(new (std::nothrow) int64_t[count > 0 ? count : 1]);
  if (!arrayStore) return false;
  vals = arrayStore.get();
  return true;
}

void FreeArray() {
  arrayStore.reset();
  vals = nullptr;
}
