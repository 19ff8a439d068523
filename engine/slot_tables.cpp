// The tables that choose the per-prime procedures of a run from the job and its store.
#include "engine/slot_tables.h"

#include <cmath>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedk/ksieve.h"
#include "fixedn/clear.h"
#include "fixedn/removal_rules.h"
#include "fixedn/sieve_slots.h"
#include "fixedn/work_procedures.h"

namespace {

constexpr int64_t BELOW_2_32 = 4294967295LL;
constexpr int64_t BELOW_2_50 = (int64_t{1} << 50) - 1;

// `_mode` without the bits that only modify a type's form.
uint32_t formOf(uint32_t mode) { return mode & ~(MODE_EVEN_K | MODE_ODD_N | MODE_NOT_GENERALIZED | MODE_PRIMORIAL); }

// First matching row: fixed-k forms, primorial, other bases, then base 2 by prime size and
// processor features.
WorkProcedure chooseWorkProcedure() {
  const uint32_t mode = job._mode;
  const bool primorial = mode & MODE_PRIMORIAL, progression = mode & MODE_AP;
  if (mode & MODE_FIXED_K) {
    if (job._base != 2 && !primorial && !(mode & MODE_BN_K)) {
      FindBaseInverses();
      return DoKSieveOtherBases;
    }
    if (job.MaxNum - job.MinNum > 2999) return job.tiny ? DoKSieve_tiny : DoKSieve;
    return job.tiny ? DoKSieveShortRange_tiny : DoKSieveShortRange;
  }
  if (mode & MODE_BN_K) {
    if (job._base != 2 && !primorial) {
      FindBaseInverses();
      return DoKSieveOtherBases;
    }
    return job.tiny ? DoKSieve_tiny : DoKSieve;
  }
  const bool bigp = job.firstp > BELOW_2_32;
  if (primorial && progression) return bigp ? WorkProcPrimorial_AP_Bigp : WorkProcPrimorial_AP_Smallp;
  if (primorial) return bigp ? WorkProcPrimorial_Bigp : WorkProcPrimorial_Smallp;
  if (job._base != 2) {
    if (progression) return WorkProcNotBase2_AP;
    if (FindBaseInverses()) {
      MaxpForWorkProcNotBase2 = static_cast<int64_t>((uint64_t{1} << 63) / job._base);
      return WorkProcNotBase2;
    }
    return WorkProcNotBase2_NoInverses;
  }
  if (!bigp) return progression ? WorkProcBase2_AP_Smallp : WorkProcBase2_Smallp;
  if (progression) return WorkProcBase2_AP_Bigp;
  if (job.fSSE2) return WorkProcBase2_SSE2_Bigp;
  if (!job.fCMOV) return WorkProcBase2_NoCMOV_Bigp;
  if (job.firstp > BELOW_2_50) return WorkProcBase2_VeryBigp;
  return WorkProcBase2_Bigp;
}

// The removal rule of the form (the small-candidate rule when tiny); the six-prime
// procedure applies the single-form and twin rules inline.
void chooseRemoveRoutine() {
  const uint32_t form = formOf(job._mode);
  RemoveRoutine = RemoveRuleFor(form, job.tiny);
  if (job.tiny || workprocedure != WorkProcBase2_Bigp) return;
  if (form == 0x0001) workprocedure = WorkProcBase2_Plus_Bigp;
  if (form == 0x0002) workprocedure = WorkProcBase2_Minus_Bigp;
  if (form == 0x0003) workprocedure = WorkProcBase2_Twin_Bigp;
}

// Types whose rules strike one class per prime: the bitmap can clear each class at once.
bool oneClassPerPrime(uint32_t form) {
  switch (form) {
    case 0x0001: case 0x0002: case 0x0101: case 0x0102: case 0x0200: case 0x8001: case 0x8002:
      return true;
    default:
      return false;
  }
}

void chooseClearRoutine() {
  const uint32_t form = formOf(job._mode);
  if (job.fUseHash) {
    ClearRoutine = ClearHash;
  } else if (job.fUseBitMap) {
    ClearRoutine = oneClassPerPrime(form) ? ClearBitmapSmallp : ClearBitmapSmallpMultivals;
  } else {
    // Binary search per member while the set is dense for these primes, else one scan.
    double A = static_cast<double>(job.nvals) * static_cast<double>(job.firstp);
    double B = std::log(static_cast<double>(job.nvals)) * static_cast<double>(job.MaxNum - job.MinNum);
    double ratio = job.fIncIsTwo ? B / (2 * A) : B / A;
    if (ratio < 3) {
      ClearRoutine = ClearArray;
    } else {
      ClearRoutine = ClearSparseArray;
      print("Using sparse array algorithm");
    }
  }
}

}  // namespace

void ChooseSieveProcedures() {
  workprocedure = chooseWorkProcedure();
  chooseRemoveRoutine();
  // Only the fixed-n procedures hold primes back between calls.
  workflush = (job._mode & MODE_N_VARIES) ? nullptr : FlushWorkProcedures;
  chooseClearRoutine();
}
