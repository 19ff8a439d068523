// Single- and two-prime residue finders: powers of 2 and of the base, their inverses and
// the arithmetic-progression residues (1 − b^n)/2, read from the kernel context.
#pragma once
#include <cstdint>

// 2^(−n) mod p1 and mod p2 (n = kernel._nvalue), each in [0, p).
void pair_findbbase2(int64_t p1, int64_t p2, int64_t& out1, int64_t& out2);

// b^(−n) mod p from kernel._baseinverse = b^(−1) mod p; for n = 1 the inverse unchanged.
int64_t findbotherbases(int64_t p);

// (1 − 2^n)/2 mod p, in [1, p] (p standing for 0).
int64_t find2pownmodp(int64_t p);
void pair_find2pownmodp(int64_t p1, int64_t p2, int64_t& out1, int64_t& out2);

// (1 − b^n)/2 mod p for even b, (2 − b^n)/2 mod p for odd b, in [1, p].
int64_t findbasepownmodp(int64_t p);

// Fixed-k finders: the exponent comes with each call, so they never touch kernel._nvalue.
// 2^(−m) mod p in [0, p); mask is the bit just below m's leading bit (0 for m = 1).
int64_t halfpownmodp(uint32_t m, uint32_t mask, int64_t p);
// k·2^n mod p in [0, p) for p below 2^32.
uint32_t findk2pownmodp(uint32_t k, uint32_t n, int64_t p);
