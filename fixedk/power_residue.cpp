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

}  // namespace

PowerResidueClass ScreenByPowerResidueMont(const MontgomeryModulus& m, uint64_t Vm, uint64_t Bm,
                                           uint64_t S) {
  PowerResidueClass c;
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
  // The targets ±1 of the k·b^n ± 1 forms need no powering.
  const uint64_t target = S == 1       ? one
                          : S == p - 1 ? (z & 1 ? p - one : one)
                                       : MontPower(m, m.toMont(S), z);
  // w runs through V^z·u^j, e through u^j; e is back at 1 after the order t of u (t | L).
  // For a prime the cycle closes within L steps; a composite p (which callers must not pass)
  // may never close it, and then nothing is concluded rather than looping for ever.
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

PowerResidueClass ScreenByPowerResidue(uint64_t V, uint64_t B, uint64_t S, uint64_t p) {
  const MontgomeryModulus m(p);
  return ScreenByPowerResidueMont(m, m.toMont(V), m.toMont(B), S);
}
