// The tables that choose the per-prime procedures of a run from the job and its store.
#include "engine/slot_tables.h"

#include <cmath>

#include "engine/print.h"
#include "engine/sieve_job.h"
#include "fixedn/clear.h"
#include "fixedn/sieve_slots.h"

namespace {

// Interim work procedure: strikes nothing. The work-procedure and removal-rule tables
// (which procedure for which base, form, prime size and processor; which rule for which
// form) replace it together with the held-prime flush.
void WorkProcNone(const int64_t&) {}

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
  const uint32_t form = job._mode & ~(MODE_EVEN_K | MODE_ODD_N | MODE_NOT_GENERALIZED | MODE_PRIMORIAL);
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
  workprocedure = WorkProcNone;
  RemoveRoutine = nullptr;
  workflush = nullptr;
  chooseClearRoutine();
}
