// The bitmap candidate store: bit i stands for the value MinNum + i (set = still a candidate),
// single-bit access and the inner clearing loops over one class or a merged set of classes.
#pragma once
#include <cassert>
#include <cstddef>
#include <cstdint>

extern uint32_t* _bitmap;
extern uint32_t range;  // MaxNum - MinNum + 1
extern uint32_t _onebits[32];
extern uint32_t notonebits[32];

// Builds the single-bit mask tables; called once at program start.
void initialise();

// Allocates a zeroed bitmap of `bits` bits plus at least two spare words (the inner loops may
// touch the bit at index `range`). Frees any previous bitmap. False when memory is short.
bool AllocateBitmap(uint64_t bits);
void FreeBitmap();
// Words in the current allocation (for tests and for clearing a reused bitmap).
size_t BitmapWords();

inline uint32_t GetBit(uint32_t i) {
  assert(_onebits[1] == 2 && "initialise() not called");
  return _bitmap[i >> 5] & _onebits[i & 31];
}
inline void ClearBit(uint32_t i) { _bitmap[i >> 5] &= notonebits[i & 31]; }
inline void SetBit(uint32_t i) { _bitmap[i >> 5] |= _onebits[i & 31]; }

// Clear first, first + step, ... below `range`, counting each set bit off `_nvalsleft`.
void fastclear(uint32_t first, uint32_t step);
// Clear the union of the classes nums[i] + j*step below `range` (the classes of one prime).
void fastclear2(const uint32_t* nums, uint32_t count, uint32_t step);
// Clear start, start - step, ... down to the last index not below 0.
void revfastclear(uint32_t start, uint32_t step);
