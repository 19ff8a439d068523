// The fixed-k form of the running job: k mod p by the kind of k, the giant walk's target,
// and the exact value of a small candidate.
#include "fixedk/kform.h"

#include "engine/sieve_job.h"
#include "kernels/kernel_context.h"
#include "kernels/modarith.h"
#include "kernels/primorial.h"
#include "primes/primetable.h"

namespace {

unsigned __int128 SaturatingMul(unsigned __int128 a, uint64_t b) {
  if (a == 0 || b == 0) return 0;
  if (a >= kSaturated || b >= kSaturated / a) return kSaturated;
  return a * b;
}

}  // namespace

KForm CurrentKForm() {
  KForm f;
  f.bnk = (job._mode & MODE_BN_K) != 0;
  f.plus = (job._mode & MODE_PLUS) != 0;
  f.base = kernel._base;
  f.k = job._nvalue;
  f.product = !f.bnk && job.fMyPrimorial;
  f.primorial = !f.bnk && !f.product && (job._mode & MODE_PRIMORIAL) != 0;
  if (f.product) {
    f.kExact = 1;
    for (uint32_t i = 0; i < job.nMyPrimorial && i < MAX_MY_PRIMORIAL; ++i)
      f.kExact = SaturatingMul(f.kExact, job.MyPrimorial[i] < 0 ? 0 : uint64_t(job.MyPrimorial[i]));
  } else if (f.primorial) {
    f.kExact = 2;
    for (int i = 0; primetable[i] <= uint32_t(f.k) && primetable[i] != PRIMETABLE_SENTINEL; ++i)
      f.kExact = SaturatingMul(f.kExact, primetable[i]);
  } else {
    f.kExact = f.k < 0 ? 0 : uint64_t(f.k);
  }
  return f;
}

int64_t KModP(const KForm& form, int64_t p) {
  if (form.bnk) return 1;
  if (form.product) {
    int64_t r = 1 % p;
    for (uint32_t i = 0; i < _nPackPrimorial; ++i) r = mulmodp2(r, _PackPrimorial[i] % p, p);
    return r;
  }
  if (form.primorial) return GetPrimorialModP(p);
  const int64_t r = form.k % p;
  return r < 0 ? r + p : r;
}

int64_t TargetResidue(const KForm& form, int64_t p) {
  if (!form.bnk) return 1;
  int64_t r = form.k % p;
  if (r < 0) r += p;
  return form.plus ? (r == 0 ? 0 : p - r) : r;
}

unsigned __int128 CandidateMagnitude(const KForm& form, int64_t n) {
  unsigned __int128 v = form.bnk ? 1 : form.kExact;
  if (form.base < 2) {
    if (n > 0) v = SaturatingMul(v, form.base);  // b^n is b itself for b = 0 or 1
  } else {
    for (int64_t i = 0; i < n && v < kSaturated; ++i) v = SaturatingMul(v, form.base);
  }
  if (v >= kSaturated) return kSaturated;
  if (form.bnk) {
    const unsigned __int128 k = form.k < 0 ? 0 : uint64_t(form.k);
    if (form.plus) return v + k;
    return v >= k ? v - k : k - v;
  }
  if (form.plus) return v + 1;
  return v == 0 ? 1 : v - 1;
}
