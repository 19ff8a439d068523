// Primorial work procedures: P mod p for two primes at a time below 2^32 and one at a time
// above, then the primorial step (k0 = P^(−1) mod p) or the progression step ((1 − P)/2).
#include "fixedn/work_procedures.h"
#include "kernels/primorial.h"

namespace {

constexpr int64_t TWO32 = int64_t{1} << 32;

void Remove(const int64_t& p, int64_t k0) { RemoveRoutine(p, k0); }

void Step(const int64_t& p, int64_t& x, bool ap) {
  if (ap) DoPrimorial_AP(p, x, Remove);
  else DoPrimorial(p, x, Remove);
}

void PairStep(const int64_t& p, bool ap, WorkProcedure successor) {
  if (p > TWO32) {
    workprocedure = successor;
    FlushPrimorialHeld();
    workprocedure(p);
    return;
  }
  if (savep == 0) {
    savep = p;
    return;
  }
  int64_t held = savep, saveb, svb2;
  savep = 0;
  pair_GetPrimorialModP(held, p, saveb, svb2);
  Step(held, saveb, ap);
  Step(p, svb2, ap);
}

bool IsProgression(WorkProcedure w) { return w == WorkProcPrimorial_AP_Smallp || w == WorkProcPrimorial_AP_Bigp; }

}  // namespace

bool IsPrimorialProcedure(WorkProcedure w) {
  return w == WorkProcPrimorial_Smallp || w == WorkProcPrimorial_Bigp || IsProgression(w);
}

void FlushPrimorialHeld() {
  if (savep == 0) return;
  int64_t held = savep, x, unused;
  savep = 0;
  pair_GetPrimorialModP(held, held, x, unused);
  Step(held, x, IsProgression(workprocedure));
}

void WorkProcPrimorial_Smallp(const int64_t& p) { PairStep(p, false, WorkProcPrimorial_Bigp); }

void WorkProcPrimorial_Bigp(const int64_t& p) {
  int64_t x = GetPrimorialModP(p);
  Step(p, x, false);
}

void WorkProcPrimorial_AP_Smallp(const int64_t& p) { PairStep(p, true, WorkProcPrimorial_AP_Bigp); }

void WorkProcPrimorial_AP_Bigp(const int64_t& p) {
  int64_t x = GetPrimorialModP(p);
  Step(p, x, true);
}
