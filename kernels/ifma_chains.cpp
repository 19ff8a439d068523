// AVX-512 IFMA chains for 2^(−n) mod up to sixteen primes: Montgomery squaring in radix 2^52
// (four 52-bit multiply-adds per square), eight independent lanes per vector.
#include "kernels/ifma_chains.h"

#include <immintrin.h>

#include <cassert>
#include <initializer_list>

#include "kernels/montgomery.h"

#define IFMA_TARGET __attribute__((target("avx512f,avx512ifma")))

namespace {

constexpr uint64_t MASK52 = (uint64_t(1) << 52) - 1;

// lo and hi of x², m = lo·p^(−1) mod 2^52, and hi − high52(m·p) is exact (the low 52 bits
// cancel). Strict: x < p < 2^52, the difference lies in (−p, p) and one masked add fixes it.
// Lazy: for p < 2^50 values may lie in [0, 2p); then hi < p and hi + p − high52(m·p) lies in
// (0, 2p) with no compare on the chain.
template <bool Lazy>
IFMA_TARGET inline __m512i montSquare(__m512i x, __m512i p, __m512i pinv) {
  const __m512i zero = _mm512_setzero_si512();
  __m512i lo = _mm512_madd52lo_epu64(zero, x, x);
  __m512i hi = _mm512_madd52hi_epu64(zero, x, x);
  __m512i m = _mm512_madd52lo_epu64(zero, lo, pinv);
  __m512i mh = _mm512_madd52hi_epu64(zero, m, p);
  if (Lazy) return _mm512_sub_epi64(_mm512_add_epi64(hi, p), mh);
  __m512i r = _mm512_sub_epi64(hi, mh);
  return _mm512_mask_add_epi64(r, _mm512_cmplt_epu64_mask(hi, mh), r, p);
}

// x·y·2^(−52) mod p, as montSquare with two operands: strict needs x, y < p; lazy (p < 2^50)
// takes x in [0, 2p) and y in [0, p), so that x·y < 2p² keeps hi below p.
template <bool Lazy>
IFMA_TARGET inline __m512i montMul(__m512i x, __m512i y, __m512i p, __m512i pinv) {
  const __m512i zero = _mm512_setzero_si512();
  __m512i lo = _mm512_madd52lo_epu64(zero, x, y);
  __m512i hi = _mm512_madd52hi_epu64(zero, x, y);
  __m512i m = _mm512_madd52lo_epu64(zero, lo, pinv);
  __m512i mh = _mm512_madd52hi_epu64(zero, m, p);
  if (Lazy) return _mm512_sub_epi64(_mm512_add_epi64(hi, p), mh);
  __m512i r = _mm512_sub_epi64(hi, mh);
  return _mm512_mask_add_epi64(r, _mm512_cmplt_epu64_mask(hi, mh), r, p);
}

IFMA_TARGET inline __m512i halve(__m512i x, __m512i p) {
  __mmask8 odd = _mm512_test_epi64_mask(x, _mm512_set1_epi64(1));
  return _mm512_maskz_srli_epi64(0xff, _mm512_mask_add_epi64(x, odd, x, p), 1);  // maskz: GCC 12 warns on srli
}

// x·2^(−52) mod p in [0, p) for any x < 2^52: the reduction of a value with no high half.
IFMA_TARGET inline __m512i fromMont(__m512i x, __m512i p, __m512i pinv) {
  const __m512i zero = _mm512_setzero_si512();
  __m512i m = _mm512_madd52lo_epu64(zero, x, pinv);
  __m512i mh = _mm512_madd52hi_epu64(zero, m, p);
  __m512i r = _mm512_sub_epi64(zero, mh);
  return _mm512_mask_add_epi64(r, _mm512_test_epi64_mask(mh, mh), r, p);
}

// p^(−1) mod 2^52 by Newton's iteration from the 5 bits (3p) xor 2 gets right.
IFMA_TARGET inline __m512i inverseMod2_52(__m512i p) {
  const __m512i zero = _mm512_setzero_si512(), two = _mm512_set1_epi64(2);
  const __m512i mask = _mm512_set1_epi64((long long)MASK52);
  __m512i y = _mm512_and_si512(_mm512_xor_si512(_mm512_add_epi64(p, _mm512_add_epi64(p, p)), two), mask);
  for (int i = 0; i < 4; ++i) {
    __m512i d = _mm512_and_si512(_mm512_sub_epi64(two, _mm512_madd52lo_epu64(zero, p, y)), mask);
    y = _mm512_madd52lo_epu64(zero, y, d);
  }
  return y;
}

template <int V, bool Lazy>
IFMA_TARGET void chains(const int64_t* pin, int64_t* kout, int count, uint32_t n) {
  __m512i p[V], pinv[V], x[V];
  __mmask8 lanes[V];
  const __m512i fill = _mm512_set1_epi64(pin[0]);  // spare lanes repeat a valid prime
  for (int v = 0; v < V; ++v) {
    int c = count - 8 * v;
    lanes[v] = (__mmask8)(c >= 8 ? 0xff : (1u << c) - 1);
    p[v] = _mm512_mask_loadu_epi64(fill, lanes[v], pin + 8 * v);
    pinv[v] = inverseMod2_52(p[v]);
  }
  // Montgomery form of 2^(−t) for t = the six leading bits of n (32 ≤ t ≤ 63): 2^(52−t),
  // below every p above 2^21, or for t > 52 the value 1 halved t − 52 times.
  int top = 31 - __builtin_clz(n);
  uint32_t t = n >> (top - 5);
  uint32_t mask = top > 5 ? 1u << (top - 6) : 0;
  for (int v = 0; v < V; ++v) {
    if (t <= 52) {
      x[v] = _mm512_set1_epi64((long long)(uint64_t(1) << (52 - t)));
    } else {
      x[v] = _mm512_set1_epi64(1);
      for (uint32_t s = 52; s < t; ++s) x[v] = halve(x[v], p[v]);
    }
  }
  for (; mask; mask >>= 1) {
    for (int v = 0; v < V; ++v) x[v] = montSquare<Lazy>(x[v], p[v], pinv[v]);
    if (n & mask)
      for (int v = 0; v < V; ++v) x[v] = halve(x[v], p[v]);
  }
  for (int v = 0; v < V; ++v) _mm512_mask_storeu_epi64(kout + 8 * v, lanes[v], fromMont(x[v], p[v], pinv[v]));
}

// Largest p for which toMontFloat is exact: its estimate leaves y below 5p, which must fit
// the 52 bits it keeps.
constexpr uint64_t MONT_FLOAT_MAX_P = uint64_t(1) << 49;

// x·2^52 mod p for x < p < 2^49 without a divide per lane: the quotient q = x·2^52/p from
// doubles (integers below 2^52 convert exactly by the 2^52 bit pattern), lowered by 2 so that
// it never exceeds the true floor while the rounding errors stay below 2; then y = x·2^52 − q·p
// lies in [0, 5p) and is known from its low 52 bits, −q·p mod 2^52, and four conditional
// subtractions reduce it.
IFMA_TARGET inline __m512i toMontFloat(__m512i x, __m512i p) {
  const __m512i magic = _mm512_set1_epi64(0x4330000000000000LL);  // the double 2^52
  const __m512d two52 = _mm512_castsi512_pd(magic);
  const __m512i mask = _mm512_set1_epi64((long long)MASK52), zero = _mm512_setzero_si512();
  __m512d xd = _mm512_sub_pd(_mm512_castsi512_pd(_mm512_or_si512(x, magic)), two52);
  __m512d pd = _mm512_sub_pd(_mm512_castsi512_pd(_mm512_or_si512(p, magic)), two52);
  __m512d qd = _mm512_mul_pd(xd, _mm512_div_pd(two52, pd));  // below 2^52
  __m512i q = _mm512_and_si512(_mm512_castpd_si512(_mm512_add_pd(qd, two52)), mask);  // rounded
  const __m512i two = _mm512_set1_epi64(2);
  q = _mm512_maskz_sub_epi64(_mm512_cmpgt_epu64_mask(q, two), q, two);  // q − 2, or 0
  __m512i y = _mm512_and_si512(_mm512_sub_epi64(zero, _mm512_madd52lo_epu64(zero, q, p)), mask);
  for (int i = 0; i < 4; ++i) y = _mm512_mask_sub_epi64(y, _mm512_cmpge_epu64_mask(y, p), y, p);
  return y;
}

// The multiplying chains: each lane squares and multiplies by its own y = x·2^52 mod p (below
// 2^49 by toMontFloat, else by one exact 128-bit division per lane outside the vector loop).
template <int V, bool Lazy>
IFMA_TARGET void powerChains(const int64_t* pin, const int64_t* xin, int64_t* rout, int count, uint32_t n,
                             bool floatMont) {
  __m512i p[V], pinv[V], y[V], acc[V];
  __mmask8 lanes[V];
  alignas(64) int64_t mont[8 * V];
  if (!floatMont) {
    for (int i = 0; i < 8 * V; ++i) {
      int j = i < count ? i : 0;  // spare lanes repeat a valid lane
      uint64_t pj = (uint64_t)pin[j], xj = (uint64_t)xin[j];
      mont[i] = (int64_t)modWide(xj >> 12, xj << 52, pj);
    }
  }
  const __m512i fill = _mm512_set1_epi64(pin[0]), fillX = _mm512_set1_epi64(xin[0]);
  for (int v = 0; v < V; ++v) {
    int c = count - 8 * v;
    lanes[v] = (__mmask8)(c >= 8 ? 0xff : c <= 0 ? 0 : (1u << c) - 1);
    p[v] = _mm512_mask_loadu_epi64(fill, lanes[v], pin + 8 * v);
    pinv[v] = inverseMod2_52(p[v]);
    if (floatMont) y[v] = toMontFloat(_mm512_mask_loadu_epi64(fillX, lanes[v], xin + 8 * v), p[v]);
    else y[v] = _mm512_load_si512(mont + 8 * v);
    acc[v] = y[v];
  }
  int top = 31 - __builtin_clz(n);
  for (uint32_t mask = top > 0 ? 1u << (top - 1) : 0; mask; mask >>= 1) {
    for (int v = 0; v < V; ++v) acc[v] = montMul<Lazy>(acc[v], acc[v], p[v], pinv[v]);
    if (n & mask)
      for (int v = 0; v < V; ++v) acc[v] = montMul<Lazy>(acc[v], y[v], p[v], pinv[v]);
  }
  for (int v = 0; v < V; ++v) _mm512_mask_storeu_epi64(rout + 8 * v, lanes[v], fromMont(acc[v], p[v], pinv[v]));
}

template <bool Lazy>
void powerChainsFor(const int64_t* p, const int64_t* x, int64_t* r, int count, uint32_t n, bool floatMont) {
  switch ((count + 7) / 8) {
    case 1: powerChains<1, Lazy>(p, x, r, count, n, floatMont); break;
    case 2: powerChains<2, Lazy>(p, x, r, count, n, floatMont); break;
    case 3: powerChains<3, Lazy>(p, x, r, count, n, floatMont); break;
    default: powerChains<4, Lazy>(p, x, r, count, n, floatMont); break;
  }
}

}  // namespace

void powersIfma(const int64_t* p, const int64_t* x, int64_t* r, int count, uint32_t n) {
  assert(count >= 1 && count <= 32 && n >= 1);
  uint64_t largest = 0;
  for (int i = 0; i < count; ++i) {
    assert((p[i] & 1) && (uint64_t)p[i] < IFMA_MAX_P && (uint64_t)x[i] < (uint64_t)p[i]);
    largest = largest > (uint64_t)p[i] ? largest : (uint64_t)p[i];
  }
  const bool floatMont = largest < MONT_FLOAT_MAX_P;
  if (largest < (uint64_t(1) << 50))
    powerChainsFor<true>(p, x, r, count, n, floatMont);
  else
    powerChainsFor<false>(p, x, r, count, n, floatMont);
}

void inversePowersOfTwoIfma(const int64_t* p, int64_t* k, int count, uint32_t n) {
  assert(count >= 1 && count <= 16 && n >= 32);
  uint64_t largest = 0;
  for (int i = 0; i < count; ++i) largest = largest > (uint64_t)p[i] ? largest : (uint64_t)p[i];
  bool lazy = largest < (uint64_t(1) << 50);
  if (count <= 8)
    lazy ? chains<1, true>(p, k, count, n) : chains<1, false>(p, k, count, n);
  else
    lazy ? chains<2, true>(p, k, count, n) : chains<2, false>(p, k, count, n);
}

namespace {

// Values below 2^52 reduced from [0, 8p) to [0, p) by subtracting 4p, 2p and p where they fit.
IFMA_TARGET inline __m512i reduceBelow8p(__m512i s, __m512i p) {
  const __m512i p2 = _mm512_add_epi64(p, p), p4 = _mm512_add_epi64(p2, p2);
  for (__m512i m : {p4, p2, p}) s = _mm512_mask_sub_epi64(s, _mm512_cmpge_epu64_mask(s, m), s, m);
  return s;
}

// Horner over the 48-bit limbs from the top, split into four interleaved chains per lane with
// multiplier B^4 (B = 2^48), as the one-prime reduction does. With c = B^4·2^52 mod p one lazy
// Montgomery product turns s into s·B^4 mod p in (0, 2p), and a limb is simply added: s stays
// below 2p + 2^48 < 2^52 for p < 2^49. The chains meet as Σ s_j·B^j, each term one product
// with B^j·2^52 mod p.
template <int V>
IFMA_TARGET void limbChains(const uint64_t* limbs, uint32_t nlimbs, const int64_t* pin, int64_t* rout, int count) {
  constexpr int CH = 4;
  __m512i p[V], pinv[V], c[V], bj[V][CH], s[V][CH];
  __mmask8 lanes[V];
  const __m512i fill = _mm512_set1_epi64(pin[0]);
  for (int v = 0; v < V; ++v) {
    int n = count - 8 * v;
    lanes[v] = (__mmask8)(n >= 8 ? 0xff : n <= 0 ? 0 : (1u << n) - 1);
    p[v] = _mm512_mask_loadu_epi64(fill, lanes[v], pin + 8 * v);
    pinv[v] = inverseMod2_52(p[v]);
    // R = 2^52: R mod p from the plain 1, R² mod p from R mod p, then B^j·R by products.
    __m512i r1 = toMontFloat(_mm512_set1_epi64(1), p[v]);
    __m512i r2 = toMontFloat(r1, p[v]);
    __m512i b = reduceBelow8p(montMul<true>(_mm512_set1_epi64((long long)(uint64_t(1) << 48)), r2, p[v], pinv[v]), p[v]);
    bj[v][0] = r1;
    for (int j = 1; j <= CH; ++j) {
      __m512i next = reduceBelow8p(montMul<true>(j == 1 ? r1 : bj[v][j - 1], b, p[v], pinv[v]), p[v]);
      if (j < CH) bj[v][j] = next;
      else c[v] = next;
    }
  }
  const uint32_t groups = (nlimbs + CH - 1) / CH;
  for (int j = 0; j < CH; ++j) {  // the top group may be partial
    uint32_t at = (groups - 1) * CH + j;
    __m512i top = _mm512_set1_epi64(at < nlimbs ? (long long)limbs[at] : 0);
    for (int v = 0; v < V; ++v) s[v][j] = top;
  }
  for (uint32_t g = groups - 1; g-- > 0;) {
    for (int j = 0; j < CH; ++j) {
      const __m512i limb = _mm512_set1_epi64((long long)limbs[g * CH + j]);
      for (int v = 0; v < V; ++v) s[v][j] = _mm512_add_epi64(montMul<true>(s[v][j], c[v], p[v], pinv[v]), limb);
    }
  }
  for (int v = 0; v < V; ++v) {
    __m512i sum = _mm512_setzero_si512();
    for (int j = 0; j < CH; ++j) sum = _mm512_add_epi64(sum, montMul<true>(s[v][j], bj[v][j], p[v], pinv[v]));
    _mm512_mask_storeu_epi64(rout + 8 * v, lanes[v], reduceBelow8p(sum, p[v]));
  }
}

// x^(p−2) mod p per lane, right to left: the squaring chain and the accumulating chain are
// independent within a step, so a step costs one product's latency. Each lane's exponent has
// its own bits; a lane multiplies only where its bit is set. The result is kept where
// x·r ≡ 1, else 0 (x = 0, or a composite p for which Fermat's inverse fails).
template <int V>
IFMA_TARGET void fermatChains(const int64_t* pin, const int64_t* xin, int64_t* rout, int count) {
  __m512i p[V], pinv[V], base[V], acc[V], e[V], xm[V];
  __mmask8 lanes[V];
  const __m512i fill = _mm512_set1_epi64(pin[0]), fillX = _mm512_set1_epi64(xin[0]);
  const __m512i one = _mm512_set1_epi64(1), two = _mm512_set1_epi64(2);
  uint64_t largest = 0;
  for (int i = 0; i < count; ++i) largest = largest > (uint64_t)pin[i] ? largest : (uint64_t)pin[i];
  const int bits = 64 - __builtin_clzll(largest);
  for (int v = 0; v < V; ++v) {
    int n = count - 8 * v;
    lanes[v] = (__mmask8)(n >= 8 ? 0xff : n <= 0 ? 0 : (1u << n) - 1);
    p[v] = _mm512_mask_loadu_epi64(fill, lanes[v], pin + 8 * v);
    pinv[v] = inverseMod2_52(p[v]);
    e[v] = _mm512_sub_epi64(p[v], two);
    xm[v] = toMontFloat(_mm512_mask_loadu_epi64(fillX, lanes[v], xin + 8 * v), p[v]);
    base[v] = xm[v];
    acc[v] = toMontFloat(one, p[v]);
  }
  for (int i = 0; i < bits; ++i) {
    const __m512i bit = _mm512_set1_epi64((long long)(uint64_t(1) << i));
    for (int v = 0; v < V; ++v) {
      __mmask8 take = _mm512_test_epi64_mask(e[v], bit);
      acc[v] = _mm512_mask_mov_epi64(acc[v], take, montMul<true>(acc[v], base[v], p[v], pinv[v]));
      base[v] = montMul<true>(base[v], base[v], p[v], pinv[v]);
    }
  }
  for (int v = 0; v < V; ++v) {
    __m512i r = fromMont(acc[v], p[v], pinv[v]);
    __m512i check = fromMont(montMul<true>(acc[v], xm[v], p[v], pinv[v]), p[v], pinv[v]);  // r·x mod p
    __mmask8 ok = _mm512_cmpeq_epi64_mask(check, one);
    _mm512_mask_storeu_epi64(rout + 8 * v, lanes[v], _mm512_maskz_mov_epi64(ok, r));
  }
}

}  // namespace

void primorialResiduesIfma(const uint64_t* limbs, uint32_t nlimbs, const int64_t* p, int64_t* r, int count) {
  assert(count >= 1 && count <= 16 && nlimbs >= 1);
  for (int i = 0; i < count; ++i) assert((p[i] & 1) && p[i] >= 3 && (uint64_t)p[i] < IFMA_PRIMORIAL_MAX_P);
  if (count <= 8) limbChains<1>(limbs, nlimbs, p, r, count);
  else limbChains<2>(limbs, nlimbs, p, r, count);
}

void fermatInversesIfma(const int64_t* p, const int64_t* x, int64_t* r, int count) {
  assert(count >= 1 && count <= 16);
  for (int i = 0; i < count; ++i)
    assert((p[i] & 1) && p[i] >= 3 && (uint64_t)p[i] < IFMA_PRIMORIAL_MAX_P && (uint64_t)x[i] < (uint64_t)p[i]);
  if (count <= 8) fermatChains<1>(p, x, r, count);
  else fermatChains<2>(p, x, r, count);
}
