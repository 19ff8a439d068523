// AVX-512 IFMA version of the batch chains 2^(−n) mod p: eight primes per vector,
// Montgomery arithmetic in radix 2^52. Built with a target attribute, entered only after a
// run-time CPU check.
#pragma once
#include <cstdint>

// Largest prime the radix-2^52 chains take (their products must fit 104 bits).
constexpr uint64_t IFMA_MAX_P = uint64_t(1) << 52;

// k[i] = 2^(−n) mod p[i] for count ≤ 16 odd primes in (2^21, 2^52) and n ≥ 32, identical to
// the portable chains. The caller checks the CPU, the range and n.
void inversePowersOfTwoIfma(const int64_t* p, int64_t* k, int count, uint32_t n);

// r[i] = x[i]^n mod p[i] for count ≤ 32 odd p[i] below 2^52, x[i] < p[i] and n ≥ 1, identical
// to the portable chains. The caller checks the CPU and the range.
void powersIfma(const int64_t* p, const int64_t* x, int64_t* r, int count, uint32_t n);

// Largest prime (exclusive) the primorial chains take: their lazy sums must stay below 2^52
// and their Montgomery entry is the divide-free one.
constexpr uint64_t IFMA_PRIMORIAL_MAX_P = uint64_t(1) << 49;

// r[i] = (Σ limbs[j]·2^(48j)) mod p[i] in [0, p[i]) for count ≤ 16 odd p[i] in
// [3, IFMA_PRIMORIAL_MAX_P), limbs below 2^48, nlimbs ≥ 1. The caller checks the CPU.
void primorialResiduesIfma(const uint64_t* limbs, uint32_t nlimbs, const int64_t* p, int64_t* r, int count);
// r[i] = x[i]^(p[i]−2) mod p[i] when that times x[i] is 1 mod p[i], else 0, for count ≤ 16 odd
// p[i] in [3, IFMA_PRIMORIAL_MAX_P) and x[i] < p[i]. The caller checks the CPU.
void fermatInversesIfma(const int64_t* p, const int64_t* x, int64_t* r, int count);
