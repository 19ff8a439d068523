// End-to-end speed of a twin sieve k·b^1000±1 over 10^7 k continued from p = 10^12, as the
// loop drives it (prime source → work procedure → removal rule → clearing), beside each
// part alone: the prime source, the residue finder and the clearing, for base 2 and base 3.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "engine/sieve_job.h"
#include "fixedn/bitmap.h"
#include "fixedn/clear.h"
#include "fixedn/removal_rules.h"
#include "fixedn/sieve_slots.h"
#include "fixedn/work_procedures.h"
#include "kernels/batch_finders.h"
#include "kernels/finders.h"
#include "kernels/kernel_context.h"
#include "primes/primetable.h"
#include "primes/soe2.h"

namespace {

constexpr int64_t START_P = 1000000000000LL;
constexpr int64_t K_RANGE = 10000000;
constexpr uint32_t N = 1000;
constexpr int BLOCK = 120000;  // primes per timed iteration (a multiple of 12)

void NoVerify(int64_t, uint32_t, int64_t) {}
void NoReport(long, int64_t, int64_t) {}
void NoOutput(int64_t, const std::string&, bool) {}
long NoTime() { return 0; }
uint32_t NoCount() { return 0; }

// The job and its store: twins over base b, every candidate k of 1..10^7 set (at p = 10^12
// a class meets the range about once in 10^5 primes, so the density hardly matters).
void SetUpJob(uint32_t base) {
  static bool once = false;
  if (!once) {
    FillPrimetable();
    soe2_memory(0);
    initialise();
    removal = {NoVerify, NoReport, NoOutput, NoTime, NoCount};
    once = true;
  }
  job._base = base;
  job._mode = 0x03;
  job._nvalue = N;
  job.MinNum = 1;
  job.MaxNum = K_RANGE;
  job.maxp = int64_t{1} << 59;
  job.State = STATE_SIEVING;
  job.StopCriterion = STOP_NONE;
  job.fVerify = false;
  job.LogDeleted = false;
  SetDerivedFields();
  FillKernelContext(base, N, N);
  AllocateBitmap(static_cast<uint64_t>(K_RANGE));
  range = static_cast<uint32_t>(K_RANGE);
  job._nvalsleft = 0;
  for (int64_t k = 1; k <= K_RANGE; ++k)
    if (!job.fIncIsTwo || ((k ^ base) & 1)) SetBit(static_cast<uint32_t>(k - 1)), ++job._nvalsleft;
  RemoveRoutine = Remove_Twin;
  ClearRoutine = ClearBitmap;
  ResetWorkProcedures();
  if (base != 2) {
    FindBaseInverses();
    MaxpForWorkProcNotBase2 = INT64_MAX / base;
  }
}

std::vector<int64_t> Primes(int count) {
  std::vector<int64_t> out(count);
  soe2_init(START_P, false);
  for (int64_t& p : out) p = soe2_next();
  return out;
}

void EndToEnd(benchmark::State& state, uint32_t base, WorkProcedure procedure) {
  SetUpJob(base);
  workprocedure = procedure;
  soe2_init(START_P, false);
  for (auto _ : state) {
    // The loop hands over one prime at a time; batch procedures draw the rest themselves.
    for (int i = 0; i < BLOCK; ++i) workprocedure(soe2_next());
  }
  FlushWorkProcedures();
  // Every prime below the next one still to come has been sieved: count them afterwards.
  int64_t next = soe2_peek(), sieved = 0;
  soe2_init(START_P, false);
  while (soe2_next() < next) ++sieved;
  state.SetItemsProcessed(sieved);
}

void PrimeSource(benchmark::State& state) {
  FillPrimetable();
  soe2_memory(0);
  soe2_init(START_P, false);
  for (auto _ : state) {
    int64_t last = 0;
    for (int i = 0; i < BLOCK; ++i) last = soe2_next();
    benchmark::DoNotOptimize(last);
  }
  state.SetItemsProcessed(state.iterations() * BLOCK);
}

void Finder(benchmark::State& state, uint32_t base) {
  SetUpJob(base);
  std::vector<int64_t> primes = Primes(BLOCK);
  for (auto _ : state) {
    if (base == 2) {
      for (int i = 0; i < BLOCK; i += 12) {
        for (int j = 0; j < 12; ++j) p0p11[j] = primes[i + j];
        findk0xM_SSE2();
        benchmark::DoNotOptimize(k0k11[0]);
      }
    } else {  // the inverse table and the sixteen-prime powering, as the work procedure does
      int64_t inv[POWER_BATCH], k[POWER_BATCH];
      for (int i = 0; i < BLOCK; i += POWER_BATCH) {
        OtherBaseResidues(&primes[i], std::min(POWER_BATCH, BLOCK - i), MaxpForWorkProcNotBase2, inv, k);
        benchmark::DoNotOptimize(k[0]);
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * BLOCK);
}

void Clearing(benchmark::State& state, uint32_t base) {
  SetUpJob(base);
  std::vector<int64_t> primes = Primes(BLOCK);
  std::vector<int64_t> residues(BLOCK);
  for (int i = 0; i < BLOCK; i += 12) {
    for (int j = 0; j < 12; ++j) p0p11[j] = primes[i + j];
    findk0xM_SSE2();  // any residues serve: the clearing cost does not depend on them
    for (int j = 0; j < 12; ++j) residues[i + j] = k0k11[j];
  }
  for (auto _ : state) {
    for (int i = 0; i < BLOCK; ++i) RemoveRoutine(primes[i], residues[i]);
  }
  state.SetItemsProcessed(state.iterations() * BLOCK);
}

// The procedure the tables choose on a processor with SSE2, and the six-prime one with the
// twin rule inline that they choose without it.
void BM_TwinBase2_EndToEnd(benchmark::State& s) { EndToEnd(s, 2, WorkProcBase2_SSE2_Bigp); }
void BM_TwinBase2_EndToEnd_SixPrimeInline(benchmark::State& s) { EndToEnd(s, 2, WorkProcBase2_Twin_Bigp); }
void BM_TwinBase2_PrimeSource(benchmark::State& s) { PrimeSource(s); }
void BM_TwinBase2_Finder(benchmark::State& s) { Finder(s, 2); }
void BM_TwinBase2_Clearing(benchmark::State& s) { Clearing(s, 2); }
void BM_TwinBase3_EndToEnd(benchmark::State& s) { EndToEnd(s, 3, WorkProcNotBase2); }
void BM_TwinBase3_Finder(benchmark::State& s) { Finder(s, 3); }
void BM_TwinBase3_Clearing(benchmark::State& s) { Clearing(s, 3); }

BENCHMARK(BM_TwinBase2_EndToEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwinBase2_EndToEnd_SixPrimeInline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwinBase2_PrimeSource)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwinBase2_Finder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwinBase2_Clearing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwinBase3_EndToEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwinBase3_Finder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwinBase3_Clearing)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
