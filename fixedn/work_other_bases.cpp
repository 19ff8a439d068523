// Work procedures for bases other than 2: the inverse table that turns b^(−1) mod p into a
// lookup and one exact division, the fallback by modular inversion, and the progression form.
#include "engine/sieve_job.h"
#include "fixedn/removal_rules.h"
#include "fixedn/work_procedures.h"
#include "kernels/finders.h"
#include "kernels/kernel_context.h"
#include "kernels/kronecker.h"
#include "kernels/modarith.h"

namespace {
constexpr uint32_t MAX_TABLE_BASE = 255255;
}

bool FindBaseInverses() {
  baseinverses.clear();
  baseinverses.shrink_to_fit();
  const uint32_t b = job._base;
  if (b > MAX_TABLE_BASE) return false;
  baseinverses.resize(b);
  baseinverses[0] = 0;
  if (b > 1) baseinverses[1] = b - 1;
  for (uint32_t i = 2; i < b; ++i) baseinverses[i] = euclid_extended(i, b);
  return true;
}

void NotBase2Prime(const int64_t& p, bool byTable) {
  if (byTable) {
    const int64_t b = job._base;
    const int64_t e = baseinverses[static_cast<size_t>(p % b)];
    if (e == 0) {  // p divides b: only b^0 = 1 leaves members p can divide
      if (kernel._nvalue == 0) RemoveWithBaseDivisor(p);
      return;
    }
    // e·r ≡ −1 (mod b) for r = p mod b, so b divides e·p + 1 and the quotient is b^(−1) mod p.
    kernel._baseinverse = (e * p + 1) / b;
  } else if (GetBaseInverse(p) == 0) {  // p divides b, or p is not prime
    if (kernel._nvalue == 0 && job._base % p == 0) RemoveWithBaseDivisor(p);
    return;
  }
  RemoveRoutine(p, findbotherbases(p));
}

void WorkProcNotBase2(const int64_t& p) {
  if (p > MaxpForWorkProcNotBase2) {
    workprocedure = WorkProcNotBase2_NoInverses;
    WorkProcNotBase2_NoInverses(p);
    return;
  }
  NotBase2Prime(p, true);
}

void WorkProcNotBase2_NoInverses(const int64_t& p) { NotBase2Prime(p, false); }

void WorkProcNotBase2_AP(const int64_t& p) { RemoveRoutine(p, findbasepownmodp(p)); }
