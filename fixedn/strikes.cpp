// The pure per-prime work: the same finders and removal rules as the work procedures, with the
// rule's ClearRoutine calls recorded instead of applied.
#include "fixedn/strikes.h"

#include "engine/sieve_job.h"
#include "fixedn/removal_rules.h"
#include "fixedn/work_procedures.h"
#include "kernels/batch_finders.h"
#include "kernels/finders.h"
#include "kernels/modarith.h"
#include "kernels/primorial.h"

namespace {

constexpr int64_t PAIR_LIMIT = int64_t{1} << 32;  // the two-prime kernels serve p up to this
constexpr int WIDE = 12;                          // primes per call of the wide base-2 finder

thread_local std::vector<Strike>* sink = nullptr;
thread_local uint32_t currentIndex = 0;
thread_local uint32_t currentSlot = 0;

void Record(int64_t k, int64_t) { sink->push_back({k, currentIndex, currentSlot++}); }

// Points this thread's slots at the recorder and its kernel context at the run's, and puts
// them back afterwards (the thread may be the one that also applies the classes).
class RecordingScope {
 public:
  RecordingScope(const StrikeContext& ctx, std::vector<Strike>& out)
      : kernel_(kernel), clear_(ClearRoutine), sink_(sink) {
    kernel = ctx.kernel;
    ClearRoutine = Record;
    sink = &out;
  }
  ~RecordingScope() {
    kernel = kernel_;
    ClearRoutine = clear_;
    sink = sink_;
  }

 private:
  KernelContext kernel_;
  ClearProcedure clear_;
  std::vector<Strike>* sink_;
};

class Batch {
 public:
  Batch(const StrikeContext& ctx, std::vector<Strike>& out) : ctx_(ctx), out_(out) {}

  // The prime at index i has residue k0: record its classes.
  void Apply(uint32_t i, int64_t p, int64_t k0) {
    if (ctx_.twin) {
      if (k0 <= job.MaxNum) out_.push_back({k0, i, 0});
      if (p - k0 <= job.MaxNum) out_.push_back({p - k0, i, 1});
      return;
    }
    currentIndex = i;
    currentSlot = 0;
    ctx_.rule(p, k0);
  }

 private:
  const StrikeContext& ctx_;
  std::vector<Strike>& out_;
};

// Primes up to 2^32 two at a time through a pair kernel; returns where the larger ones start.
template <class Kernel, class Step>
uint32_t Pairs(const int64_t* primes, uint32_t count, Kernel kernelPair, Step step) {
  uint32_t i = 0;
  for (; i < count && primes[i] <= PAIR_LIMIT; i += 2) {
    const bool two = i + 1 < count && primes[i + 1] <= PAIR_LIMIT;
    int64_t r1, r2;
    kernelPair(primes[i], two ? primes[i + 1] : primes[i], r1, r2);
    step(i, primes[i], r1);
    if (!two) return i + 1;
    step(i + 1, primes[i + 1], r2);
  }
  return i;
}

void Base2(const StrikeContext& ctx, const int64_t* primes, uint32_t count, Batch& batch) {
  auto step = [&](uint32_t i, int64_t p, int64_t k0) { batch.Apply(i, p, k0); };
  uint32_t i = Pairs(primes, count, pair_findbbase2, step);
  alignas(64) int64_t p[WIDE], k[WIDE];
  const bool onlyEnds = StrikesEndsOnly(ctx.rule);
  const int64_t maxNum = job.MaxNum;
  for (; i < count; i += WIDE) {
    const uint32_t n = count - i < WIDE ? count - i : WIDE;
    for (uint32_t j = 0; j < WIDE; ++j) p[j] = primes[i + (j < n ? j : n - 1)];
    findk0xM(p, k);
    for (uint32_t j = 0; j < n; ++j) {
      if (onlyEnds && EndsBeyond(p[j], k[j], maxNum)) continue;
      batch.Apply(i + j, p[j], k[j]);
    }
  }
}

void Base2AP(const int64_t* primes, uint32_t count, Batch& batch) {
  auto step = [&](uint32_t i, int64_t p, int64_t k0) { batch.Apply(i, p, k0); };
  for (uint32_t i = Pairs(primes, count, pair_find2pownmodp, step); i < count; ++i)
    batch.Apply(i, primes[i], find2pownmodp(primes[i]));
}

void OtherBase(const StrikeContext& ctx, const int64_t* primes, uint32_t count) {
  const int64_t maxTableP = ctx.useInverseTable ? ctx.maxTableP : 0;
  const bool onlyEnds = StrikesEndsOnly(ctx.rule);
  const int64_t maxNum = job.MaxNum;
  alignas(64) int64_t inv[POWER_BATCH], k[POWER_BATCH];
  for (uint32_t i = 0; i < count; i += POWER_BATCH) {
    const int n = count - i < POWER_BATCH ? count - i : POWER_BATCH;
    OtherBaseResidues(primes + i, n, maxTableP, inv, k);
    for (int j = 0; j < n; ++j) {
      if (onlyEnds && inv[j] != 0 && EndsBeyond(primes[i + j], k[j], maxNum)) continue;
      currentIndex = i + j;
      currentSlot = 0;
      ApplyOtherBase(primes[i + j], inv[j], k[j], primes[i + j] <= maxTableP);
    }
  }
}

void OtherBaseAP(const int64_t* primes, uint32_t count, Batch& batch) {
  alignas(64) int64_t k[POWER_BATCH];
  for (uint32_t i = 0; i < count; i += POWER_BATCH) {
    const int n = count - i < POWER_BATCH ? count - i : POWER_BATCH;
    OtherBaseApResidues(primes + i, n, k);
    for (int j = 0; j < n; ++j) batch.Apply(i + j, primes[i + j], k[j]);
  }
}

template <bool Progression>
void Primorial(const int64_t* primes, uint32_t count, Batch& batch) {
  alignas(64) int64_t k[PRIMORIAL_BATCH];
  for (uint32_t i = 0; i < count; i += PRIMORIAL_BATCH) {
    const int n = count - i < PRIMORIAL_BATCH ? count - i : PRIMORIAL_BATCH;
    PrimorialResidues(primes + i, n, Progression, k);
    for (int j = 0; j < n; ++j)
      if (k[j] != 0) batch.Apply(i + j, primes[i + j], k[j]);
  }
}

}  // namespace

bool PrepareStrikes(StrikeContext& ctx) {
  const uint32_t mode = job._mode;
  if ((mode & MODE_N_VARIES) || RemoveRoutine == nullptr) return false;
  ctx = StrikeContext{};
  ctx.kernel = kernel;
  ctx.rule = RemoveRoutine;
  const bool progression = mode & MODE_AP;
  if (mode & MODE_PRIMORIAL) {
    ctx.finder = progression ? StrikeFinder::PrimorialAP : StrikeFinder::Primorial;
  } else if (job._base != 2) {
    ctx.finder = progression ? StrikeFinder::OtherBaseAP : StrikeFinder::OtherBase;
    ctx.useInverseTable = !progression && workprocedure == WorkProcNotBase2;
    ctx.maxTableP = MaxpForWorkProcNotBase2;
  } else {
    ctx.finder = progression ? StrikeFinder::Base2AP : StrikeFinder::Base2;
    ctx.twin = RemoveRoutine == Remove_Twin;
  }
  return true;
}

void FindStrikes(const StrikeContext& ctx, const int64_t* primes, uint32_t count, std::vector<Strike>& out) {
  if (count == 0) return;
  RecordingScope scope(ctx, out);
  Batch batch(ctx, out);
  switch (ctx.finder) {
    case StrikeFinder::Base2: Base2(ctx, primes, count, batch); break;
    case StrikeFinder::Base2AP: Base2AP(primes, count, batch); break;
    case StrikeFinder::OtherBase: OtherBase(ctx, primes, count); break;
    case StrikeFinder::OtherBaseAP: OtherBaseAP(primes, count, batch); break;
    case StrikeFinder::Primorial: Primorial<false>(primes, count, batch); break;
    case StrikeFinder::PrimorialAP: Primorial<true>(primes, count, batch); break;
  }
}
