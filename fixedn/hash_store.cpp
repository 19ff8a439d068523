// The hash store: sizing, creation, insertion and deletion by marking.
#include "fixedn/hash_store.h"

#include <cassert>
#include <memory>
#include <new>

#include "common/print.h"
#include "engine/sieve_job.h"

HashEntry* Hash = nullptr;
uint32_t HashSize = 0;
uint32_t HashBitmap = 0;
bool fModHashFunction = false;
int32_t FirstNumericValue = -1;
int32_t* LastNumericValue = &FirstNumericValue;

namespace {
std::unique_ptr<HashEntry[]> hashStore;
uint32_t hashFill = 0;  // entries inserted: the table must keep an empty slot to end searches

// `next` is a signed 32-bit index, so no table may exceed 2^31 entries.
constexpr uint64_t MAX_HASH_SIZE = uint64_t{1} << 31;
}  // namespace

bool CanCreateHash(int count, int64_t budget) {
  if (count < 0) return false;
  uint64_t want = static_cast<uint64_t>(count) + static_cast<uint64_t>(count) / 2;
  uint64_t P = 1;
  while (P * 2 <= want) P *= 2;
  uint64_t size;
  bool modHash;
  if (budget < static_cast<int64_t>(24 * P)) {
    if (budget < static_cast<int64_t>(12 * want)) return false;
    size = static_cast<uint64_t>(budget) / 12;
    modHash = true;
  } else {
    size = budget > static_cast<int64_t>(48 * P) ? 4 * P : 2 * P;
    if (budget > static_cast<int64_t>(24 * size)) size *= 2;
    modHash = false;
  }
  if (size > MAX_HASH_SIZE || size <= static_cast<uint64_t>(count)) return false;
  HashSize = static_cast<uint32_t>(size);
  fModHashFunction = modHash;
  if (!modHash) HashBitmap = HashSize - 1;
  return true;
}

bool CreateHash(int count) {
  DeleteHash();
  double bytes = 12.0 * HashSize;
  if (bytes < 1048580)
    fprint("The file contains %u %c's - using fastarray: allocating %.1fKb of RAM...",
           static_cast<unsigned>(count), job.k_n, bytes / 1024);
  else
    fprint("The file contains %u %c's - using fastarray: allocating %.1fMb of RAM...",
           static_cast<unsigned>(count), job.k_n, bytes / 1048576);
  hashStore.reset(new (std::nothrow) HashEntry[HashSize]);
  if (!hashStore) return false;
  Hash = hashStore.get();
  for (uint32_t i = 0; i < HashSize; ++i) Hash[i] = {0xFFFFFFFFu, 0x7FFFFFFFu, -1};
  FirstNumericValue = -1;
  LastNumericValue = &FirstNumericValue;
  hashFill = 0;
  return true;
}

void AddToHash(int64_t v) {
  assert(v >= 0 && hashFill + 1 < HashSize);
  uint32_t h = fModHashFunction ? static_cast<uint32_t>(v % static_cast<int64_t>(HashSize))
                                : static_cast<uint32_t>(v & HashBitmap);
  while (Hash[h].value() != HASH_EMPTY) h = (h + 1 == HashSize) ? 0 : h + 1;
  Hash[h] = {static_cast<uint32_t>(v), static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32), -1};
  *LastNumericValue = static_cast<int32_t>(h);
  LastNumericValue = &Hash[h].next;
  ++hashFill;
}

bool FindAndDeleteFromHash(uint64_t v) {
  uint32_t h = fModHashFunction ? static_cast<uint32_t>(v % HashSize) : static_cast<uint32_t>(v & HashBitmap);
  // Every entry before v on its probe path is smaller, and an empty slot (the largest
  // value) ends every search, so the first larger value proves v absent.
  for (;;) {
    uint64_t here = static_cast<uint64_t>(Hash[h].value());
    if (here > v) return false;
    if (here == v) {
      if (Hash[h].deleted()) return false;
      Hash[h].hi |= 0x80000000u;
      return true;
    }
    h = (h + 1 == HashSize) ? 0 : h + 1;
  }
}

void DeleteHash() {
  hashStore.reset();
  Hash = nullptr;
  FirstNumericValue = -1;
  LastNumericValue = &FirstNumericValue;
  hashFill = 0;
}
