// A fixed-k job set up in-process (job record, kernel context, bitmap of every candidate,
// stub engine services) and compared with the GMP oracle after sieving.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/oracle.h"

struct FixedKCase {
  uint32_t mode = 0x0101;
  uint32_t base = 2;
  int32_t k = 3;  // the fixed k, or the primorial index for k#
  int64_t nmin = 1;
  int64_t nmax = 100;
  std::vector<int64_t> factors;  // k as a product of factors (then k is 1)
};

// Fills the job, the kernel context, the primorial tables, the base inverses and a bitmap
// holding every candidate of the range; the engine services become stubs whose Verify
// checks divisibility with the oracle.
void SetUpFixedKJob(const FixedKCase& c);

// Moves the candidates from the bitmap into the hash store (hash) or the array store, as a
// range too wide for the bitmap holds them.
void UseSparseStore(bool hash);

// Whether n is still a candidate, whichever store holds it.
bool IsCandidateNow(int64_t n);

// The n still candidates, ascending.
std::vector<int64_t> SurvivingN();

// "" when the survivors are exactly those the oracle keeps after the given primes (the
// candidate-equal-to-p exception included), else what is wrong.
std::string CompareWithOracle(const FixedKCase& c, const std::vector<uint64_t>& primes);

// Calls the work procedure once for each prime, in order.
void SieveWith(void (*procedure)(const int64_t&), const std::vector<uint64_t>& primes);

// Per n of the range (entry n − nmin): the smallest of the primes that strikes it (the number
// itself excepted), 0 when none does or n was never a candidate.
std::vector<uint64_t> OracleFirstDivisors(const FixedKCase& c, const std::vector<uint64_t>& primes);

// Whether one of the primes divides the candidate for n (the number itself excepted).
bool OracleStrikes(int64_t n, const std::vector<uint64_t>& primes);

// Number of Verify calls the stub saw and how many failed.
int VerifyCalls();
int VerifyFailures();
