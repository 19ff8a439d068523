// Clearing throughput: fastclear and fastclear2 on a 400000000-bit bitmap for small p (bits
// visited per second) beside a plain GetBit/ClearBit loop, and the array (binary search and
// scan) and hash stores (class members visited per second).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedn/array_store.h"
#include "fixedn/bitmap.h"
#include "fixedn/candidate_set.h"
#include "fixedn/clear.h"
#include "fixedn/hash_store.h"
#include "fixedn/sieve_slots.h"

namespace {

constexpr uint32_t BITS = 400000000;

void NoVerify(int64_t, uint32_t, int64_t) {}
void NoReport(long, int64_t, int64_t) {}
void NoOutput(int64_t, const std::string&, bool) {}
long NoTime() { return 0; }
uint32_t NoCount() { return 0; }

void quietServices() {
  removal = {NoVerify, NoReport, NoOutput, NoTime, NoCount};
  job.State = STATE_PREPARING;  // an emptied set only raises a flag
  job.StopCriterion = STOP_NONE;
}

// A 400000000-bit bitmap in which a share of the bits (the benchmark's second argument, in
// percent) is set at random, as after sieving a while; restored before every timed pass.
std::vector<uint32_t> pattern;
int patternDensity = -1;

void restoreBitmap(int density) {
  if (patternDensity != density) {
    std::mt19937 rng(5);
    pattern.assign(BITS / 32 + 2, 0);
    for (uint32_t w = 0; w < BITS / 32; ++w)
      for (int b = 0; b < 32; ++b)
        if (static_cast<int>(rng() % 100) < density) pattern[w] |= 1u << b;
    patternDensity = density;
    initialise();
    range = BITS;
    AllocateBitmap(BITS);
  }
  std::copy(pattern.begin(), pattern.end(), _bitmap);
  job._nvalsleft = BITS;
  quietServices();
}

// Runs body once per iteration on a freshly restored bitmap; the restore is not timed.
template <class Body>
void onBitmap(benchmark::State& state, Body body) {
  for (auto _ : state) {
    state.PauseTiming();
    restoreBitmap(static_cast<int>(state.range(1)));
    state.ResumeTiming();
    body();
  }
}

void BM_fastclear(benchmark::State& state) {
  const uint32_t step = static_cast<uint32_t>(state.range(0));
  onBitmap(state, [&] { fastclear(1, step); });
  state.counters["bits_per_s"] = benchmark::Counter(static_cast<double>(BITS / step) * state.iterations(),
                                                    benchmark::Counter::kIsRate);
}

// The reference: the same walk one bit at a time through GetBit/ClearBit.
void BM_PlainBitLoop(benchmark::State& state) {
  const uint32_t step = static_cast<uint32_t>(state.range(0));
  onBitmap(state, [&] {
    uint32_t left = job._nvalsleft;
    for (uint64_t i = 1; i < BITS; i += step)
      if (GetBit(static_cast<uint32_t>(i))) {
        ClearBit(static_cast<uint32_t>(i));
        --left;
      }
    job._nvalsleft = left;
    benchmark::DoNotOptimize(_bitmap[0]);
  });
  state.counters["bits_per_s"] = benchmark::Counter(static_cast<double>(BITS / step) * state.iterations(),
                                                    benchmark::Counter::kIsRate);
}

// Four classes of one prime merged into one sweep (a BiTwin's k0, p-k0, k1, p-k1), step 2p.
void BM_fastclear2(benchmark::State& state) {
  const uint32_t p = static_cast<uint32_t>(state.range(0));
  std::vector<uint32_t> nums = {1, p / 3 | 1, p | 1, (p + p / 2) | 1};
  onBitmap(state, [&] { fastclear2(nums.data(), static_cast<uint32_t>(nums.size()), 2 * p); });
  state.counters["bits_per_s"] = benchmark::Counter(
      static_cast<double>(BITS / (2 * p)) * nums.size() * state.iterations(), benchmark::Counter::kIsRate);
}

// The same four classes walked one after the other.
void BM_fastclear_x4(benchmark::State& state) {
  const uint32_t p = static_cast<uint32_t>(state.range(0));
  std::vector<uint32_t> nums = {1, p / 3 | 1, p | 1, (p + p / 2) | 1};
  onBitmap(state, [&] {
    for (uint32_t n : nums) fastclear(n, 2 * p);
  });
  state.counters["bits_per_s"] = benchmark::Counter(
      static_cast<double>(BITS / (2 * p)) * nums.size() * state.iterations(), benchmark::Counter::kIsRate);
}

// 10^6 values spread over 10^12 (every k of the range is a member candidate of a class);
// classes of primes near 10^6 visit about 10^6 members each.
constexpr uint32_t SPARSE_COUNT = 1000000;
constexpr int64_t SPARSE_SPAN = 1000000000000LL;

std::vector<int64_t> sparseValues() {
  std::mt19937_64 rng(11);
  std::vector<int64_t> v(SPARSE_COUNT);
  for (auto& x : v) x = 1 + static_cast<int64_t>(rng() % SPARSE_SPAN);
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

void setUpSparse(bool hash) {
  static std::string sink;
  setPrintCapture(&sink);
  std::vector<int64_t> v = sparseValues();
  FreeCandidateSet();
  job = SieveJob{};
  job._base = 10;
  job.MinNum = v.front();
  job.MaxNum = v.back();
  job.nvals = job._nvalsleft = static_cast<uint32_t>(v.size());
  job.fUseHash = hash;
  if (hash) {
    CanCreateHash(static_cast<int>(v.size()), 400000000 / 8);
    CreateHash(static_cast<int>(v.size()));
    for (int64_t x : v) AddToHash(x);
  } else {
    AllocateArray(static_cast<uint32_t>(v.size()));
    std::copy(v.begin(), v.end(), vals);
  }
  quietServices();
  sink.clear();
}

void runClasses(benchmark::State& state, ClearProcedure routine, int64_t p) {
  int64_t k = 1;
  for (auto _ : state) {
    routine(k, p);
    k = (k + 7919) % p;
  }
  state.counters["members_per_s"] =
      benchmark::Counter(static_cast<double>(SPARSE_SPAN / p) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_ClearArray(benchmark::State& state) {
  setUpSparse(false);
  runClasses(state, ClearArray, state.range(0));
}

void BM_ClearHash(benchmark::State& state) {
  setUpSparse(true);
  runClasses(state, ClearHash, state.range(0));
}

// The scan visits every stored value once per class, whatever p.
void BM_ClearSparseArray(benchmark::State& state) {
  setUpSparse(false);
  int64_t k = 1;
  const int64_t p = state.range(0);
  for (auto _ : state) {
    ClearSparseArray(k, p);
    k = (k + 7919) % p;
  }
  state.counters["values_scanned_per_s"] =
      benchmark::Counter(static_cast<double>(job.nvals) * state.iterations(), benchmark::Counter::kIsRate);
}

}  // namespace

// Arguments: the step (or p), and the share of bits still set in percent.
BENCHMARK(BM_fastclear)->ArgsProduct({{3, 7, 101, 10007}, {10, 50}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainBitLoop)->ArgsProduct({{3, 101}, {10, 50}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fastclear2)->ArgsProduct({{11, 101, 10007}, {10, 50}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fastclear_x4)->ArgsProduct({{11, 101, 10007}, {10, 50}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearArray)->Arg(1000003)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearHash)->Arg(1000003)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearSparseArray)->Arg(1000003)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
