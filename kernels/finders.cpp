// Single- and two-prime residue finders on the interleaved Montgomery chains; the two-prime
// forms run both chains in one loop so that their multiplies overlap.
#include "kernels/finders.h"

#include "kernels/kernel_context.h"
#include "kernels/montgomery.h"
#include "kernels/power_chains.h"

namespace {

uint32_t exponent() { return (uint32_t)kernel._nvalue; }

}  // namespace

void pair_findbbase2(int64_t p1, int64_t p2, int64_t& out1, int64_t& out2) {
  const uint64_t p[2] = {(uint64_t)p1, (uint64_t)p2};
  uint64_t k[2];
  inversePowersOfTwo<2>(p, k, exponent());
  out1 = (int64_t)k[0], out2 = (int64_t)k[1];
}

int64_t findbotherbases(int64_t p) {
  uint32_t n = exponent();
  if (n == 1) return kernel._baseinverse;
  if (n == 0) return 1;
  MontgomeryModulus m((uint64_t)p);
  uint64_t inv = m.toMont((uint64_t)kernel._baseinverse % m.p);
  uint64_t x = runExponentBits(m, inv, n, firstBitBelowLeading(n), [&](uint64_t r) { return m.mul(r, inv); });
  return (int64_t)m.fromMont(x);
}

int64_t find2pownmodp(int64_t p) {
  const uint64_t pp[1] = {(uint64_t)p};
  uint64_t t[1];
  powersOfTwo<1>(pp, t, exponent());
  return (int64_t)halfDifferenceModP(t[0], 1, pp[0]);
}

void pair_find2pownmodp(int64_t p1, int64_t p2, int64_t& out1, int64_t& out2) {
  const uint64_t p[2] = {(uint64_t)p1, (uint64_t)p2};
  uint64_t t[2];
  powersOfTwo<2>(p, t, exponent());
  out1 = (int64_t)halfDifferenceModP(t[0], 1, p[0]);
  out2 = (int64_t)halfDifferenceModP(t[1], 1, p[1]);
}

int64_t findbasepownmodp(int64_t p) {
  MontgomeryModulus m((uint64_t)p);
  uint32_t n = exponent();
  uint64_t b = kernel._base % m.p;
  uint64_t t = 1 % m.p;
  if (n > 0) {
    uint64_t bm = m.toMont(b);
    t = m.fromMont(runExponentBits(m, bm, n, firstBitBelowLeading(n), [&](uint64_t r) { return m.mul(r, bm); }));
  }
  return (int64_t)halfDifferenceModP(t, (kernel._base & 1) ? 2 : 1, m.p);
}

int64_t halfpownmodp(uint32_t m, uint32_t mask, int64_t p) {
  assert(mask == firstBitBelowLeading(m));
  (void)mask;  // the chain derives the same mask from m itself
  const uint64_t pp[1] = {(uint64_t)p};
  uint64_t k[1];
  inversePowersOfTwo<1>(pp, k, m);
  return (int64_t)k[0];
}

uint32_t findk2pownmodp(uint32_t k, uint32_t n, int64_t p) {
  assert(p >= 3 && p <= (int64_t(1) << 32));
  const uint64_t pp[1] = {(uint64_t)p};
  uint64_t t[1];
  powersOfTwo<1>(pp, t, n);
  return (uint32_t)mulModWide(k % pp[0], t[0], pp[0]);
}
