// Primes per second delivered by the prime source near 10^9 and 10^12, with the primesieve
// library's iterator measured in the same run as the yardstick when it is installed.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "primes/soe2.h"

#ifdef HAVE_PRIMESIEVE
#include <primesieve.hpp>
#endif

namespace {

constexpr int64_t NEAR_1E9 = 1000000000;
constexpr int64_t NEAR_1E12 = 1000000000000;
constexpr int BATCH = 1 << 20;  // numbers taken per timed iteration

void deliver(benchmark::State& state, bool useAdditional) {
  soe2_init(state.range(0), useAdditional);
  int64_t sum = 0;
  for (auto _ : state) {
    for (int i = 0; i < BATCH; ++i) sum += soe2_next();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * BATCH);
}

// The sieve loop's source: free of factors up to 109873 (composites above MAXGUAR).
void BM_Soe2(benchmark::State& state) { deliver(state, false); }
// The fixed-k source: with the additional sieving primes, true primes up to about 2.4e14.
void BM_Soe2Additional(benchmark::State& state) { deliver(state, true); }
BENCHMARK(BM_Soe2)->Arg(NEAR_1E9)->Arg(NEAR_1E12);
BENCHMARK(BM_Soe2Additional)->Arg(NEAR_1E9)->Arg(NEAR_1E12);

#ifdef HAVE_PRIMESIEVE
void BM_PrimesieveIterator(benchmark::State& state) {
  primesieve::iterator it(uint64_t(state.range(0)));
  uint64_t sum = 0;
  for (auto _ : state) {
    for (int i = 0; i < BATCH; ++i) sum += it.next_prime();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * BATCH);
}
BENCHMARK(BM_PrimesieveIterator)->Arg(NEAR_1E9)->Arg(NEAR_1E12);
#endif

}  // namespace

BENCHMARK_MAIN();
