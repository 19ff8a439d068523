// The fixed-k sieves per prime near 10^9: the square-root law (a range four times as wide
// costs about twice as much per prime) for Base2KSieve, DoKSieve and DoKSieveOtherBases,
// and the quadratic-residue skip of Base2KSieve against the same sieve without it.
#include <benchmark/benchmark.h>

#include <ctime>
#include <string>
#include <vector>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedk/base2_ksieve.h"
#include "fixedk/ksieve.h"
#include "fixedn/bitmap.h"
#include "fixedn/sieve_slots.h"
#include "fixedn/work_procedures.h"
#include "kernels/kernel_context.h"
#include "primes/primetable.h"
#include "primes/soe2.h"

namespace {

constexpr int64_t kFrom = 1000000000;     // the primes sieved start here
constexpr int64_t kSpan = 4000000;        // and cover this much (about 190000 primes)
constexpr int64_t kNarrow = 100000;       // n values of the narrow range
constexpr int64_t kMinNum = 100000;

void StubVerify(int64_t, uint32_t, int64_t) {}
void StubReport(long, int64_t, int64_t) {}
void StubSave(int64_t, const std::string&, bool) {}
long StubSampleTime() { return 0; }
uint32_t StubSampleCount() { return 0; }

std::string console;  // the sieves' messages go here, not to the terminal

void Once() {
  static const bool done = [] {
    FillPrimetable();
    initialise();
    soe2_memory(0);
    soe2_init(kFrom, true);  // builds the additional sieving primes once, outside the timing
    removal.Verify = StubVerify;
    removal.ClearReport = StubReport;
    removal.outputandtidyvals = StubSave;
    removal.LatestSampleTime = StubSampleTime;
    removal.LatestSampleCount = StubSampleCount;
    setPrintCapture(&console);
    return true;
  }();
  (void)done;
}

// A fresh job of width values: every n a candidate, then the primes up to 701 applied by
// the first call of the base-2 sieve, as a real run starts (for base 2 this leaves one
// parity of n, so the search steps by 2 as it does in practice).
void SetUpJob(uint32_t mode, uint32_t base, int32_t k, int64_t width) {
  Once();
  job = SieveJob{};
  job._mode = mode;
  job._base = base;
  job._nvalue = k;
  job.MinNum = kMinNum;
  job.MaxNum = kMinNum + width - 1;
  SetDerivedFields();
  job.State = STATE_SIEVING;
  FillKernelContext(base, k, static_cast<uint32_t>(job.MaxNum));
  if (base != 2) FindBaseInverses();
  AllocateBitmap(static_cast<uint64_t>(width));
  range = static_cast<uint32_t>(width);
  for (uint32_t i = 0; i < range; ++i) SetBit(i);
  job._nvalsleft = range;
  if (base == 2 && (mode & MODE_BN_K) == 0) {
    job.firstp = 1;
    job.maxp = 1000;
    Base2KSieve(false);
  }
  fFirstTime = true;
}

const std::vector<int64_t>& Primes() {
  static const std::vector<int64_t> primes = [] {
    Once();
    std::vector<int64_t> out;
    soe2_init(kFrom, false);
    for (int64_t p = soe2_next(); p < kFrom + kSpan; p = soe2_next()) out.push_back(p);
    return out;
  }();
  return primes;
}

// CPU time of this thread: the machine is shared, wall-clock time would count the others.
double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Base2KSieve over the primes of [kFrom, kFrom + kSpan); CPU seconds taken.
double TimeBase2KSieve(int32_t k, int64_t width) {
  SetUpJob(0x0101, 2, k, width);
  job.firstp = kFrom;
  job.maxp = kFrom + kSpan;
  const double start = CpuSeconds();
  Base2KSieve(false);
  return CpuSeconds() - start;
}

// A work procedure called for each prime of the window; CPU seconds taken.
double TimeProcedure(void (*procedure)(const int64_t&), uint32_t mode, uint32_t base, int32_t k,
                     int64_t width) {
  SetUpJob(mode, base, k, width);
  const std::vector<int64_t>& primes = Primes();
  const double start = CpuSeconds();
  for (int64_t p : primes) procedure(p);
  return CpuSeconds() - start;
}

void Report(benchmark::State& state, double narrow, double wide) {
  const double primes = static_cast<double>(Primes().size());
  state.counters["ns_per_prime_1x"] = narrow / primes * 1e9;
  state.counters["ns_per_prime_4x"] = wide / primes * 1e9;
  state.counters["ratio_4x_to_1x"] = wide / narrow;
}

// k = 5 (k mod 3 = 2): one residue test, about half of the primes skipped.
void BM_Base2KSieve_SqrtLaw(benchmark::State& state) {
  double narrow = 0, wide = 0;
  for (auto _ : state) {
    narrow = TimeBase2KSieve(5, kNarrow);
    wide = TimeBase2KSieve(5, 4 * kNarrow);
  }
  Report(state, narrow, wide);
}
BENCHMARK(BM_Base2KSieve_SqrtLaw)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_DoKSieve_SqrtLaw(benchmark::State& state) {
  double narrow = 0, wide = 0;
  for (auto _ : state) {
    narrow = TimeProcedure(DoKSieve, 0x0101, 2, 5, kNarrow);
    wide = TimeProcedure(DoKSieve, 0x0101, 2, 5, 4 * kNarrow);
  }
  Report(state, narrow, wide);
}
BENCHMARK(BM_DoKSieve_SqrtLaw)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_DoKSieveOtherBases_SqrtLaw(benchmark::State& state) {
  double narrow = 0, wide = 0;
  for (auto _ : state) {
    narrow = TimeProcedure(DoKSieveOtherBases, 0x0101, 3, 2, kNarrow);
    wide = TimeProcedure(DoKSieveOtherBases, 0x0101, 3, 2, 4 * kNarrow);
  }
  Report(state, narrow, wide);
}
BENCHMARK(BM_DoKSieveOtherBases_SqrtLaw)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same sieve with the quadratic-residue skip on and off.
void BM_Base2KSieve_ResidueSkip(benchmark::State& state) {
  double with = 0, without = 0;
  for (auto _ : state) {
    with = TimeBase2KSieve(5, kNarrow);
    fBase2KSieveResidueSkip = false;
    without = TimeBase2KSieve(5, kNarrow);
    fBase2KSieveResidueSkip = true;
  }
  state.counters["ms_with_skip"] = with * 1e3;
  state.counters["ms_without_skip"] = without * 1e3;
  state.counters["ratio_with_to_without"] = with / without;
}
BENCHMARK(BM_Base2KSieve_ResidueSkip)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
