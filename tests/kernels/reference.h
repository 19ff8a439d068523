// Plain unsigned __int128 references for the kernel tests (square-and-multiply with '%',
// inverses by extended Euclid) and random primes from GMP.
#pragma once
#include <gmpxx.h>

#include <cstdint>
#include <random>

namespace ref {

using u128 = unsigned __int128;

inline uint64_t mulmod(uint64_t a, uint64_t b, uint64_t p) { return (uint64_t)((u128)a * b % p); }

inline uint64_t powmod(uint64_t x, uint64_t e, uint64_t p) {
  uint64_t r = 1 % p;
  x %= p;
  for (; e; e >>= 1) {
    if (e & 1) r = mulmod(r, x, p);
    x = mulmod(x, x, p);
  }
  return r;
}

// a^(-1) mod p, or 0 when gcd(a, p) ≠ 1.
inline uint64_t inverse(uint64_t a, uint64_t p) {
  __int128 r0 = p, r1 = a % p, s0 = 0, s1 = 1;
  while (r1) {
    __int128 q = r0 / r1, r2 = r0 - q * r1, s2 = s0 - q * s1;
    r0 = r1, r1 = r2, s0 = s1, s1 = s2;
  }
  if (r0 != 1) return 0;
  return (uint64_t)(s0 < 0 ? s0 + p : s0);
}

// The smallest prime at or above x (unsigned long is 64 bits here).
inline uint64_t primeAtOrAbove(uint64_t x) {
  mpz_class z((unsigned long)x - 1);
  mpz_nextprime(z.get_mpz_t(), z.get_mpz_t());
  return z.get_ui();
}

// The largest prime below x.
inline uint64_t primeBelow(uint64_t x) {
  mpz_class z((unsigned long)x);
  do z -= 1;
  while (mpz_probab_prime_p(z.get_mpz_t(), 30) == 0);
  return z.get_ui();
}

// A random prime in [lo, hi) (lo ≥ 3; the interval must hold a prime well below hi).
inline uint64_t randomPrime(std::mt19937_64& rng, uint64_t lo, uint64_t hi) {
  for (;;) {
    uint64_t p = primeAtOrAbove(std::uniform_int_distribution<uint64_t>(lo, hi - 1)(rng));
    if (p < hi) return p;
  }
}

// The regimes the kernels are checked in: [lo, hi) bounds of the random primes.
struct Regime {
  const char* name;
  uint64_t lo, hi;
};
inline constexpr Regime kRegimes[] = {
    {"below 2^31", 3, uint64_t(1) << 31},
    {"2^31..2^32", uint64_t(1) << 31, uint64_t(1) << 32},
    {"2^32..2^46", uint64_t(1) << 32, uint64_t(1) << 46},
    {"2^46..2^50", uint64_t(1) << 46, uint64_t(1) << 50},
    {"2^50..2^60", uint64_t(1) << 50, uint64_t(1) << 60},
    {"2^60..2^63", uint64_t(1) << 60, uint64_t(1) << 63},
};

}  // namespace ref
