// The Jacobi symbol (64-bit and 32-by-64-bit forms), gcd, and the extended Euclid algorithm
// that gives the negated inverse used by the base-inverse table.
#pragma once
#include <cstdint>

// Jacobi symbol (a/n) for odd n > 0, any signed a: -1, 0 or 1.
int32_t Kroneker(int64_t a, int64_t n);

// Jacobi symbol (a/n) for a 32-bit a and an odd 64-bit n > 0; the one 64-bit step is
// n mod |a|, the rest is 32-bit. The fixed-k callers pass -k for the +1 forms and k for the
// -1 forms; the sign is taken from a itself, so no form bit is needed. a = 0 gives 0 (1 for n = 1).
int32_t FastKroneker(int32_t a, int64_t n);

// Greatest common divisor of |a| and |b|; gcd(a, 0) = |a|.
int32_t gcd(int32_t a, int32_t b);

// (-a^(-1)) mod m in [0, m), or 0 when a has no inverse modulo m (or m is 0).
uint32_t euclid_extended(uint32_t a, uint32_t m);
