// General modular powering on top of the Montgomery primitives (odd moduli) with a
// 128-bit-division fallback for the even moduli no sieve uses but no caller should crash on.
#include "kernels/montgomery.h"

uint64_t powModP(uint64_t x, uint64_t e, uint64_t p) {
  assert(p >= 1 && x < p);
  if (p == 1) return 0;
  if (e == 0) return 1;
  int top = 63 - __builtin_clzll(e);
  if (p & 1) {
    MontgomeryModulus m(p);
    uint64_t xm = m.toMont(x), r = xm;
    for (int bit = top - 1; bit >= 0; --bit) {
      r = m.square(r);
      if ((e >> bit) & 1) r = m.mul(r, xm);
    }
    return m.fromMont(r);
  }
  uint64_t r = x;
  for (int bit = top - 1; bit >= 0; --bit) {
    r = mulModWide(r, r, p);
    if ((e >> bit) & 1) r = mulModWide(r, x, p);
  }
  return r;
}
