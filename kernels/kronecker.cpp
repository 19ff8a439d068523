// The binary Jacobi symbol algorithms, gcd and the extended Euclid algorithm.
#include "kernels/kronecker.h"

#include <cassert>

#include "kernels/modarith.h"

namespace {

// (2/n) by n mod 8; the even entries are never read for odd n.
constexpr int32_t TWO_OVER_N[8] = {0, 1, 0, -1, 0, -1, 0, 1};

}  // namespace

int32_t Kroneker(int64_t a, int64_t n) {
  assert(n > 0 && (n & 1));
  int32_t s = 1;
  while (a != 0) {
    const int twos = __builtin_ctzll(uint64_t(a));
    a >>= twos;  // exact: a has that many trailing zeros, whatever its sign
    if (twos & 1) s *= TWO_OVER_N[n & 7];
    // Reciprocity; two's complement keeps a's class mod 4 right for a negative a.
    if (a & n & 2) s = -s;
    const int64_t h = a < 0 ? -a : a;
    a = n % h;
    n = h;
  }
  return n == 1 ? s : 0;
}

int32_t FastKroneker(int32_t a, int64_t n) {
  assert(n > 0 && (n & 1));
  if (a == 0) return n == 1 ? 1 : 0;
  int32_t s = 1;
  int twos = __builtin_ctz(uint32_t(a));
  a >>= twos;
  if (twos & 1) s *= TWO_OVER_N[n & 7];
  if (a & n & 2) s = -s;
  uint32_t h = a < 0 ? 0u - uint32_t(a) : uint32_t(a);
  if (h == 1) return s;
  uint32_t l = i64rem(n, h);
  while (l != 0) {
    twos = __builtin_ctz(l);
    l >>= twos;
    if (twos & 1) s *= TWO_OVER_N[h & 7];
    if (l & h & 2) s = -s;
    const uint32_t t = h % l;
    h = l;
    l = t;
  }
  return h == 1 ? s : 0;
}

int32_t gcd(int32_t a, int32_t b) {
  // 64-bit magnitudes: INT32_MIN has no 32-bit absolute value and INT32_MIN % -1 traps.
  int64_t x = a < 0 ? -int64_t(a) : a;
  int64_t y = b < 0 ? -int64_t(b) : b;
  while (y != 0) {
    const int64_t t = x % y;
    x = y;
    y = t;
  }
  return int32_t(x);
}

uint32_t euclid_extended(uint32_t a, uint32_t m) {
  if (m == 0) return 0;
  int64_t r0 = m, r1 = a, s0 = 0, s1 = 1;
  while (r1 != 0) {
    const int64_t q = r0 / r1;
    const int64_t r = r0 - q * r1;
    r0 = r1;
    r1 = r;
    const int64_t s = s0 - q * s1;
    s0 = s1;
    s1 = s;
  }
  if (r0 != 1) return 0;
  // s0·a ≡ 1 (mod m) with |s0| ≤ m; m - s0 or -s0 is the negated inverse.
  return uint32_t(s0 > 0 ? int64_t(m) - s0 : -s0);
}
