// The array candidate store: `nvals` values in ascending order; a struck value keeps its
// place and is marked by bit 63, so the order (and the binary search) is never disturbed.
#pragma once
#include <cstdint>

extern int64_t* vals;

constexpr uint64_t VAL_MARK = 0x8000000000000000ull;

inline bool IsMarked(int64_t v) { return static_cast<uint64_t>(v) & VAL_MARK; }
inline int64_t Unmarked(int64_t v) { return static_cast<int64_t>(static_cast<uint64_t>(v) & ~VAL_MARK); }

// Order of two entries with their marks ignored: 1, -1 or 0 (qsort/bsearch style).
int comp(const void* a, const void* b);

// Index of the entry holding v (marked or not) in vals[from, count), or -1.
int64_t FindInArray(int64_t v, uint32_t from, uint32_t count);

// Room for `count` values (contents undefined); frees any previous array. False when short.
bool AllocateArray(uint32_t count);
void FreeArray();
