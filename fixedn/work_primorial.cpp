// Primorial work procedures: P mod p for two primes at a time below 2^32 and one at a time
// above, then the primorial step (k0 = P^(−1) mod p) or the progression step ((1 − P)/2).
#include "fixedn/pairing.h"
#include "fixedn/work_procedures.h"
#include "kernels/primorial.h"

namespace {

void Remove(const int64_t& p, int64_t k0) { RemoveRoutine(p, k0); }

// x = P mod p on entry.
void PrimorialStep(const int64_t& p, int64_t& x) { DoPrimorial(p, x, Remove); }
void ProgressionStep(const int64_t& p, int64_t& x) { DoPrimorial_AP(p, x, Remove); }

bool IsProgression(WorkProcedure w) { return w == WorkProcPrimorial_AP_Smallp || w == WorkProcPrimorial_AP_Bigp; }

}  // namespace

bool IsPrimorialProcedure(WorkProcedure w) {
  return w == WorkProcPrimorial_Smallp || w == WorkProcPrimorial_Bigp || IsProgression(w);
}

void FlushPrimorialHeld() {
  if (IsProgression(workprocedure)) ApplyHeldAlone<pair_GetPrimorialModP, ProgressionStep>();
  else ApplyHeldAlone<pair_GetPrimorialModP, PrimorialStep>();
}

void WorkProcPrimorial_Smallp(const int64_t& p) {
  if (p > kPairingLimit) HandOverPairing<pair_GetPrimorialModP, PrimorialStep>(p, WorkProcPrimorial_Bigp);
  else PairStep<pair_GetPrimorialModP, PrimorialStep>(p);
}

void WorkProcPrimorial_Bigp(const int64_t& p) {
  int64_t x = GetPrimorialModP(p);
  PrimorialStep(p, x);
}

void WorkProcPrimorial_AP_Smallp(const int64_t& p) {
  if (p > kPairingLimit) HandOverPairing<pair_GetPrimorialModP, ProgressionStep>(p, WorkProcPrimorial_AP_Bigp);
  else PairStep<pair_GetPrimorialModP, ProgressionStep>(p);
}

void WorkProcPrimorial_AP_Bigp(const int64_t& p) {
  int64_t x = GetPrimorialModP(p);
  ProgressionStep(p, x);
}
