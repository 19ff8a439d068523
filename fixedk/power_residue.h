// Power-residue screening for the fixed-k searches: before a baby-step giant-step search for
// V·B^a ≡ S (mod p), map both sides into the small subgroup of order gcd(p − 1, Q), where the
// equation can be solved by a few multiplications. That either shows there is no a at all, or
// pins a to one class modulo t, so the search need only walk that class.
#pragma once
#include <cstdint>

// The small composite whose divisors the screening can use: the orders of B in the small
// subgroup are its divisors, so a class modulo up to Q is found in at most Q steps.
constexpr uint32_t kPowerResidueModulus = 840;  // 2^3 · 3 · 5 · 7: measured best of 720 to 27720

struct PowerResidueClass {
  bool none = false;  // no a ≥ 0 satisfies the equation
  uint32_t t = 1;     // every solution a is ≡ a0 (mod t)
  uint32_t a0 = 0;    // in [0, t)
};

// For an odd prime p < 2^63 and residues V, B, S in [1, p): the class modulo t that every
// solution a of V·B^a ≡ S (mod p) lies in, or none. Exact for prime p only (it relies on the
// multiplicative group being cyclic of order p − 1); callers pass only true primes.
PowerResidueClass ScreenByPowerResidue(uint64_t V, uint64_t B, uint64_t S, uint64_t p);

// The same with V and B already in the Montgomery form of m (S plain), for callers that work
// in that form anyway.
struct MontgomeryModulus;
PowerResidueClass ScreenByPowerResidueMont(const MontgomeryModulus& m, uint64_t Vm, uint64_t Bm, uint64_t S);

// The same for k·2^(MinNum + d·a) ≡ S (mod p), from k in the Montgomery form of m: 2^z and
// k^z in one loop from the leading bit of z, and the rest from powers of 2^z below 840, so no
// power of 2 to MinNum is needed.
PowerResidueClass ScreenPowersOfTwoMont(const MontgomeryModulus& m, uint64_t km, uint32_t d, uint64_t minNum,
                                        uint64_t S);

// Primes per call of the lanes' screening.
constexpr uint32_t kScreenLanes = 16;

// ScreenPowersOfTwoMont's result for each of n ≤ kScreenLanes primes at once, with S = −1
// (minusOne) or 1: k[i] in [1, p[i]), every p[i] an odd prime below 2^50. Needs the
// processor's AVX-512 IFMA (the callers check), the results are the same as one by one.
void ScreenPowersOfTwoInLanes(const uint64_t* p, const uint64_t* k, uint32_t n, uint32_t d, uint64_t minNum,
                              bool minusOne, PowerResidueClass* out);
