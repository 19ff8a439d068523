// The tester's inner step, one squaring modulo N = k·2^n + 1 for n = 1000, 10000 and 100000:
// GMP's mpz_powm (per exponent bit), mpz_mul with mpz_tdiv_r, and mpz_mul with the special-form
// reduction (shift, divide by the word k, subtract). Counter ns_per_squaring (processor time;
// the library prints it with an "s" unit and SI prefix: "5.44ks" is 5440 ns); compare the rows
// of one run.
#include <benchmark/benchmark.h>
#include <gmpxx.h>

#include "ordax/modulus.h"

namespace {

constexpr unsigned long kK = 1095;

mpz_class Number(long n) {
  mpz_class x = mpz_class(kK) << static_cast<mp_bitcnt_t>(n);
  return x + 1;
}

mpz_class Start(const mpz_class& n) {
  gmp_randclass random(gmp_randinit_default);
  random.seed(7);
  return random.get_z_range(n);
}

// Squarings per iteration, so that an iteration lasts a few milliseconds at every size.
long Steps(long n) { return n >= 100000 ? 16 : n >= 10000 ? 256 : 4096; }
// mpz_powm builds a table of odd powers first: a longer exponent keeps that out of the figure.
long PowmBits(long n) { return 8 * Steps(n); }

void BM_Powm(benchmark::State& state) {
  const long n = state.range(0);
  const mpz_class modulus = Number(n), base = Start(modulus);
  gmp_randclass random(gmp_randinit_default);
  random.seed(11);
  const mpz_class e = random.get_z_bits(static_cast<mp_bitcnt_t>(PowmBits(n))) | (mpz_class(1) << (PowmBits(n) - 1));
  mpz_class r;
  for (auto _ : state) {
    mpz_powm(r.get_mpz_t(), base.get_mpz_t(), e.get_mpz_t(), modulus.get_mpz_t());
    benchmark::DoNotOptimize(r.get_mpz_t());
  }
  state.counters["ns_per_squaring"] =
      benchmark::Counter(static_cast<double>(PowmBits(n)) * static_cast<double>(state.iterations()) * 1e-9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <bool special>
void BM_Square(benchmark::State& state) {
  const long n = state.range(0);
  const mpz_class modulus = Number(n);
  const Modulus mod(modulus, special);
  if (mod.special() != special) state.SkipWithError("unexpected reduction");
  mpz_class x = Start(modulus);
  const long steps = Steps(n);
  for (auto _ : state) {
    for (long i = 0; i < steps; ++i) mod.SqrMod(x);
    benchmark::DoNotOptimize(x.get_mpz_t());
  }
  state.counters["ns_per_squaring"] =
      benchmark::Counter(static_cast<double>(steps) * static_cast<double>(state.iterations()) * 1e-9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_Powm)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Square<false>)->Name("BM_MulTdivR")->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Square<true>)->Name("BM_MulSpecialForm")->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
