// The walks of the class search in vector lanes: eight classes at a time, their start values
// from two small tables of powers, their giant steps and their table probes side by side, with
// AVX-512 IFMA (52-bit Montgomery products). The matches are the scalar walk's, in another
// order; the search sorts its matches afterwards either way.
#pragma once
#include <cstdint>
#include <vector>

#include "fixedk/bsgs_table.h"

// Whether the vector walk runs here for a prime p: the processor has AVX-512 IFMA and p is
// below 2^50, where the 52-bit products are exact.
bool VectorClassWalkFits(uint64_t p);

// One prime's class walk. Class c (c < size) starts at first·h^((r[c] − r[0])/t) and takes
// `steps` giant steps, each multiplying by giant; at step y, every table entry i equal to the
// class's value gives a = r[c] + Q·(tableLen·y + i), kept as a·d when a < count. first, h and
// giant are residues mod p in [0, p); r ascending with every r[c] ≡ r[0] (mod t).
struct ClassWalk {
  uint64_t p, first, h, giant;
  const uint16_t* r;
  uint32_t size, t, steps, Q, tableLen, d;
  uint64_t count;
};
void WalkClassesInLanes(const BsgsTable& table, const ClassWalk& w, std::vector<uint32_t>& matches);

// out[i] = x·w^i mod p for i < n, x and w in [0, p), as VectorClassWalkFits allows: sixteen
// lanes stepping by w^16. out needs room for n rounded up to a multiple of 16.
void PowerRunInLanes(uint64_t* out, uint32_t n, uint64_t x, uint64_t w, uint64_t p);

// Powers of 2 in vector lanes: out[i] = 2^e[i] mod p[i] for i < n ≤ kTwoPowerLanes, e[i] of
// either sign with |e[i]| < 2^40 (a negative one powers 2^(−1)), each p[i] odd and allowed by
// VectorClassWalkFits.
constexpr uint32_t kTwoPowerLanes = 16;
void TwoPowersInLanes(const uint64_t* p, const int64_t* e, uint32_t n, uint64_t* out);
