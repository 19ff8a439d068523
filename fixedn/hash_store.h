// The hash candidate store for sparse sets: an open-addressing table filled in increasing
// order with linear probing, chained in insertion order; a value is deleted by marking it.
#pragma once
#include <cstdint>

struct HashEntry {
  uint32_t lo;    // value, low word
  uint32_t hi;    // value, high word; its top bit marks a deleted entry
  int32_t next;   // index of the entry inserted after this one; -1 for the last and for empty slots
  int64_t value() const { return static_cast<int64_t>((uint64_t{hi & 0x7fffffffu} << 32) | lo); }
  bool deleted() const { return hi & 0x80000000u; }
};
static_assert(sizeof(HashEntry) == 12, "an entry takes 12 bytes");

constexpr int64_t HASH_EMPTY = 0x7FFFFFFFFFFFFFFFLL;

extern HashEntry* Hash;
extern uint32_t HashSize;
extern uint32_t HashBitmap;
extern bool fModHashFunction;
extern int32_t FirstNumericValue;
extern int32_t* LastNumericValue;

// Sizes a table for `count` values within `budget` bytes; false when 1.5 slots per value
// do not fit. Sets HashSize, HashBitmap and fModHashFunction.
bool CanCreateHash(int count, int64_t budget);
// Allocates the sized table (after CanCreateHash); false when the memory cannot be had.
bool CreateHash(int count);
// Values must arrive in increasing order: searches rely on it.
void AddToHash(int64_t v);
bool FindAndDeleteFromHash(uint64_t v);
void DeleteHash();
