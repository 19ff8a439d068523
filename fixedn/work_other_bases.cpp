// Work procedures for bases other than 2: the inverse table that turns b^(−1) mod p into a
// lookup and one exact division, the fallback by modular inversion, and the progression form.
// Primes go through the kernels sixteen at a time (the loop draws one, the procedure the
// rest, never at or beyond maxp), so that their powerings run as independent chains.
#include "engine/sieve_job.h"
#include "fixedn/removal_rules.h"
#include "fixedn/work_procedures.h"
#include "kernels/batch_finders.h"
#include "kernels/finders.h"
#include "kernels/kernel_context.h"
#include "kernels/kronecker.h"
#include "kernels/modarith.h"
#include "kernels/montgomery.h"

namespace {
constexpr uint32_t MAX_TABLE_BASE = 255255;

// Division by the run's base without a divide instruction, for the table method (p < 2^63/b):
// floor(p/b) = high word of p·(floor(2^64/b) + 1), exact for p < 2^64/b since the error
// p/2^64 stays below 1/b; and the exact quotient of a multiple of b by a shift and the
// inverse of b's odd part modulo 2^64. One per thread, rebuilt when the base changes.
struct BaseDivider {
  uint64_t base = 0, magic = 0, oddInverse = 0;
  int shift = 0;
  void Prepare(uint64_t b) {
    if (b == base) return;
    base = b;
    magic = (uint64_t)(((unsigned __int128)1 << 64) / b) + 1;
    shift = __builtin_ctzll(b);
    oddInverse = inverseMod2_64(b >> shift);
  }
  uint64_t Quotient(uint64_t p) const { return (uint64_t)(((unsigned __int128)p * magic) >> 64); }
  uint64_t ExactQuotient(uint64_t m) const { return (m >> shift) * oddInverse; }
};
thread_local BaseDivider divider;

}  // namespace

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

void OtherBaseResidues(const int64_t* p, int count, int64_t maxTableP, int64_t* inv, int64_t* k) {
  const uint64_t b = kernel._base;
  divider.Prepare(b);
  alignas(64) int64_t live[POWER_BATCH], x[POWER_BATCH], r[POWER_BATCH];
  int at[POWER_BATCH], lanes = 0;
  for (int i = 0; i < count; ++i) {
    if (p[i] <= maxTableP) {
      const uint64_t q = (uint64_t)p[i];
      const uint64_t e = baseinverses[static_cast<size_t>(q - divider.Quotient(q) * b)];
      // e·r ≡ −1 (mod b) for r = p mod b, so b divides e·p + 1 and the quotient is b^(−1) mod p.
      inv[i] = e == 0 ? 0 : (int64_t)divider.ExactQuotient(e * q + 1);  // e = 0: p divides b
    } else {
      inv[i] = GetBaseInverse(p[i]);  // 0 when p divides b or is not prime
    }
    if (inv[i] == 0) continue;
    at[lanes] = i;
    live[lanes] = p[i];
    x[lanes++] = inv[i];
  }
  if (lanes > 0) findpowersBatch(live, x, r, lanes);
  for (int j = 0; j < lanes; ++j) k[at[j]] = r[j];
}

void ApplyOtherBase(const int64_t& p, int64_t inv, int64_t k, bool byTable) {
  // The removal rules' links divide by b through the context's inverse; it holds what the
  // one-prime step left there (the inversion's 0 included).
  if (inv != 0 || !byTable) kernel._baseinverse = inv;
  if (inv == 0) {  // p divides b (or, by inversion, is not prime): only b^0 = 1 leaves members p can divide
    if (kernel._nvalue == 0 && (byTable || job._base % p == 0)) RemoveWithBaseDivisor(p);
    return;
  }
  RemoveRoutine(p, k);
}

void OtherBaseApResidues(const int64_t* p, int count, int64_t* k) {
  const uint64_t b = kernel._base;
  alignas(64) int64_t x[POWER_BATCH] = {}, r[POWER_BATCH];
  for (int i = 0; i < count; ++i) x[i] = (int64_t)(b % (uint64_t)p[i]);
  findpowersBatch(p, x, r, count);
  const uint64_t c = (b & 1) ? 2 : 1;  // odd b: (2 − b^n)/2
  for (int i = 0; i < count; ++i) k[i] = (int64_t)halfDifferenceModP((uint64_t)r[i], c, (uint64_t)p[i]);
}

namespace {

void NotBase2Batch(const int64_t& p, int64_t maxTableP) {
  alignas(64) int64_t cells[POWER_BATCH], inv[POWER_BATCH], k[POWER_BATCH];
  const int count = DrawBatch(cells, POWER_BATCH, p);
  OtherBaseResidues(cells, count, maxTableP, inv, k);
  const bool onlyEnds = StrikesEndsOnly(RemoveRoutine);
  for (int i = 0; i < count; ++i)
    if (!onlyEnds || inv[i] == 0 || !EndsBeyond(cells[i], k[i], job.MaxNum))
      ApplyOtherBase(cells[i], inv[i], k[i], cells[i] <= maxTableP);
}

}  // namespace

void WorkProcNotBase2(const int64_t& p) {
  if (p > MaxpForWorkProcNotBase2) {
    workprocedure = WorkProcNotBase2_NoInverses;
    WorkProcNotBase2_NoInverses(p);
    return;
  }
  NotBase2Batch(p, MaxpForWorkProcNotBase2);
}

void WorkProcNotBase2_NoInverses(const int64_t& p) { NotBase2Batch(p, 0); }

void WorkProcNotBase2_AP(const int64_t& p) {
  alignas(64) int64_t cells[POWER_BATCH], k[POWER_BATCH];
  const int count = DrawBatch(cells, POWER_BATCH, p);
  OtherBaseApResidues(cells, count, k);
  for (int i = 0; i < count; ++i) RemoveRoutine(cells[i], k[i]);
}
