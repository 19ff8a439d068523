// Pairing of primes below 2^32, shared by the base-2 and primorial work procedures: a prime
// waits in `savep` until a second arrives, then one two-prime kernel call serves both.
#pragma once
#include <cstdint>

#include "fixedn/work_procedures.h"

// The two-prime kernels serve primes up to this; the first prime above it ends the pairing.
constexpr int64_t kPairingLimit = int64_t{1} << 32;

// A two-prime residue finder (a single held prime is passed as both), and what a work
// procedure does with one prime's residue.
using PairKernel = void (*)(int64_t p1, int64_t p2, int64_t& out1, int64_t& out2);
using ResidueStep = void (*)(const int64_t& p, int64_t& residue);

// Applies the held prime on its own, if there is one.
template <PairKernel Kernel, ResidueStep Step>
inline void ApplyHeldAlone() {
  if (savep == 0) return;
  int64_t held = savep, residue, unused;
  savep = 0;
  Kernel(held, held, residue, unused);
  Step(held, residue);
}

// Holds p, or applies it together with the held prime, the held one first.
template <PairKernel Kernel, ResidueStep Step>
inline void PairStep(const int64_t& p) {
  if (savep == 0) {
    savep = p;
    return;
  }
  int64_t held = savep, first, second;
  savep = 0;
  Kernel(held, p, first, second);
  Step(held, first);
  Step(p, second);
}

// At the first prime above kPairingLimit: installs successor, applies the held prime alone,
// then hands p to the successor.
template <PairKernel Kernel, ResidueStep Step>
inline void HandOverPairing(const int64_t& p, WorkProcedure successor) {
  workprocedure = successor;
  ApplyHeldAlone<Kernel, Step>();
  workprocedure(p);
}
