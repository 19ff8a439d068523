// Exact modular arithmetic for odd moduli p < 2^63: 128-bit division, Montgomery
// multiplication (R = 2^64) and the primitive steps of the exponent-bit engine.
#pragma once
#include <cassert>
#include <cstdint>

using u128 = unsigned __int128;

// Largest modulus the kernels are exact for: every odd p a signed 64-bit value can hold.
// Halving adds p to a residue below p, so p must stay below 2^63.
constexpr uint64_t KERNEL_MAX_P = 0x7fffffffffffffffULL;

// (hi·2^64 + lo) mod d, for hi < d (so the quotient fits 64 bits and divq cannot fault).
inline uint64_t modWide(uint64_t hi, uint64_t lo, uint64_t d) {
  assert(hi < d);
#if defined(__x86_64__)
  uint64_t q, r;
  asm("divq %4" : "=a"(q), "=d"(r) : "a"(lo), "d"(hi), "rm"(d) : "cc");
  (void)q;
  return r;
#else
  return (uint64_t)((((u128)hi << 64) | lo) % d);
#endif
}

// a·b mod p for a, b < p (any p ≥ 1).
inline uint64_t mulModWide(uint64_t a, uint64_t b, uint64_t p) {
  u128 t = (u128)a * b;
  return modWide((uint64_t)(t >> 64), (uint64_t)t, p);
}

// p^(-1) mod 2^64 for odd p: Newton's iteration doubles the correct low bits each step,
// from the 5 bits that (3p) xor 2 gets right.
inline uint64_t inverseMod2_64(uint64_t p) {
  assert(p & 1);
  uint64_t x = (3 * p) ^ 2;
  x *= 2 - p * x;
  x *= 2 - p * x;
  x *= 2 - p * x;
  x *= 2 - p * x;
  return x;
}

// Montgomery reduction t·2^(-64) mod p for t < p·2^64, result in [0, p).
// m = lo(t)·p^(-1) makes the low words of t and m·p equal, so no borrow crosses into the
// high word and the high-word difference lies in (−p, p).
inline uint64_t redc(u128 t, uint64_t p, uint64_t pinv) {
  uint64_t lo = (uint64_t)t, hi = (uint64_t)(t >> 64);
  uint64_t m = lo * pinv;
  uint64_t mp = (uint64_t)(((u128)m * p) >> 64);
  uint64_t r = hi - mp;
  return hi < mp ? r + p : r;
}

// One odd modulus with its Montgomery constant. Values "in Montgomery form" are x·2^64 mod p.
struct MontgomeryModulus {
  uint64_t p;
  uint64_t pinv;

  explicit MontgomeryModulus(uint64_t modulus) : p(modulus), pinv(inverseMod2_64(modulus)) {
    assert(modulus >= 3 && modulus <= KERNEL_MAX_P);
  }
  uint64_t mul(uint64_t a, uint64_t b) const { return redc((u128)a * b, p, pinv); }
  uint64_t square(uint64_t a) const { return redc((u128)a * a, p, pinv); }
  uint64_t toMont(uint64_t x) const { return modWide(x, 0, p); }  // x < p
  uint64_t fromMont(uint64_t x) const { return redc(x, p, pinv); }
  uint64_t one() const { return (0 - p) % p; }  // 2^64 mod p
};

// Primitive steps on residues in [0, p), p < 2^63; each returns a residue in [0, p).
// Both are linear, so they act the same on Montgomery forms.
inline uint64_t halveModP(uint64_t r, uint64_t p) {
  assert(r < p);
  return (r + (p & (0 - (r & 1)))) >> 1;
}
inline uint64_t doubleModP(uint64_t r, uint64_t p) {
  assert(r < p);
  uint64_t d = r + r;
  return d >= p ? d - p : d;
}

// (c − t)/2 mod p in [1, p] (p standing for 0) for t in [0, p) and c = 1 or 2: p + c − t lies
// in [c + 1, p + c]; one subtraction of p brings it into [1, p], and adding p to an odd value
// makes the halving exact. The residue of the arithmetic-progression forms.
inline uint64_t halfDifferenceModP(uint64_t t, uint64_t c, uint64_t p) {
  assert(t < p && (c == 1 || c == 2));
  uint64_t r = p + c - t;
  if (r > p) r -= p;
  return (r + (p & (0 - (r & 1)))) >> 1;
}

// Mask of the bit just below the leading bit of n (0 for n ≤ 1): the first bit the engine
// scans, the leading bit being represented by the start value.
inline uint32_t firstBitBelowLeading(uint32_t n) {
  if (n <= 1) return 0;
  return 1u << (30 - __builtin_clz(n));
}

// The exponent-bit engine: from x (the Montgomery form of the start value) scan the bits of
// n selected by mask downward; each round squares and, where n has the bit, applies step.
template <class Step>
inline uint64_t runExponentBits(const MontgomeryModulus& m, uint64_t x, uint32_t n, uint32_t mask,
                                Step step) {
  for (; mask; mask >>= 1) {
    x = m.square(x);
    if (n & mask) x = step(x);
  }
  return x;
}

// x^e mod p for x < p, by the engine with a multiply step (any p ≥ 1; e = 0 gives 1 mod p).
uint64_t powModP(uint64_t x, uint64_t e, uint64_t p);
