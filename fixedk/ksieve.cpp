// The baby-step giant-step work procedures of the fixed-k sieve loop: DoKSieve and
// DoKSieve_tiny for base 2, DoKSieveOtherBases for any other base. The table holds
// ∓k·b^(MinNum+j) for j < arange; the giant steps walk the target down by b^(−arange).
#include <cinttypes>
#include <cmath>
#include <ctime>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedk/bsgs_table.h"
#include "fixedk/fixed_multiplier.h"
#include "fixedk/kform.h"
#include "fixedk/ksieve.h"
#include "fixedk/kstrike.h"
#include "fixedn/bitmap.h"
#include "fixedn/sieve_slots.h"
#include "fixedn/work_procedures.h"
#include "kernels/finders.h"
#include "kernels/kernel_context.h"
#include "kernels/kronecker.h"
#include "kernels/modarith.h"

bool fFirstTime = true;

namespace {

// Set up on the first prime of a run and reused for every later prime.
struct BabyGiantRun {
  KForm form;
  int maxval = 0;               // width of the range
  int arange = 0;               // table length
  int brange = 0;               // number of giant steps
  uint32_t arangefirstbit = 0;  // the bit below the leading bit of arange
  int fKroneker = 0;            // multiplier of the quadratic-residue test; 0: two tests
  BsgsTable table;
};

BabyGiantRun base2Run, otherBaseRun;

// k mod 3 by the kind of k (a primorial k# is a multiple of 3).
int KModThree(const KForm& form) {
  if (form.primorial) return 0;
  if (form.product) {
    int r = 1;
    for (uint32_t i = 0; i < job.nMyPrimorial && i < MAX_MY_PRIMORIAL; ++i)
      r = r * static_cast<int>(job.MyPrimorial[i] % 3) % 3;
    return r < 0 ? r + 3 : r;
  }
  return static_cast<int>(form.k % 3);
}

void SetUpRun(BabyGiantRun& run) {
  run.form = CurrentKForm();
  run.maxval = static_cast<int>(job.MaxNum - job.MinNum + 1);
  run.arange = static_cast<int>(std::floor(std::sqrt(double(run.maxval)))) + 1;
  run.brange = run.maxval / run.arange + 1;
  const uint32_t a = static_cast<uint32_t>(run.arange);
  run.arangefirstbit = a <= 1 ? 0 : (uint32_t{1} << (31 - __builtin_clz(a))) >> 1;
  run.table.Reserve(a);
  // When 3 does not divide k, 3 has struck every n of one parity, so only one of ∓k and
  // ∓2k needs to be a square modulo p.
  const int m = KModThree(run.form);
  const int sign = run.form.plus ? -1 : 1;
  if (job._mode & MODE_ODD_N)
    run.fKroneker = 2 * sign;
  else
    run.fKroneker = run.form.plus ? -m : (3 - m) % 3;
  fFirstTime = false;
}

// True when no n can make p divide k·2^n ± 1: neither ∓k nor ∓2k is a square mod p.
bool NoSquareRoot(const BabyGiantRun& run, int64_t kvalue, int64_t p) {
  if (run.fKroneker != 0) return Kroneker(run.fKroneker * kvalue, p) != 1;
  const int64_t sign = run.form.plus ? -1 : 1;
  return Kroneker(2 * sign * kvalue, p) != 1 && Kroneker(sign * kvalue, p) != 1;
}

// The giant steps of one prime: table entries x0·s^j (j < arange, s applied by babyStep),
// targets y·h^(−i) for i < brange; each equal pair is the offset i·arange + j.
template <class BabyStep>
void Search(BabyGiantRun& run, int64_t p, uint64_t x0, BabyStep babyStep, uint64_t h, PrimeStrikes& s) {
  const uint64_t up = static_cast<uint64_t>(p);
  const uint32_t arange = static_cast<uint32_t>(run.arange);
  const uint32_t maxval = static_cast<uint32_t>(run.maxval);
  BabyGiantSearch(run.table, x0, arange, babyStep, static_cast<uint64_t>(TargetResidue(run.form, p)),
                  static_cast<uint32_t>(run.brange), FixedMultiplier(h, up),
                  [&](uint32_t j, uint32_t i) {
                    const uint64_t offset = uint64_t{i} * arange + j;
                    if (offset < maxval) StrikeOffset(run.form, static_cast<uint32_t>(offset), p, s);
                  });
}

void ReportSmallest(const PrimeStrikes& s) {
  if (s.any() && s.smallestN < job.maxtiny)
    fprint("firstremoved = %" PRId64 ", maxtiny = %d", s.smallestN, job.maxtiny);
}

template <bool Tiny>
void BaseTwoSieve(int64_t p) {
  BabyGiantRun& run = base2Run;
  if (fFirstTime) SetUpRun(run);
  const int64_t kvalue = KModP(run.form, p);
  if (kvalue == 0) return;
  if (!run.form.bnk && p > 3 && NoSquareRoot(run, kvalue, p)) return;
  const uint64_t up = static_cast<uint64_t>(p);
  uint64_t x = static_cast<uint64_t>(fastkbasepownmodp(kvalue, static_cast<uint32_t>(job.MinNum), p));
  if (!run.form.bnk && run.form.plus) x = up - x;
  const uint64_t h = static_cast<uint64_t>(
      halfpownmodp(static_cast<uint32_t>(run.arange), run.arangefirstbit, p));
  PrimeStrikes s;
  Search(run, p, x, [up](uint64_t v) { return DoubleMod(v, up); }, h, s);
  if (Tiny) ReportSmallest(s);
  FinishPrime(p, s, s.any() && ReportDue(static_cast<long>(std::time(nullptr))));
}

// b^(−1) mod p for p not dividing b, from the table of negated inverses modulo b, or by
// powering when the base has no table (0 when p fails the inverse's primality check).
int64_t InverseOfBase(int64_t p, uint32_t b) {
  if (baseinverses.size() != b) return GetBaseInverse(p);
  const uint32_t t = baseinverses[p % b];
  if (t == 0) return 0;
  return static_cast<int64_t>((static_cast<unsigned __int128>(t) * static_cast<uint64_t>(p) + 1) / b);
}

// p divides both b and k: every b^n ± k with n ≥ 1 is a multiple of p.
void StrikeSharedFactor(const BabyGiantRun& run, int64_t p) {
  PrimeStrikes s;
  const int64_t first = job.MinNum >= 1 ? 0 : 1 - job.MinNum;
  StrikeClass(run.form, static_cast<uint32_t>(first), 1, p, s);
  FinishPrime(p, s, s.any() && ReportDue(static_cast<long>(std::time(nullptr))));
}

}  // namespace

void DoKSieve(const int64_t& p) { BaseTwoSieve<false>(p); }
void DoKSieve_tiny(const int64_t& p) { BaseTwoSieve<true>(p); }

void DoKSieveOtherBases(const int64_t& pr) {
  const int64_t p = pr;
  BabyGiantRun& run = otherBaseRun;
  if (fFirstTime) SetUpRun(run);
  const uint32_t b = run.form.base;
  if (b < 2) return;  // no powers to search
  if (b % p == 0) {
    if (run.form.bnk && run.form.k % p == 0) StrikeSharedFactor(run, p);
    return;
  }
  const int64_t binv = InverseOfBase(p, b);
  if (binv == 0) return;  // p failed the inverse's primality check
  const int64_t k = run.form.bnk ? 1 : run.form.k % p;
  if (k == 0) return;
  const uint64_t up = static_cast<uint64_t>(p);
  uint64_t x = static_cast<uint64_t>(fastkbasepownmodp(k, static_cast<uint32_t>(job.MinNum), p));
  if (!run.form.bnk && run.form.plus) x = up - x;
  // h = (b^(−1))^arange by right-to-left powering.
  int64_t h = 1, base = binv;
  for (uint32_t e = static_cast<uint32_t>(run.arange); e != 0; e >>= 1) {
    if (e & 1) h = mulmodp2(h, base, p);
    if (e > 1) base = mulmodp2(base, base, p);
  }
  PrimeStrikes s;
  Search(run, p, x, FixedMultiplier(b % up, up), static_cast<uint64_t>(h), s);
  FinishPrime(p, s, s.any() && ReportDue(static_cast<long>(std::time(nullptr))));
}
