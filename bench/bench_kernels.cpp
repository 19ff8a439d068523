// Modular arithmetic kernels: ns per modular multiplication and per exponent bit, and ns per
// prime of the batch finders 2^(−n) mod p beside a plain __int128 square-and-multiply.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "kernels/batch_finders.h"
#include "kernels/finders.h"
#include "kernels/kernel_context.h"
#include "kernels/modarith.h"
#include "kernels/montgomery.h"

namespace {

constexpr int POOL = 1200;  // primes per timed iteration (a multiple of 12 and of 16)

bool isPrime(uint64_t n) {  // deterministic Miller–Rabin for 64-bit n
  if (n < 2 || n % 2 == 0) return n == 2;
  uint64_t d = n - 1;
  int s = 0;
  while (d % 2 == 0) d /= 2, ++s;
  for (uint64_t a : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}) {
    if (a % n == 0) continue;
    uint64_t x = powModP(a % n, d, n);
    if (x == 1 || x == n - 1) continue;
    bool composite = true;
    for (int r = 1; r < s && composite; ++r) {
      x = mulModWide(x, x, n);
      if (x == n - 1) composite = false;
    }
    if (composite) return false;
  }
  return true;
}

const std::vector<int64_t>& primesNear(int bits) {
  static std::vector<int64_t> pools[64];
  auto& pool = pools[bits];
  if (pool.empty())
    for (uint64_t q = (uint64_t(1) << bits) + 1; pool.size() < POOL; q += 2)
      if (isPrime(q)) pool.push_back((int64_t)q);
  return pool;
}

// ns per prime (and per prime per exponent bit) from the primes handled per iteration.
void setCounters(benchmark::State& state, uint32_t n) {
  double primes = double(state.iterations()) * POOL;
  int bits = 32 - __builtin_clz(n);
  state.counters["ns/prime"] = benchmark::Counter(primes * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["ns/prime/bit"] =
      benchmark::Counter(primes * bits * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The yardstick: 2^(−n) = ((p+1)/2)^n mod p by right-to-left square-and-multiply with '%'.
uint64_t plainInversePowerOfTwo(uint64_t p, uint32_t n) {
  unsigned __int128 x = (p + 1) / 2, r = 1;
  for (; n; n >>= 1) {
    if (n & 1) r = r * x % p;
    x = x * x % p;
  }
  return (uint64_t)r;
}

void BM_PlainInt128Baseline(benchmark::State& state) {
  const auto& pool = primesNear((int)state.range(1));
  uint32_t n = (uint32_t)state.range(0);
  uint64_t sum = 0;
  for (auto _ : state) {
    for (int64_t p : pool) sum += plainInversePowerOfTwo(p, n);
    benchmark::DoNotOptimize(sum);
  }
  setCounters(state, n);
}

void runSix(benchmark::State& state, void (*finder)(), bool ifma) {
  const auto& pool = primesNear((int)state.range(1));
  kernel._nvalue = (int32_t)state.range(0);
  setIfmaAllowed(ifma);
  int64_t sum = 0;
  for (auto _ : state) {
    for (int b = 0; b < POOL; b += 6) {
      for (int i = 0; i < 6; ++i) _p64[i] = pool[b + i];
      finder();
      sum += _k64[0] + _k64[5];
    }
    benchmark::DoNotOptimize(sum);
  }
  setIfmaAllowed(true);
  setCounters(state, (uint32_t)kernel._nvalue);
}

void runTwelve(benchmark::State& state, bool ifma) {
  const auto& pool = primesNear((int)state.range(1));
  kernel._nvalue = (int32_t)state.range(0);
  setIfmaAllowed(ifma);
  int64_t sum = 0;
  for (auto _ : state) {
    for (int b = 0; b < POOL; b += 12) {
      for (int i = 0; i < 12; ++i) p0p11[i] = pool[b + i];
      findk0xM_SSE2();
      sum += k0k11[0] + k0k11[11];
    }
    benchmark::DoNotOptimize(sum);
  }
  setIfmaAllowed(true);
  setCounters(state, (uint32_t)kernel._nvalue);
}

void BM_Twelve_findk0xM(benchmark::State& state) { runTwelve(state, true); }
void BM_Twelve_portable(benchmark::State& state) { runTwelve(state, false); }
void BM_Six_find_k0(benchmark::State& state) { runSix(state, find_k0, true); }
void BM_Six_find_k0_portable(benchmark::State& state) { runSix(state, find_k0, false); }
void BM_Six_find_k0_nocmov_bigp(benchmark::State& state) { runSix(state, find_k0_nocmov_bigp, true); }

void BM_Single_halfpownmodp(benchmark::State& state) {
  const auto& pool = primesNear((int)state.range(1));
  uint32_t n = (uint32_t)state.range(0), mask = firstBitBelowLeading(n);
  int64_t sum = 0;
  for (auto _ : state) {
    for (int64_t p : pool) sum += halfpownmodp(n, mask, p);
    benchmark::DoNotOptimize(sum);
  }
  setCounters(state, n);
}

// Other bases: b^(−n) mod p for b = 10 from the inverse, one prime per call against the
// sixteen-prime batch (IFMA where allowed, and the portable chains).
std::vector<int64_t> inversesOfTen(const std::vector<int64_t>& pool) {
  std::vector<int64_t> inv;
  for (int64_t p : pool) inv.push_back((int64_t)powModP(10, (uint64_t)p - 2, (uint64_t)p));
  return inv;
}

void BM_OtherBase_findbotherbases(benchmark::State& state) {
  const auto& pool = primesNear((int)state.range(1));
  const auto inv = inversesOfTen(pool);
  kernel._nvalue = (int32_t)state.range(0);
  int64_t sum = 0;
  for (auto _ : state) {
    for (int i = 0; i < POOL; ++i) {
      kernel._baseinverse = inv[i];
      sum += findbotherbases(pool[i]);
    }
    benchmark::DoNotOptimize(sum);
  }
  setCounters(state, (uint32_t)kernel._nvalue);
}

void runPowersBatch(benchmark::State& state, bool ifma) {
  const auto& pool = primesNear((int)state.range(1));
  const auto inv = inversesOfTen(pool);
  kernel._nvalue = (int32_t)state.range(0);
  setIfmaAllowed(ifma);
  int64_t sum = 0, r[POWER_BATCH];
  for (auto _ : state) {
    for (int b = 0; b + POWER_BATCH <= POOL; b += POWER_BATCH) {
      findpowersBatch(&pool[b], &inv[b], r, POWER_BATCH);
      sum += r[0] + r[POWER_BATCH - 1];
    }
    benchmark::DoNotOptimize(sum);
  }
  setIfmaAllowed(true);
  setCounters(state, (uint32_t)kernel._nvalue);
}
void BM_OtherBase_batch(benchmark::State& state) { runPowersBatch(state, true); }
void BM_OtherBase_batch_portable(benchmark::State& state) { runPowersBatch(state, false); }

void otherBaseArgs(benchmark::internal::Benchmark* b) {
  for (int bits : {29, 40, 55})
    for (int n : {1000, 100000}) b->Args({n, bits});
}
BENCHMARK(BM_OtherBase_findbotherbases)->Apply(otherBaseArgs);
BENCHMARK(BM_OtherBase_batch)->Apply(otherBaseArgs);
BENCHMARK(BM_OtherBase_batch_portable)->Apply(otherBaseArgs);

// Exponents 1000 and 100000, primes just above 2^40 and 2^55.
void finderArgs(benchmark::internal::Benchmark* b) {
  for (int bits : {40, 55})
    for (int n : {1000, 100000}) b->Args({n, bits});
}
BENCHMARK(BM_PlainInt128Baseline)->Apply(finderArgs);
BENCHMARK(BM_Twelve_findk0xM)->Apply(finderArgs);
BENCHMARK(BM_Twelve_portable)->Apply(finderArgs);
BENCHMARK(BM_Six_find_k0)->Apply(finderArgs);
BENCHMARK(BM_Six_find_k0_portable)->Apply(finderArgs);
BENCHMARK(BM_Six_find_k0_nocmov_bigp)->Apply(finderArgs);
BENCHMARK(BM_Single_halfpownmodp)->Apply(finderArgs);

// ns per modular multiplication: a dependent chain (latency) of mulmodp2 and of Montgomery
// products, the two ways the kernels multiply.
constexpr int CHAIN = 1000;

void BM_Mulmodp2Chain(benchmark::State& state) {
  int64_t p = primesNear((int)state.range(0))[0], x = p / 3;
  for (auto _ : state) {
    for (int i = 0; i < CHAIN; ++i) x = mulmodp2(x, x, p);
    benchmark::DoNotOptimize(x);
  }
  state.counters["ns/mul"] = benchmark::Counter(double(state.iterations()) * CHAIN * 1e-9,
                                                benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_MontgomeryMulChain(benchmark::State& state) {
  MontgomeryModulus m((uint64_t)primesNear((int)state.range(0))[0]);
  uint64_t x = m.p / 3;
  for (auto _ : state) {
    for (int i = 0; i < CHAIN; ++i) x = m.square(x);
    benchmark::DoNotOptimize(x);
  }
  state.counters["ns/mul"] = benchmark::Counter(double(state.iterations()) * CHAIN * 1e-9,
                                                benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// ns per exponent bit of one powering (31-bit exponent, a multiply step on every bit).
void BM_PoweringPerBit(benchmark::State& state) {
  const auto& pool = primesNear((int)state.range(0));
  kernel._base = 3;
  int64_t sum = 0;
  for (auto _ : state) {
    for (int i = 0; i < 64; ++i) sum += fastkbasepownmodp(5, 0x7fffffff, pool[i]);
    benchmark::DoNotOptimize(sum);
  }
  kernel._base = 2;
  state.counters["ns/bit"] = benchmark::Counter(double(state.iterations()) * 64 * 31 * 1e-9,
                                                benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Mulmodp2Chain)->Arg(40)->Arg(55);
BENCHMARK(BM_MontgomeryMulChain)->Arg(40)->Arg(55);
BENCHMARK(BM_PoweringPerBit)->Arg(40)->Arg(55);

}  // namespace

BENCHMARK_MAIN();
