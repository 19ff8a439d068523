// Eight classes per vector: a start value is first·h^e for e = (r − r0)/t < 2^11, the product
// of one entry of a table of h^(32·i) and one of a table of h^j, j < 32, both built per prime
// (their first eight entries one by one, the rest eight at a time). Every product is a 52-bit
// Montgomery product with one factor in Montgomery form, so the class values stay plain
// residues and probe the table as the scalar walk's do.
#include "fixedk/class_walk.h"

#include <immintrin.h>

#include <algorithm>

#include "fixedk/lanes52.h"
#include "kernels/cpu_features.h"
#include "kernels/montgomery.h"

namespace {

using lanes52::kMask52;
using lanes52::Mul52;
using lanes52::To52;

constexpr uint32_t kLow = 32;                  // entries of the table of h^j
constexpr uint32_t kMaxExponent = 1u << 12;    // above every (r − r0)/t of a class modulus
constexpr uint32_t kHigh = kMaxExponent / kLow;

// out[j] = x^j in Montgomery form for j < n (n ≥ 1), from x in that form and one = 2^52 mod p.
LANES_TARGET void Powers(uint64_t* out, uint32_t n, uint64_t x, uint64_t one, uint64_t p, uint64_t pinv) {
  out[0] = one;
  const uint32_t first = std::min<uint32_t>(n, 8);
  for (uint32_t j = 1; j < first; ++j) out[j] = Mul52(out[j - 1], x, p, pinv);
  if (n <= 8) return;
  const __m512i vp = _mm512_set1_epi64(static_cast<long long>(p));
  const __m512i vpinv = _mm512_set1_epi64(static_cast<long long>(pinv));
  const __m512i x8 = _mm512_set1_epi64(static_cast<long long>(Mul52(out[7], x, p, pinv)));
  __m512i v = _mm512_loadu_si512(out);
  for (uint32_t j = 8; j < n; j += 8) {
    v = Mul52(v, x8, vp, vpinv);
    _mm512_storeu_si512(out + j, v);  // the tables have room for whole vectors
  }
}

LANES_TARGET void Walk(const BsgsTable& table, const ClassWalk& w, std::vector<uint32_t>& matches) {
  const uint64_t p = w.p;
  const uint64_t pinv = inverseMod2_64(p) & kMask52;
  const uint64_t one = (uint64_t{1} << 52) % p;
  const uint64_t h = To52(w.h, p);
  const uint32_t top = (w.r[w.size - 1] - w.r[0]) / w.t;  // the largest exponent of h
  alignas(64) uint64_t low[kLow + 8], high[kHigh + 8];
  Powers(low, std::min(top + 1, kLow), h, one, p, pinv);
  if (top >= kLow) {
    uint64_t h32 = h;
    for (int i = 0; i < 5; ++i) h32 = Mul52(h32, h32, p, pinv);
    Powers(high, top / kLow + 1, h32, one, p, pinv);
  } else {
    high[0] = one;
  }
  const __m512i vp = _mm512_set1_epi64(static_cast<long long>(p));
  const __m512i vpinv = _mm512_set1_epi64(static_cast<long long>(pinv));
  const __m512i first = _mm512_set1_epi64(static_cast<long long>(w.first));
  const __m512i giant = _mm512_set1_epi64(static_cast<long long>(To52(w.giant, p)));
  const __m512i r0 = _mm512_set1_epi64(w.r[0]);
  // ceil(2^32/t), below 2^32 for t ≥ 2.
  const __m512i invT = _mm512_set1_epi64(static_cast<long long>(((uint64_t{1} << 32) + w.t - 1) / w.t));
  const __m512i lowMask = _mm512_set1_epi64(kLow - 1);
  const __m512i bucketMask = _mm512_set1_epi64(BsgsTable::kBuckets - 1);
  const __m512i bitMask = _mm512_set1_epi64(31);
  const __m512i bit0 = _mm512_set1_epi64(1);
  const uint64_t* buckets = table.BucketWords();
  const uint64_t giantSpan = uint64_t{w.Q} * w.tableLen;
  alignas(64) uint64_t values[8];
  for (uint32_t c0 = 0; c0 < w.size; c0 += 8) {
    const uint32_t n = std::min<uint32_t>(8, w.size - c0);
    const __mmask8 lanes = static_cast<__mmask8>((1u << n) - 1);
    // Exponents (r − r0)/t: t divides r − r0 < 2^12, so the product by ceil(2^32/t) lies
    // in [q·2^32, q·2^32 + q·t) and its high half is the quotient q.
    alignas(16) uint16_t rs[8] = {};
    std::copy(w.r + c0, w.r + c0 + n, rs);
    const __m512i r = _mm512_maskz_cvtepu16_epi64(0xff, _mm_load_si128(reinterpret_cast<const __m128i*>(rs)));
    __m512i e = _mm512_sub_epi64(r, r0);
    if (w.t != 1) e = _mm512_maskz_srli_epi64(0xff, _mm512_maskz_mul_epu32(0xff, e, invT), 32);
    const __m512i lo = _mm512_mask_i64gather_epi64(_mm512_set1_epi64(static_cast<long long>(one)), lanes,
                                                   _mm512_and_si512(e, lowMask), low, 8);
    const __m512i hi = _mm512_mask_i64gather_epi64(_mm512_set1_epi64(static_cast<long long>(one)), lanes,
                                                   _mm512_maskz_srli_epi64(0xff, e, 5), high, 8);
    __m512i v = Mul52(Mul52(first, hi, vp, vpinv), lo, vp, vpinv);
    for (uint32_t y = 0; y < w.steps; ++y) {
      // Bucket (v mod 2^17)/32 holds a presence word whose bit v mod 32 is set when some
      // entry of that bucket may equal v.
      const __m512i bucket = _mm512_and_si512(_mm512_maskz_srli_epi64(0xff, v, 5), bucketMask);
      const __m512i word = _mm512_mask_i64gather_epi64(_mm512_setzero_si512(), lanes, bucket, buckets, 8);
      __mmask8 hits = _mm512_mask_test_epi64_mask(lanes, _mm512_maskz_srlv_epi64(0xff, word, _mm512_and_si512(v, bitMask)), bit0);
      if (hits != 0) {
        _mm512_store_si512(values, v);
        do {
          const uint32_t l = static_cast<uint32_t>(__builtin_ctz(hits));
          hits &= static_cast<__mmask8>(hits - 1);
          const uint64_t base = w.r[c0 + l] + giantSpan * y;
          table.ForEachMatch(values[l], [&](uint32_t i) {
            const uint64_t a = base + uint64_t{w.Q} * i;
            if (a < w.count) matches.push_back(static_cast<uint32_t>(a * w.d));
          });
        } while (hits != 0);
      }
      if (y + 1 < w.steps) v = Mul52(v, giant, vp, vpinv);
    }
  }
}

LANES_TARGET void Run(uint64_t* out, uint32_t n, uint64_t x, uint64_t w, uint64_t p) {
  const uint64_t pinv = inverseMod2_64(p) & kMask52;
  const uint64_t w1 = To52(w, p);
  out[0] = x;
  for (uint32_t i = 1; i < 8; ++i) out[i] = Mul52(out[i - 1], w1, p, pinv);
  if (n <= 8) return;
  const uint64_t w2 = Mul52(w1, w1, p, pinv), w4 = Mul52(w2, w2, p, pinv), w8 = Mul52(w4, w4, p, pinv);
  const __m512i vp = _mm512_set1_epi64(static_cast<long long>(p));
  const __m512i vpinv = _mm512_set1_epi64(static_cast<long long>(pinv));
  const __m512i step = _mm512_set1_epi64(static_cast<long long>(Mul52(w8, w8, p, pinv)));
  __m512i a = _mm512_loadu_si512(out);
  __m512i b = Mul52(a, _mm512_set1_epi64(static_cast<long long>(w8)), vp, vpinv);
  _mm512_storeu_si512(out + 8, b);
  for (uint32_t i = 16; i < n; i += 16) {
    a = Mul52(a, step, vp, vpinv);
    b = Mul52(b, step, vp, vpinv);
    _mm512_storeu_si512(out + i, a);
    _mm512_storeu_si512(out + i + 8, b);
  }
}

// 2^e for sixteen lanes in two vectors: left to right over the bits of |e| in Montgomery
// form, each bit a doubling, or a halving (adding p to an odd value) where e is negative;
// plain again by a product with 1.
LANES_TARGET void TwoPowers(const uint64_t* P, const uint64_t* PI, const uint64_t* ONE, const uint64_t* E,
                            const uint64_t* NEG, uint64_t* out) {
  __m512i p[2], pinv[2], x[2], e[2], neg[2];
  uint64_t all = 0;
  for (uint32_t i = 0; i < kTwoPowerLanes; ++i) all |= E[i];
#pragma GCC unroll 2
  for (int h = 0; h < 2; ++h) {
    p[h] = _mm512_loadu_si512(P + 8 * h);
    pinv[h] = _mm512_loadu_si512(PI + 8 * h);
    x[h] = _mm512_loadu_si512(ONE + 8 * h);
    e[h] = _mm512_loadu_si512(E + 8 * h);
    neg[h] = _mm512_loadu_si512(NEG + 8 * h);
  }
  const __m512i bit0 = _mm512_set1_epi64(1);
  for (int b = all == 0 ? -1 : 63 - __builtin_clzll(all); b >= 0; --b) {
    const __m512i bit = _mm512_set1_epi64(static_cast<long long>(uint64_t{1} << b));
#pragma GCC unroll 2
    for (int h = 0; h < 2; ++h) {
      x[h] = Mul52(x[h], x[h], p[h], pinv[h]);
      const __m512i x2 = _mm512_add_epi64(x[h], x[h]);
      const __m512i twice = _mm512_maskz_min_epu64(0xff, x2, _mm512_sub_epi64(x2, p[h]));
      const __mmask8 odd = _mm512_test_epi64_mask(x[h], bit0);
      const __m512i half = _mm512_maskz_srli_epi64(0xff, _mm512_mask_add_epi64(x[h], odd, x[h], p[h]), 1);
      const __m512i step = _mm512_mask_blend_epi64(_mm512_test_epi64_mask(neg[h], bit0), twice, half);
      x[h] = _mm512_mask_blend_epi64(_mm512_test_epi64_mask(e[h], bit), x[h], step);
    }
  }
#pragma GCC unroll 2
  for (int h = 0; h < 2; ++h) _mm512_storeu_si512(out + 8 * h, Mul52(x[h], bit0, p[h], pinv[h]));
}

}  // namespace

void PowerRunInLanes(uint64_t* out, uint32_t n, uint64_t x, uint64_t w, uint64_t p) {
  if (n != 0) Run(out, n, x, w, p);
}

bool VectorClassWalkFits(uint64_t p) {
  static const bool ifma = ReadCpuFeatures().ifma;
  return ifma && p < (uint64_t{1} << 50);
}

void WalkClassesInLanes(const BsgsTable& table, const ClassWalk& w, std::vector<uint32_t>& matches) {
  if (w.size == 0) return;
  Walk(table, w, matches);
}

void TwoPowersInLanes(const uint64_t* p, const int64_t* e, uint32_t n, uint64_t* out) {
  if (n == 0) return;
  uint64_t P[kTwoPowerLanes], PI[kTwoPowerLanes], ONE[kTwoPowerLanes], E[kTwoPowerLanes], NEG[kTwoPowerLanes],
      R[kTwoPowerLanes];
  for (uint32_t i = 0; i < kTwoPowerLanes; ++i) {
    const uint32_t j = i < n ? i : n - 1;  // idle lanes repeat the last power
    P[i] = p[j];
    // Consecutive powers are often of one prime.
    PI[i] = i > 0 && P[i - 1] == P[i] ? PI[i - 1] : lanes52::Inverse52(p[j]);
    ONE[i] = i > 0 && P[i - 1] == P[i] ? ONE[i - 1] : lanes52::One52(p[j]);
    E[i] = static_cast<uint64_t>(e[j] < 0 ? -e[j] : e[j]);
    NEG[i] = e[j] < 0;
  }
  TwoPowers(P, PI, ONE, E, NEG, R);
  std::copy(R, R + n, out);
}
