// Base-2 work procedures: the pairing procedure below 2^32, the six-prime procedures (with
// the Plus, Minus and Twin rules applied inline), the collecting and twelve-prime procedures,
// and the arithmetic-progression pair. Batches never draw a prime at or beyond maxp, so a
// run stops exactly where the loop's limit says and continuation matches a direct run.
#include <cassert>

#include "engine/sieve_job.h"
#include "fixedn/pairing.h"
#include "fixedn/removal_rules.h"
#include "fixedn/work_procedures.h"
#include "kernels/batch_finders.h"
#include "kernels/finders.h"

namespace {

constexpr int64_t BIT46 = int64_t{1} << 46;

inline void ClearIfInRange(int64_t k, int64_t p) {
  if (k <= job.MaxNum) ClearRoutine(k, p);
}


// What the pairing procedures do with a prime's residue k0.
void RemoveResidue(const int64_t& p, int64_t& k0) { RemoveRoutine(p, k0); }

// Shared head of the six-prime procedures: the switch at bit 46, then one kernel call.
// Returns the number of real primes in the cells, or 0 when the prime went elsewhere.
int SixPrimeBatch(const int64_t& p) {
  if (p & BIT46) {
    workprocedure = WorkProcBase2_VeryBigp;
    workprocedure(p);
    return 0;
  }
  int count = DrawBatch(_p64, 6, p);
  find_k0();
  return count;
}

}  // namespace

WorkProcedure Base2Successor() {
  if (!job.fCMOV) return WorkProcBase2_NoCMOV_Bigp;
  if (job.fSSE2) return WorkProcBase2_SSE2_Bigp;
  if (RemoveRoutine == Remove_Plus) return WorkProcBase2_Plus_Bigp;
  if (RemoveRoutine == Remove_Minus) return WorkProcBase2_Minus_Bigp;
  if (RemoveRoutine == Remove_Twin) return WorkProcBase2_Twin_Bigp;
  return WorkProcBase2_Bigp;
}

void FlushBase2Held() {
  if (workprocedure == WorkProcBase2_AP_Smallp) ApplyHeldAlone<pair_find2pownmodp, RemoveResidue>();
  else ApplyHeldAlone<pair_findbbase2, RemoveResidue>();
  if (pindex != 0) {
    int count = pindex;
    pindex = 0;
    for (int i = count; i < 6; ++i) _p64[i] = _p64[count - 1];
    if (workprocedure == WorkProcBase2_NoCMOV_Bigp) find_k0_nocmov_bigp();
    else find_k0_bigp();
    for (int i = 0; i < count; ++i) RemoveRoutine(_p64[i], _k64[i]);
  }
}

void WorkProcBase2_Smallp(const int64_t& p) {
  if (p > kPairingLimit) HandOverPairing<pair_findbbase2, RemoveResidue>(p, Base2Successor());
  else PairStep<pair_findbbase2, RemoveResidue>(p);
}

void WorkProcBase2_Bigp(const int64_t& p) {
  int count = SixPrimeBatch(p);
  for (int i = 0; i < count; ++i) RemoveRoutine(_p64[i], _k64[i]);
}

void WorkProcBase2_Plus_Bigp(const int64_t& p) {
  int count = SixPrimeBatch(p);
  for (int i = 0; i < count; ++i) ClearIfInRange(_p64[i] - _k64[i], _p64[i]);
}

void WorkProcBase2_Minus_Bigp(const int64_t& p) {
  int count = SixPrimeBatch(p);
  for (int i = 0; i < count; ++i) ClearIfInRange(_k64[i], _p64[i]);
}

void WorkProcBase2_Twin_Bigp(const int64_t& p) {
  int count = SixPrimeBatch(p);
  for (int i = 0; i < count; ++i) ClearIfInRange(_p64[i] - _k64[i], _p64[i]);
  for (int i = 0; i < count; ++i) ClearIfInRange(_k64[i], _p64[i]);
}

void WorkProcBase2_VeryBigp(const int64_t& p) {
  _p64[pindex++] = p;
  if (pindex < 6) return;
  pindex = 0;
  find_k0_bigp();
  for (int i = 0; i < 6; ++i) RemoveRoutine(_p64[i], _k64[i]);
}

void WorkProcBase2_NoCMOV_Bigp(const int64_t& p) {
  _p64[pindex++] = p;
  if (pindex < 6) return;
  pindex = 0;
  find_k0_nocmov_bigp();
  for (int i = 0; i < 6; ++i) RemoveRoutine(_p64[i], _k64[i]);
}

void WorkProcBase2_SSE2_Bigp(const int64_t& p) {
  int count = DrawBatch(p0p11, 12, p);
  findk0xM_SSE2();
  for (int i = 0; i < count; ++i) RemoveRoutine(p0p11[i], k0k11[i]);
}

void WorkProcBase2_AP_Smallp(const int64_t& p) {
  if (p > kPairingLimit) HandOverPairing<pair_find2pownmodp, RemoveResidue>(p, WorkProcBase2_AP_Bigp);
  else PairStep<pair_find2pownmodp, RemoveResidue>(p);
}

void WorkProcBase2_AP_Bigp(const int64_t& p) { RemoveRoutine(p, find2pownmodp(p)); }
