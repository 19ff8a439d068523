// The job's primorial multiplier P in packed forms built once per run, its residues modulo
// each prime, and the steps that turn P mod p into the first k to strike.
#pragma once
#include <cstdint>

#include "kernels/modarith.h"
#include "kernels/montgomery.h"

constexpr uint32_t PACK_PRIMORIAL_WORDS = 10000;
constexpr uint32_t SMALL_PACK_PRIMORIAL_WORDS = 20000;

// Limb form (FillPackPrimorial): P = Σ _PackPrimorial[i]·2^(48i), each limb below 2^48.
// Factor form (FillMyPackPrimorial): P = Π _PackPrimorial[i], each word at most 2^61 − 1.
extern int64_t _PackPrimorial[PACK_PRIMORIAL_WORDS];
extern uint32_t _nPackPrimorial;
// P as factors of at most 2^31 − 1 each; built by FillPackPrimorial, emptied by
// FillMyPackPrimorial (its jobs never use it).
extern uint32_t _SmallPackPrimorial[SMALL_PACK_PRIMORIAL_WORDS];
extern uint32_t _nSmallPackPrimorial;

// Builds both forms of P = n# for the form bits `mode` of the job: without the factor 2 for
// the Lucky types in primorial mode (mode 0x5D or 0x6E), without 5 when mode has 0x80,
// without 7 when it has 0x800. Returns ln P (LogPrimorial) for the caller to keep in the job.
// Reads primetable (filled at start-up) and leaves it untouched.
double FillPackPrimorial(uint32_t n, uint32_t mode);
// P as the product of factors[0..count), packed first-fit from the last factor to the first;
// returns ln P.
double FillMyPackPrimorial(const int64_t* factors, uint32_t count);

// P mod p in [0, p) from the limb form.
int64_t GetPrimorialModP(int64_t p);
// P mod p1 and P mod p2 in [0, p) from the small-word form; the second prime may be a
// placeholder (any value from 2 on) when a single prime is flushed.
void pair_GetPrimorialModP(int64_t p1, int64_t p2, int64_t& out1, int64_t& out2);

// Primes per call of the batch reductions below.
constexpr int PRIMORIAL_BATCH = 16;
// x[i] = P mod p[i] for count ≤ PRIMORIAL_BATCH primes, the value GetPrimorialModP gives,
// slot by slot: AVX-512 IFMA chains where the CPU allows and every prime is odd and below
// 2^49, else two primes at a time up to 2^32 and one at a time above.
void GetPrimorialModPBatch(const int64_t* p, int count, int64_t* x);
// r[i] = Get48bitInverse(x[i], p[i]) for x[i] in [1, p[i]), and 0 where x[i] = 0: by Fermat
// in IFMA lanes under the same conditions, else one inversion per prime.
void Get48bitInverseBatch(const int64_t* p, const int64_t* x, int count, int64_t* r);

// x = P mod p on entry. P^(−1) mod p is handed to remove as k0, unless p divides P (x = 0) or
// p fails the inverse's primality check (above MAXGUAR): then nothing is struck.
template <class Remove>
inline void DoPrimorial(const int64_t& p, int64_t& x, Remove&& remove) {
  if (x == 0) return;
  x = Get48bitInverse(x, p);
  if (x != 0) remove(p, x);
}

// x = P mod p on entry; k0 = (1 − P)/2 mod p in [1, p], the k for which p divides P + 2k − 1.
template <class Remove>
inline void DoPrimorial_AP(const int64_t& p, int64_t& x, Remove&& remove) {
  x = (int64_t)halfDifferenceModP((uint64_t)x, 1, (uint64_t)p);
  remove(p, x);
}
