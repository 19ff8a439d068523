// Interleaved Montgomery chains for powers of two modulo N independent odd primes: the
// portable core of the residue finders. Lanes share the exponent, so the loop has no
// data-dependent branch and the CPU overlaps the N multiply chains.
#pragma once
#include <cstdint>

#include "kernels/montgomery.h"

// One lane's square for the chains. Lazy: for p < 2^62 values may lie in [0, 2p): then
// x² < 4p² keeps the high word below p, and hi + p − high(m·p) lies in (0, 2p) without a
// compare. Strict: values in [0, p), one conditional add.
template <bool Lazy>
inline uint64_t chainSquare(uint64_t x, uint64_t p, uint64_t pinv) {
  u128 t = (u128)x * x;
  uint64_t lo = (uint64_t)t, hi = (uint64_t)(t >> 64);
  uint64_t mh = (uint64_t)(((u128)(lo * pinv) * p) >> 64);
  if (Lazy) return hi + p - mh;
  return hi < mh ? hi - mh + p : hi - mh;
}

// x/2 mod p for x in [0, 2p) (p < 2^62) or [0, p): adding p to an odd x makes it even.
inline uint64_t chainHalve(uint64_t x, uint64_t p) { return (x + (p & (0 - (x & 1)))) >> 1; }

constexpr uint64_t LAZY_CHAIN_MAX_P = uint64_t(1) << 62;

template <int N, bool Lazy>
inline void inversePowersOfTwoChains(const uint64_t* p, uint64_t* k, uint32_t n) {
  int top = 31 - __builtin_clz(n);
  int lead = top < 5 ? top : 5;
  uint32_t t = n >> (top - lead);
  uint32_t mask = top > lead ? 1u << (top - lead - 1) : 0;
  uint64_t start = uint64_t(1) << (64 - t);
  uint64_t x[N], pp[N], pinv[N];
  for (int i = 0; i < N; ++i) {
    assert((p[i] & 1) && p[i] >= 3 && (Lazy ? p[i] < LAZY_CHAIN_MAX_P : p[i] <= KERNEL_MAX_P));
    pp[i] = p[i];
    pinv[i] = inverseMod2_64(p[i]);
    x[i] = start < p[i] ? start : start % p[i];
  }
  for (; mask; mask >>= 1) {
    for (int i = 0; i < N; ++i) x[i] = chainSquare<Lazy>(x[i], pp[i], pinv[i]);
    if (n & mask)
      for (int i = 0; i < N; ++i) x[i] = chainHalve(x[i], pp[i]);
  }
  for (int i = 0; i < N; ++i) k[i] = redc(x[i], pp[i], pinv[i]);  // any x < p·2^64 gives [0, p)
}

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
  uint64_t largest = 0;
  for (int i = 0; i < N; ++i) largest = largest > p[i] ? largest : p[i];
  if (largest < LAZY_CHAIN_MAX_P)
    inversePowersOfTwoChains<N, true>(p, k, n);
  else
    inversePowersOfTwoChains<N, false>(p, k, n);
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

// One lane's Montgomery product for the multiplying chains, same bounds as chainSquare: lazy
// (p < 2^62) takes x in [0, 2p) and y in [0, p), and returns a value in (0, 2p).
template <bool Lazy>
inline uint64_t chainMul(uint64_t x, uint64_t y, uint64_t p, uint64_t pinv) {
  u128 t = (u128)x * y;
  uint64_t lo = (uint64_t)t, hi = (uint64_t)(t >> 64);
  uint64_t mh = (uint64_t)(((u128)(lo * pinv) * p) >> 64);
  if (Lazy) return hi + p - mh;
  return hi < mh ? hi - mh + p : hi - mh;
}

template <int N, bool Lazy>
inline void powersChains(const uint64_t* p, const uint64_t* x, uint64_t* r, uint32_t n) {
  uint64_t acc[N], y[N], pp[N], pinv[N];
  for (int i = 0; i < N; ++i) {
    assert((p[i] & 1) && p[i] >= 3 && x[i] < p[i] && (Lazy ? p[i] < LAZY_CHAIN_MAX_P : p[i] <= KERNEL_MAX_P));
    pp[i] = p[i];
    pinv[i] = inverseMod2_64(p[i]);
    y[i] = modWide(x[i], 0, p[i]);  // Montgomery form of x
    acc[i] = y[i];
  }
  for (uint32_t mask = firstBitBelowLeading(n); mask; mask >>= 1) {
    for (int i = 0; i < N; ++i) acc[i] = chainSquare<Lazy>(acc[i], pp[i], pinv[i]);
    if (n & mask)
      for (int i = 0; i < N; ++i) acc[i] = chainMul<Lazy>(acc[i], y[i], pp[i], pinv[i]);
  }
  for (int i = 0; i < N; ++i) r[i] = redc(acc[i], pp[i], pinv[i]);
}

// r[i] = x[i]^n mod p[i], in [0, p[i]), for odd p[i] in [3, 2^63) and x[i] < p[i]: N chains
// that square and multiply by their own x, for the bases other than 2 (x = b or b^(−1)).
template <int N>
inline void powers(const uint64_t* p, const uint64_t* x, uint64_t* r, uint32_t n) {
  if (n == 0) {
    for (int i = 0; i < N; ++i) r[i] = 1 % p[i];
    return;
  }
  uint64_t largest = 0;
  for (int i = 0; i < N; ++i) largest = largest > p[i] ? largest : p[i];
  if (largest < LAZY_CHAIN_MAX_P)
    powersChains<N, true>(p, x, r, n);
  else
    powersChains<N, false>(p, x, r, n);
}
