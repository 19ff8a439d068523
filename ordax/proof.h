// Primality of one member number: a cheap probable-prime filter, and a proof from the factored
// part of N − 1 or N + 1 where enough of it is known, else a probable-prime verdict.
#pragma once
#include <gmpxx.h>

#include <cstdint>
#include <vector>

#include "ordax/modulus.h"

enum class Primality { Composite, Probable, Proven, Cancelled };

// How a verdict was reached, for the tests and the README.
enum class ProofMethod { None, SmallNumber, Proth, Riesel, Pocklington, CubeRoot, Morrison, ProbablePrime };

struct Verdict {
  Primality result = Primality::Composite;
  ProofMethod method = ProofMethod::None;
};

// A strong probable-prime test to base 2 (one powering); false means N is composite.
// For N = k·2^n ± 1 it uses the special-form reduction.
bool PassesFilter(const mpz_class& n, const CancelFlag* cancel = nullptr);

// True when N has the shape k·2^n ± 1, k < 2^n, that Proth's and Riesel's tests prove
// at the cost of one filter: for such N the proof itself is the first test.
bool HasBinaryShape(const mpz_class& n);

// Proves N prime or composite when a theorem applies, with the primes in `known` (and small
// primes) as the factors of N − 1 and N + 1; every entry of `known` must be a proven prime.
// Falls back to a probable-prime test (a BPSW test and Miller–Rabin rounds) otherwise.
Verdict ProveOrTest(const mpz_class& n, const std::vector<mpz_class>& known, const CancelFlag* cancel = nullptr);

// The distinct prime factors of a 64-bit value, found by trial division; a cofactor above the
// trial bound is kept only when it is proven prime (the small-number test), so every entry is
// a proven prime and some factors may be missing.
std::vector<uint64_t> WordPrimeFactors(uint64_t v);

// The individual theorems, exposed for the tests. Each returns Probable when its condition does
// not hold or no suitable base was found.
Verdict ProveProth(const mpz_class& n, const CancelFlag* cancel = nullptr);
Verdict ProveRiesel(const mpz_class& n, const CancelFlag* cancel = nullptr);
Verdict ProveSmall(const mpz_class& n);
