// 52-bit Montgomery products (R = 2^52) for moduli below 2^52, one at a time and eight per
// AVX-512 IFMA vector, shared by the fixed-k searches' vector paths. Values in this form are
// x·2^52 mod p.
#pragma once
#include <immintrin.h>

#include <cstdint>

#include "kernels/montgomery.h"

#define LANES_TARGET __attribute__((target("avx512f,avx512ifma")))

namespace lanes52 {

constexpr uint64_t kMask52 = (uint64_t{1} << 52) - 1;

// x·y·2^(−52) mod p for x, y < p < 2^52: the low 52 bits of x·y and of m·p are equal, so the
// difference of the high parts is exact and lies in (−p, p).
inline uint64_t Mul52(uint64_t x, uint64_t y, uint64_t p, uint64_t pinv) {
  const u128 t = static_cast<u128>(x) * y;
  const uint64_t lo = static_cast<uint64_t>(t) & kMask52, hi = static_cast<uint64_t>(t >> 52);
  const uint64_t m = (lo * pinv) & kMask52;
  const uint64_t mh = static_cast<uint64_t>((static_cast<u128>(m) * p) >> 52);
  return hi < mh ? hi - mh + p : hi - mh;
}

// p^(−1) mod 2^52, odd p.
inline uint64_t Inverse52(uint64_t p) { return inverseMod2_64(p) & kMask52; }

// 2^52 mod p (the Montgomery form of 1) for odd p < 2^52, from a floating-point quotient
// that is off by at most one either way.
inline uint64_t One52(uint64_t p) {
  const uint64_t q = static_cast<uint64_t>(4503599627370496.0 / static_cast<double>(p));
  int64_t r = static_cast<int64_t>((uint64_t{1} << 52) - q * p);
  while (r < 0) r += static_cast<int64_t>(p);
  while (r >= static_cast<int64_t>(p)) r -= static_cast<int64_t>(p);
  return static_cast<uint64_t>(r);
}

// x·2^52 mod p.
inline uint64_t To52(uint64_t x, uint64_t p) { return modWide(x >> 12, x << 52, p); }

LANES_TARGET inline __m512i Mul52(__m512i x, __m512i y, __m512i p, __m512i pinv) {
  const __m512i zero = _mm512_setzero_si512();
  const __m512i lo = _mm512_madd52lo_epu64(zero, x, y);
  const __m512i hi = _mm512_madd52hi_epu64(zero, x, y);
  const __m512i m = _mm512_madd52lo_epu64(zero, lo, pinv);
  const __m512i mh = _mm512_madd52hi_epu64(zero, m, p);
  const __m512i r = _mm512_sub_epi64(hi, mh);
  return _mm512_mask_add_epi64(r, _mm512_cmplt_epu64_mask(hi, mh), r, p);
}

}  // namespace lanes52
