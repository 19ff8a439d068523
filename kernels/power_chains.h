// Interleaved Montgomery chains for powers of two modulo N independent odd primes: the
// portable core of the residue finders. Lanes share the exponent, so the loop has no
// data-dependent branch and the CPU overlaps the N multiply chains.
#pragma once
#include <cstdint>

#include "kernels/montgomery.h"

// k[i] = 2^(−n) mod p[i], in [0, p[i]), for odd p[i] in [3, 2^63).
//
// Montgomery form of 2^(−t) is 2^(64−t) mod p, a plain power of two: the start folds up to
// six leading bits of n into t (32 ≤ t ≤ 63 for n ≥ 32), which is already below p for every
// p above 2^32, so no division is needed there; smaller p take one 64-bit remainder.
template <int N>
inline void inversePowersOfTwo(const uint64_t* p, uint64_t* k, uint32_t n) {
  if (n == 0) {
    for (int i = 0; i < N; ++i) k[i] = 1 % p[i];
    return;
  }
  int top = 31 - __builtin_clz(n);
  int lead = top < 5 ? top : 5;
  uint32_t t = n >> (top - lead);
  uint32_t mask = top > lead ? 1u << (top - lead - 1) : 0;
  uint64_t start = uint64_t(1) << (64 - t);
  uint64_t x[N], pp[N], pinv[N];
  for (int i = 0; i < N; ++i) {
    assert((p[i] & 1) && p[i] >= 3 && p[i] <= KERNEL_MAX_P);
    pp[i] = p[i];
    pinv[i] = inverseMod2_64(p[i]);
    x[i] = start < p[i] ? start : start % p[i];
  }
  for (; mask; mask >>= 1) {
    for (int i = 0; i < N; ++i) x[i] = redc((u128)x[i] * x[i], pp[i], pinv[i]);
    if (n & mask)
      for (int i = 0; i < N; ++i) x[i] = halveModP(x[i], pp[i]);
  }
  for (int i = 0; i < N; ++i) k[i] = redc(x[i], pp[i], pinv[i]);
}

// r[i] = 2^n mod p[i], in [0, p[i]). The start is the Montgomery form of 2^t for up to five
// leading bits of n (one 128-bit remainder per lane); the step doubles.
template <int N>
inline void powersOfTwo(const uint64_t* p, uint64_t* r, uint32_t n) {
  if (n == 0) {
    for (int i = 0; i < N; ++i) r[i] = 1 % p[i];
    return;
  }
  int top = 31 - __builtin_clz(n);
  int lead = top < 4 ? top : 4;
  uint32_t t = n >> (top - lead);
  uint32_t mask = top > lead ? 1u << (top - lead - 1) : 0;
  uint64_t x[N], pp[N], pinv[N];
  for (int i = 0; i < N; ++i) {
    assert((p[i] & 1) && p[i] >= 3 && p[i] <= KERNEL_MAX_P);
    pp[i] = p[i];
    pinv[i] = inverseMod2_64(p[i]);
    uint64_t power = uint64_t(1) << t;
    x[i] = modWide(power < p[i] ? power : power % p[i], 0, p[i]);
  }
  for (; mask; mask >>= 1) {
    for (int i = 0; i < N; ++i) x[i] = redc((u128)x[i] * x[i], pp[i], pinv[i]);
    if (n & mask)
      for (int i = 0; i < N; ++i) x[i] = doubleModP(x[i], pp[i]);
  }
  for (int i = 0; i < N; ++i) r[i] = redc(x[i], pp[i], pinv[i]);
}
