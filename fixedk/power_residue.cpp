// Power-residue screening: raise both sides of V·B^a ≡ S to the power z = (p − 1)/L, with
// L = gcd(p − 1, Q), and solve the image equation in the subgroup of L-th roots of unity by
// walking the powers of B^z once round its cycle.
#include "fixedk/power_residue.h"

#include <numeric>

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
// then nothing is concluded rather than looping for ever.
PowerResidueClass SolveInSubgroup(const MontgomeryModulus& m, uint64_t u, uint64_t w, uint64_t target, uint64_t L) {
  PowerResidueClass c;
  const uint64_t one = m.one();
  bool found = false;
  uint64_t e = one;
  for (uint32_t j = 0; j < L; ++j) {
    if (!found && w == target) {
      found = true;
      c.a0 = j;
    }
    e = m.mul(e, u);
    w = m.mul(w, u);
    if (e == one) {
      c.t = j + 1;
      c.none = !found;
      return c;
    }
  }
  c.a0 = 0;
  return c;
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
