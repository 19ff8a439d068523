// The named 64-bit modular operations: product, inverses, powers, remainder, and the
// x87 rounding-mode switch with its mirror flag. Exact integer arithmetic throughout.
#pragma once
#include <cstdint>

// a·b mod p in [0, p). Operands at or above p (or negative) are reduced first, whatever p.
int64_t mulmodp2(int64_t a, int64_t b, int64_t p);

// b^(-1) mod p for b = kernel._base, also left in kernel._baseinverse; 0 (and
// _baseinverse 0) when b·r mod p ≠ 1, i.e. p divides b or p is composite.
int64_t GetBaseInverse(int64_t p);

// a^(-1) mod p in [0, p). Below 2^31 only the low 32 bits of a take part (extended Euclid);
// below MAXGUAR every p is prime and Euclid needs no check; from MAXGUAR on, a^(p−2) is
// checked and 0 returned for a p that fails (composite). 0 also when p divides a.
int64_t Get48bitInverse(int64_t a, int64_t p);

// k·b^n mod p for b = kernel._base; 0 when p divides b; k mod p when n reduces to 0
// (n is reduced modulo p − 1 when p < n).
int64_t fastkbasepownmodp(int64_t k, uint32_t n, int64_t p);

// k·b^n in wrapping 64-bit arithmetic, b = kernel._base (callers know it fits).
int64_t kbasepown(int64_t k, uint32_t n);

// x mod d for 2 ≤ d < 2^31, x read as an unsigned 64-bit value.
uint32_t i64rem(int64_t x, uint32_t d);

// x87 control word: new = (value & mask) | (old & ~mask), written to the FPU and returned.
// (0x400, 0xC00) rounds toward minus infinity, (0, 0xC00) to nearest, (0x300, 0x300)
// selects the 64-bit significand.
uint32_t _control87(uint32_t value, uint32_t mask);

// True while the x87 unit rounds toward minus infinity; _control87 keeps it in step.
extern bool fFPURoundDown;
