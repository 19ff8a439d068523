// Power-residue screening: raise both sides of V·B^a ≡ S to the power z = (p − 1)/L, with
// L = gcd(p − 1, Q), and solve the image equation in the subgroup of L-th roots of unity by
// walking the powers of B^z once round its cycle.
#include "fixedk/power_residue.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "fixedk/lanes52.h"
#include "kernels/montgomery.h"

namespace {

// x^e in Montgomery form, from x in Montgomery form.
uint64_t MontPower(const MontgomeryModulus& m, uint64_t x, uint64_t e) {
  uint64_t r = m.one();
  for (; e != 0; e >>= 1) {
    if (e & 1) r = m.mul(r, x);
    if (e > 1) x = m.square(x);
  }
  return r;
}

// The target S^z; the ±1 of the k·b^n ± 1 forms need no powering.
uint64_t Target(const MontgomeryModulus& m, uint64_t S, uint64_t z) {
  const uint64_t one = m.one();
  return S == 1 ? one : S == m.p - 1 ? (z & 1 ? m.p - one : one) : MontPower(m, m.toMont(S), z);
}

// The class of a with w·u^a = target in the subgroup of L-th roots of unity: w runs through
// w·u^j, e through u^j; e is back at 1 after the order t of u (t | L). For a prime the cycle
// closes within L steps; a composite p (which callers must not pass) may never close it, and
// then nothing is concluded rather than looping for ever. mul is the product of the form
// u, w, target and one are in.
template <class Mul>
PowerResidueClass SolveInSubgroup(Mul mul, uint64_t one, uint64_t u, uint64_t w, uint64_t target, uint64_t L) {
  PowerResidueClass c;
  bool found = false;
  uint64_t e = one;
  for (uint32_t j = 0; j < L; ++j) {
    if (!found && w == target) {
      found = true;
      c.a0 = j;
    }
    e = mul(e, u);
    w = mul(w, u);
    if (e == one) {
      c.t = j + 1;
      c.none = !found;
      return c;
    }
  }
  c.a0 = 0;
  return c;
}

PowerResidueClass SolveInSubgroup(const MontgomeryModulus& m, uint64_t u, uint64_t w, uint64_t target, uint64_t L) {
  return SolveInSubgroup([&m](uint64_t x, uint64_t y) { return m.mul(x, y); }, m.one(), u, w, target, L);
}

using lanes52::Mul52;

// gcd(r, 840) for r < 840: L = gcd(p − 1, 840) from (p − 1) mod 840.
const std::array<uint16_t, kPowerResidueModulus> kSubgroupOrder = [] {
  std::array<uint16_t, kPowerResidueModulus> a{};
  for (uint32_t r = 0; r < kPowerResidueModulus; ++r) a[r] = static_cast<uint16_t>(std::gcd(r, kPowerResidueModulus));
  return a;
}();

// The inputs and results of one call of the lanes' screening.
struct ScreenLanesData {
  alignas(64) uint64_t p[kScreenLanes], pinv[kScreenLanes], one[kScreenLanes], k[kScreenLanes];
  alignas(64) uint64_t z[kScreenLanes], e[kScreenLanes], target[kScreenLanes];
  alignas(64) uint64_t t[kScreenLanes], a0[kScreenLanes];
  uint16_t found = 0, closed = 0;  // per lane
};

// The lanes' screening for sixteen primes in two vectors. X = 2^z and Y' = k^z·2^(−52·z)
// (k is taken plain, as the Montgomery form of k·2^(−52)) from the leading bit of the largest
// z down: a lane whose z is shorter squares its 1 until its own bits begin. As 2^(−52·z) =
// X^(−52), Y'·X^e with e = (MinNum + 52) mod L is the screening's w = (k·2^MinNum)^z; u = X^d.
// Then the walk w·u^j, j = 0, 1, ...: the first j where it meets the target is a0, and the
// first j ≥ 1 where it is back at w is the order t of u (w is a unit), so one product a step.
LANES_TARGET void ScreenLanes(ScreenLanesData& s, uint32_t d, uint32_t maxL) {
  // Two vectors of eight lanes each, unrolled so that both stay in registers.
#define BOTH_HALVES _Pragma("GCC unroll 2") for (int h = 0; h < 2; ++h)
  __m512i p[2], pinv[2], x[2], y[2], k[2], z[2], one[2];
  BOTH_HALVES {
    p[h] = _mm512_load_si512(s.p + 8 * h);
    pinv[h] = _mm512_load_si512(s.pinv + 8 * h);
    one[h] = x[h] = y[h] = _mm512_load_si512(s.one + 8 * h);
    k[h] = _mm512_load_si512(s.k + 8 * h);
    z[h] = _mm512_load_si512(s.z + 8 * h);
  }
  uint64_t all = 0;
  for (uint32_t i = 0; i < kScreenLanes; ++i) all |= s.z[i];
  for (int b = 63 - __builtin_clzll(all); b >= 0; --b) {
    const __m512i bit = _mm512_set1_epi64(static_cast<long long>(uint64_t{1} << b));
    BOTH_HALVES {
      x[h] = Mul52(x[h], x[h], p[h], pinv[h]);
      y[h] = Mul52(y[h], y[h], p[h], pinv[h]);
      const __mmask8 set = _mm512_test_epi64_mask(z[h], bit);
      const __m512i x2 = _mm512_add_epi64(x[h], x[h]);
      x[h] = _mm512_mask_blend_epi64(set, x[h], _mm512_maskz_min_epu64(0xff, x2, _mm512_sub_epi64(x2, p[h])));
      y[h] = _mm512_mask_blend_epi64(set, y[h], Mul52(y[h], k[h], p[h], pinv[h]));
    }
  }
  // u = X^d from the leading bit of d; r = X^e with e < L per lane.
  __m512i u[2] = {x[0], x[1]}, r[2] = {one[0], one[1]}, e[2];
  BOTH_HALVES e[h] = _mm512_load_si512(s.e + 8 * h);
  for (int b = 30 - __builtin_clz(d); b >= 0; --b) {
    BOTH_HALVES {
      u[h] = Mul52(u[h], u[h], p[h], pinv[h]);
      if ((d >> b) & 1) u[h] = Mul52(u[h], x[h], p[h], pinv[h]);
    }
  }
  constexpr int kExponentBits = 32 - __builtin_clz(kPowerResidueModulus - 1);
  for (int b = kExponentBits - 1; b >= 0; --b) {
    const __m512i bit = _mm512_set1_epi64(int64_t{1} << b);
    BOTH_HALVES {
      r[h] = Mul52(r[h], r[h], p[h], pinv[h]);
      r[h] = _mm512_mask_blend_epi64(_mm512_test_epi64_mask(e[h], bit), r[h], Mul52(r[h], x[h], p[h], pinv[h]));
    }
  }
  // Two chains a lane, w·u^(2i − 1) and w·u^(2i), stepping by u^2, so that their products
  // overlap; within a step the odd one comes first, as j ascends.
  __m512i w0[2], odd[2], even[2], u2[2], target[2], t[2], a0[2];
  __mmask8 found[2], closed[2] = {0, 0};
  BOTH_HALVES {
    w0[h] = Mul52(y[h], r[h], p[h], pinv[h]);
    u2[h] = Mul52(u[h], u[h], p[h], pinv[h]);
    odd[h] = Mul52(w0[h], u[h], p[h], pinv[h]);
    even[h] = Mul52(w0[h], u2[h], p[h], pinv[h]);
    target[h] = _mm512_load_si512(s.target + 8 * h);
    found[h] = _mm512_cmpeq_epu64_mask(w0[h], target[h]);
    t[h] = a0[h] = _mm512_setzero_si512();
  }
  for (uint32_t j = 1; j <= maxL && (closed[0] & closed[1]) != 0xff; j += 2) {
    const __m512i vj = _mm512_set1_epi64(j), vj1 = _mm512_set1_epi64(j + 1);
    BOTH_HALVES {
      for (int half = 0; half < 2; ++half) {
        const __m512i v = half == 0 ? odd[h] : even[h];
        const __mmask8 open = static_cast<__mmask8>(~closed[h]);
        const __mmask8 back = _mm512_mask_cmpeq_epu64_mask(open, v, w0[h]);
        const __mmask8 hit =
            _mm512_mask_cmpeq_epu64_mask(static_cast<__mmask8>(open & ~found[h] & ~back), v, target[h]);
        t[h] = _mm512_mask_mov_epi64(t[h], back, half == 0 ? vj : vj1);
        a0[h] = _mm512_mask_mov_epi64(a0[h], hit, half == 0 ? vj : vj1);
        closed[h] = static_cast<__mmask8>(closed[h] | back);
        found[h] = static_cast<__mmask8>(found[h] | hit);
      }
      odd[h] = Mul52(odd[h], u2[h], p[h], pinv[h]);
      even[h] = Mul52(even[h], u2[h], p[h], pinv[h]);
    }
  }
  BOTH_HALVES {
    _mm512_store_si512(s.t + 8 * h, t[h]);
    _mm512_store_si512(s.a0 + 8 * h, a0[h]);
  }
#undef BOTH_HALVES
  s.found = static_cast<uint16_t>(found[0] | found[1] << 8);
  s.closed = static_cast<uint16_t>(closed[0] | closed[1] << 8);
}

}  // namespace

PowerResidueClass ScreenByPowerResidueMont(const MontgomeryModulus& m, uint64_t Vm, uint64_t Bm,
                                           uint64_t S) {
  const uint64_t p = m.p;
  const uint64_t L = std::gcd(p - 1, uint64_t{kPowerResidueModulus});
  const uint64_t z = (p - 1) / L;
  const uint64_t one = m.one();
  // u = B^z and w = V^z share the exponent: two independent chains in one loop.
  uint64_t u = one, w = one;
  for (uint64_t e = z; e != 0; e >>= 1) {
    if (e & 1) {
      u = m.mul(u, Bm);
      w = m.mul(w, Vm);
    }
    if (e > 1) {
      Bm = m.square(Bm);
      Vm = m.square(Vm);
    }
  }
  return SolveInSubgroup(m, u, w, Target(m, S, z), L);
}

PowerResidueClass ScreenPowersOfTwoMont(const MontgomeryModulus& m, uint64_t km, uint32_t d, uint64_t minNum,
                                        uint64_t S) {
  const uint64_t p = m.p;
  const uint64_t L = std::gcd(p - 1, uint64_t{kPowerResidueModulus});
  const uint64_t z = (p - 1) / L;
  // X = 2^z and Y = k^z from the leading bit of z down, in one loop: a doubling for X and a
  // product for Y where z has a bit.
  uint64_t x = doubleModP(m.one(), p), y = km;
  for (uint64_t mask = (uint64_t{1} << (63 - __builtin_clzll(z))) >> 1; mask != 0; mask >>= 1) {
    x = m.square(x);
    y = m.square(y);
    if (z & mask) {
      x = doubleModP(x, p);
      y = m.mul(y, km);
    }
  }
  // X^L = 2^(p − 1) = 1, so (k·2^MinNum)^z = Y·X^(MinNum mod L) and (2^d)^z = X^d.
  return SolveInSubgroup(m, MontPower(m, x, d), m.mul(y, MontPower(m, x, minNum % L)), Target(m, S, z), L);
}

PowerResidueClass ScreenByPowerResidue(uint64_t V, uint64_t B, uint64_t S, uint64_t p) {
  const MontgomeryModulus m(p);
  return ScreenByPowerResidueMont(m, m.toMont(V), m.toMont(B), S);
}

void ScreenPowersOfTwoInLanes(const uint64_t* p, const uint64_t* k, uint32_t n, uint32_t d, uint64_t minNum,
                              bool minusOne, PowerResidueClass* out) {
  if (n == 0) return;
  ScreenLanesData s;
  uint32_t maxL = 1;
  const uint64_t shifted = minNum % kPowerResidueModulus + 52;  // L divides the modulus
  for (uint32_t i = 0; i < kScreenLanes; ++i) {
    const uint32_t j = i < n ? i : n - 1;  // idle lanes repeat the last prime
    const uint64_t q = p[j];
    const uint32_t L = kSubgroupOrder[(q - 1) % kPowerResidueModulus];
    maxL = std::max(maxL, L);
    s.p[i] = q;
    s.pinv[i] = lanes52::Inverse52(q);
    s.one[i] = lanes52::One52(q);
    s.k[i] = k[j];
    // L divides q − 1 < 2^53, so the floating-point quotient is exact.
    s.z[i] = static_cast<uint64_t>(static_cast<double>(q - 1) / L);
    s.e[i] = shifted % L;
    s.target[i] = minusOne && (s.z[i] & 1) ? q - s.one[i] : s.one[i];
  }
  ScreenLanes(s, d, maxL);
  for (uint32_t i = 0; i < n; ++i) {
    PowerResidueClass& c = out[i];
    c = PowerResidueClass{};
    if (!(s.closed >> i & 1)) continue;  // only a composite leaves the walk open
    c.t = static_cast<uint32_t>(s.t[i]);
    c.none = !(s.found >> i & 1);
    c.a0 = c.none ? 0 : static_cast<uint32_t>(s.a0[i]);
  }
}
