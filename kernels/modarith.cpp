// The named 64-bit modular operations on exact integer arithmetic (128-bit products,
// Montgomery powering), and the x87 control-word switch.
#include "kernels/modarith.h"

#include <cassert>

#include "kernels/kernel_context.h"
#include "kernels/montgomery.h"
#include "primes/soe2.h"

bool fFPURoundDown = false;

namespace {

// a in [0, p) for any signed a and p ≥ 1.
uint64_t residue(int64_t a, int64_t p) {
  if ((uint64_t)a < (uint64_t)p) return (uint64_t)a;
  int64_t r = a % p;
  return (uint64_t)(r < 0 ? r + p : r);
}

// Extended Euclid on (p, a), a in [1, p): the coefficient of a at the last non-zero
// remainder is the inverse when that remainder is 1; 0 when it is not (p divides a).
int64_t euclidInverse(uint64_t a, uint64_t p) {
  uint64_t r0 = p, r1 = a;
  int64_t s0 = 0, s1 = 1;
  while (r1 != 0) {
    uint64_t q = r0 / r1;
    uint64_t r2 = r0 - q * r1;
    int64_t s2 = s0 - (int64_t)q * s1;  // |s| stays below p: no overflow
    r0 = r1, r1 = r2, s0 = s1, s1 = s2;
  }
  if (r0 != 1) return 0;
  return s0 < 0 ? s0 + (int64_t)p : s0;
}

}  // namespace

int64_t mulmodp2(int64_t a, int64_t b, int64_t p) {
  assert(p >= 1);
  return (int64_t)mulModWide(residue(a, p), residue(b, p), (uint64_t)p);
}

int64_t GetBaseInverse(int64_t p) {
  assert(p >= 2);
  uint64_t b = residue(kernel._base, p);
  uint64_t r = powModP(b, (uint64_t)p - 2, (uint64_t)p);
  kernel._baseinverse = mulModWide(r, b, (uint64_t)p) == 1 ? (int64_t)r : 0;
  return kernel._baseinverse;
}

int64_t Get48bitInverse(int64_t a, int64_t p) {
  assert(p >= 2);
  if (p < (int64_t(1) << 31)) return euclidInverse((uint32_t)a % (uint64_t)p, (uint64_t)p);
  uint64_t x = residue(a, p);
  if (x == 0) return 0;
  if (p < MAXGUAR) return euclidInverse(x, (uint64_t)p);
  uint64_t r = powModP(x, (uint64_t)p - 2, (uint64_t)p);
  return mulModWide(r, x, (uint64_t)p) == 1 ? (int64_t)r : 0;
}

int64_t fastkbasepownmodp(int64_t k, uint32_t n, int64_t p) {
  assert(p >= 2);
  uint64_t b = residue(kernel._base, p);
  if (b == 0) return 0;
  if (p < (int64_t)n) n = (uint32_t)(n % (uint64_t)(p - 1));  // Fermat: b^(p−1) = 1
  uint64_t kr = residue(k, p);
  if (n == 0) return (int64_t)kr;
  return (int64_t)mulModWide(powModP(b, n, (uint64_t)p), kr, (uint64_t)p);
}

int64_t kbasepown(int64_t k, uint32_t n) {
  uint64_t result = (uint64_t)k, power = kernel._base;
  for (; n; n >>= 1) {
    if (n & 1) result *= power;
    power *= power;
  }
  return (int64_t)result;
}

uint32_t i64rem(int64_t x, uint32_t d) {
  assert(d >= 2 && d < (1u << 31));
  return (uint32_t)((uint64_t)x % d);
}

uint32_t _control87(uint32_t value, uint32_t mask) {
  uint16_t cw;
  asm volatile("fnstcw %0" : "=m"(cw));
  cw = (uint16_t)((value & mask) | (cw & ~mask));
  asm volatile("fldcw %0" : : "m"(cw));
  fFPURoundDown = (cw & 0xC00) == 0x400;
  return cw;
}
