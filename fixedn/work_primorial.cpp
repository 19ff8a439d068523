// Primorial work procedures: P mod p for sixteen primes per call (the loop draws one, the
// procedure the rest, never at or beyond maxp), then the primorial step (k0 = P^(−1) mod p,
// the sixteen inverses in one batch) or the progression step ((1 − P)/2).
#include "fixedn/work_procedures.h"
#include "kernels/primorial.h"

void PrimorialResidues(const int64_t* p, int count, bool progression, int64_t* k) {
  alignas(64) int64_t x[PRIMORIAL_BATCH];
  GetPrimorialModPBatch(p, count, x);
  if (progression) {
    for (int i = 0; i < count; ++i) k[i] = (int64_t)halfDifferenceModP((uint64_t)x[i], 1, (uint64_t)p[i]);
    return;
  }
  Get48bitInverseBatch(p, x, count, k);
}

namespace {

bool IsProgression(WorkProcedure w) { return w == WorkProcPrimorial_AP_Smallp || w == WorkProcPrimorial_AP_Bigp; }

void PrimorialBatch(const int64_t& p, bool progression) {
  alignas(64) int64_t cells[PRIMORIAL_BATCH], k[PRIMORIAL_BATCH];
  const int count = DrawBatch(cells, PRIMORIAL_BATCH, p);
  PrimorialResidues(cells, count, progression, k);
  for (int i = 0; i < count; ++i)
    if (k[i] != 0) RemoveRoutine(cells[i], k[i]);  // 0: p divides P, or fails the inverse's check
}

}  // namespace

bool IsPrimorialProcedure(WorkProcedure w) {
  return w == WorkProcPrimorial_Smallp || w == WorkProcPrimorial_Bigp || IsProgression(w);
}

// The small-prime procedures name where a run starts; above 2^32 they give way to the large
// ones, which batch alike.
void WorkProcPrimorial_Smallp(const int64_t& p) {
  if (p > (int64_t(1) << 32)) workprocedure = WorkProcPrimorial_Bigp;
  PrimorialBatch(p, false);
}

void WorkProcPrimorial_Bigp(const int64_t& p) { PrimorialBatch(p, false); }

void WorkProcPrimorial_AP_Smallp(const int64_t& p) {
  if (p > (int64_t(1) << 32)) workprocedure = WorkProcPrimorial_AP_Bigp;
  PrimorialBatch(p, true);
}

void WorkProcPrimorial_AP_Bigp(const int64_t& p) { PrimorialBatch(p, true); }
