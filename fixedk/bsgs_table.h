// The table of a baby-step giant-step search: residues stored in insertion order, found
// again through 4096 buckets that each hold a 32-bit presence word and a chain head.
// One search per prime; the walk that probes it is the generic routine at the end.
#pragma once
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "fixedk/fixed_multiplier.h"

class BsgsTable {
 public:
  static constexpr uint32_t kBuckets = 4096;

  // Room for entries 0 .. entries-1.
  void Reserve(uint32_t entries) {
    R0.assign(entries, 0);
    R0miss.assign(entries, 0);
  }
  uint32_t capacity() const { return static_cast<uint32_t>(R0.size()); }

  // Entry i holds v; entries are inserted in order 0, 1, 2, ... after a Clear.
  void Insert(uint32_t i, uint64_t v) {
    assert(i < R0.size());
    Bucket& b = Bitmap2andR0Hash[BucketOf(v)];
    R0[i] = v;
    b.presence |= uint32_t{1} << (v & 31);
    R0miss[i] = b.head;
    b.head = i + 1;
  }

  // Calls f(i) for every entry i whose value is y, most recent first. The presence word
  // answers most misses without touching the entries.
  template <class F>
  void ForEachMatch(uint64_t y, F&& f) const {
    const Bucket& b = Bitmap2andR0Hash[BucketOf(y)];
    if ((b.presence & (uint32_t{1} << (y & 31))) == 0) return;
    for (uint32_t link = b.head; link != 0; link = R0miss[link - 1])
      if (R0[link - 1] == y) f(link - 1);
  }

  // The buckets as 64-bit words, bucket b at [b]: its presence word is the low half. Entry
  // v's bucket is (v mod 2^17)/32, and bit v mod 32 of the presence word is set for it.
  const uint64_t* BucketWords() const { return reinterpret_cast<const uint64_t*>(Bitmap2andR0Hash); }

  // Empties the buckets used by entries 0 .. count-1, leaving the whole hash zero.
  void Clear(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) Bitmap2andR0Hash[BucketOf(R0[i])] = Bucket{};
  }

 private:
  struct Bucket {
    uint32_t presence = 0;  // bit (v AND 31) set when some entry v of this bucket has it
    uint32_t head = 0;      // 1 + the most recent entry of this bucket; 0 when empty
  };
  static_assert(sizeof(Bucket) == 8 && alignof(Bucket) == 4, "buckets are read as 64-bit words");
  static uint32_t BucketOf(uint64_t v) { return static_cast<uint32_t>(v & 0x1ffff) >> 5; }

  alignas(8) Bucket Bitmap2andR0Hash[kBuckets];
  std::vector<uint64_t> R0;       // the entries' residues
  std::vector<uint32_t> R0miss;   // chain links: the bucket's head before entry i went in
};

// One search: entries x0·s^i for i < tableLen (s applied by tableStep), then the walk
// values y0·t^a for a < walkLen (t applied by walkStep); onMatch(i, a) for every equal
// pair, in the order of a and, for one a, most recent entry first. Leaves the table's hash
// empty again. Multiplying steps run as interleaved power runs (fixed_multiplier.h), in
// blocks, so the table's and the walk's products overlap; the values and the order of the
// matches are those of the single chain.
template <class TableStep, class WalkStep, class OnMatch>
inline void BabyGiantSearch(BsgsTable& table, uint64_t x0, uint32_t tableLen, TableStep tableStep,
                            uint64_t y0, uint32_t walkLen, WalkStep walkStep, OnMatch onMatch) {
  constexpr uint32_t kBlock = 64;
  uint64_t block[kBlock];
  uint64_t x = x0;
  for (uint32_t i = 0; i < tableLen;) {
    const uint32_t n = std::min(kBlock, tableLen - i);
    if constexpr (std::is_same_v<TableStep, FixedMultiplier>) {
      PowerRun(block, x, n, tableStep);
      x = tableStep(block[n - 1]);
    } else {
      for (uint32_t k = 0; k < n; ++k, x = tableStep(x)) block[k] = x;
    }
    for (uint32_t k = 0; k < n; ++k) table.Insert(i + k, block[k]);
    i += n;
  }
  uint64_t y = y0;
  if constexpr (std::is_same_v<WalkStep, FixedMultiplier>) {
    for (uint32_t a = 0; a < walkLen;) {
      const uint32_t n = std::min(kBlock, walkLen - a);
      PowerRun(block, y, n, walkStep);
      y = walkStep(block[n - 1]);
      for (uint32_t k = 0; k < n; ++k) table.ForEachMatch(block[k], [&](uint32_t i) { onMatch(i, a + k); });
      a += n;
    }
  } else {
    for (uint32_t a = 0; a < walkLen; ++a) {
      table.ForEachMatch(y, [&](uint32_t i) { onMatch(i, a); });
      y = walkStep(y);
    }
  }
  table.Clear(tableLen);
}
