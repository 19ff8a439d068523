// Batch finders: 2^(−n) mod six or twelve primes per call (n = kernel._nvalue), through
// batch cells that the work procedures fill and read in slot order.
#pragma once
#include <cstdint>

// Six-prime cells: slot i takes its prime in _p64[i] (the cell _p0i64) and gets its residue
// in _k64[i], in [0, p).
extern int64_t _p64[6];
extern int64_t _k64[6];
// Twelve-prime cells: slot i in p0p11[i], residue in k0k11[i].
extern int64_t p0p11[12];
extern int64_t k0k11[12];

// The six-prime finders. They differ only in the processor features they may use: find_k0
// and find_k0_bigp take the AVX-512 IFMA path where the CPU and the primes allow it,
// find_k0_nocmov_bigp always runs the portable chains. All give identical residues.
void find_k0();
void find_k0_bigp();
void find_k0_nocmov_bigp();
// The twelve-prime finder (same dispatch as find_k0).
void findk0xM_SSE2();
// The same on the caller's arrays (p[12] in, k[12] out), for threads that keep their own cells.
void findk0xM(const int64_t* p, int64_t* k);

// Primes per call of the other-base batch finder: two IFMA vectors, or two portable groups.
constexpr int POWER_BATCH = 16;
// r[i] = x[i]^n mod p[i] in [0, p[i]) for count ≤ POWER_BATCH odd primes, n = kernel._nvalue
// and x[i] < p[i]: b^(−n) from x = b^(−1) mod p, b^n from x = b mod p. Slot i in, slot i out;
// the IFMA chains where the CPU allows and every prime lies below 2^52, else the portable ones.
void findpowersBatch(const int64_t* p, const int64_t* x, int64_t* r, int count);

// True when this CPU has the AVX-512 IFMA instructions the wide path needs (and
// MORVANE_CPU does not mask them).
bool cpuHasIfma();
// Forces the portable path even where IFMA exists (benchmarks and tests compare both).
void setIfmaAllowed(bool allowed);
// Whether the IFMA paths are taken: the CPU has them and they are allowed.
bool ifmaInUse();
