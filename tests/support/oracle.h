// Independent cross-check of sieve results: every member number of a candidate is built
// exactly with GMP and trial-divided by odd primes, with no code shared with the sieve.
// Also a sieve-file parser and checkers that compare whole files against the oracle.
#pragma once
#include <gmpxx.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What a sieve job sieves, as the user defines it (not as the sieve stores it internally).
struct OracleJob {
  OracleJob() = default;
  OracleJob(uint32_t mode_, uint32_t base_, int64_t n_, int chainLength_ = 1, std::vector<int64_t> kFactors_ = {})
      : mode(mode_), base(base_), n(n_), chainLength(chainLength_), kFactors(std::move(kFactors_)) {}
  uint32_t mode = 1;    // the `_mode` word, as the sieve-file header stores it
  uint32_t base = 2;
  int64_t n = 0;        // fixed-n: n as entered (the primorial index in primorial mode);
                        // fixed-k: the fixed k (the primorial index for k#.2^n+-1)
  int chainLength = 1;  // number of links of the chain types (the header's third field)
  std::vector<int64_t> kFactors;  // fixed-k with k given as a product of factors
};

bool oracleIsFixedK(const OracleJob& job);
// Whether value (k, or n for fixed-k forms) is a candidate at all: the parity rule.
bool oracleIsCandidate(const OracleJob& job, int64_t value);
// First and second number of a value line as the sieve file should show them.
std::pair<int64_t, int64_t> oracleLine(const OracleJob& job, int64_t value);

// Odd primes q with lo <= q <= hi, ascending (a plain segmented sieve of its own).
std::vector<uint64_t> oddPrimesBetween(uint64_t lo, uint64_t hi);

class Oracle {
 public:
  explicit Oracle(OracleJob job);
  const OracleJob& job() const { return job_; }
  // Every member number of the candidate for value, built exactly.
  std::vector<mpz_class> members(int64_t value) const;
  // The smallest prime of primes (ascending) that divides a member number of value
  // other than that number itself; 0 when there is none.
  uint64_t firstDivisor(int64_t value, const std::vector<uint64_t>& primes) const;
  // firstDivisor for every value of vmin..vmax at once (entry value - vmin): each prime's
  // residue classes are walked through the range and every claimed divisor is confirmed by
  // an exact division, so the cost stays small for thousands of values and primes.
  std::vector<uint64_t> firstDivisors(int64_t vmin, int64_t vmax, const std::vector<uint64_t>& primes) const;
  // The same for a sorted list of values (entry i for values[i]), sparse or dense.
  std::vector<uint64_t> firstDivisors(const std::vector<int64_t>& values, const std::vector<uint64_t>& primes) const;

 private:
  OracleJob job_;
  bool fixedK_ = false;
  // Fixed-n: member j = value * mul_[j] + add_[j]. Fixed-k: member j = mul_[j] * b^value + add_[j].
  std::vector<mpz_class> mul_, add_;
};

// A sieve file as read back for checking.
struct SieveFileData {
  int64_t depth = 0;  // the header's sieved-to value
  char letter = 0;
  int len3plus = 0;
  uint32_t base = 0;
  uint32_t mode = 0;
  bool factorForm = false;
  std::vector<int64_t> factors;                     // factor-form header only
  std::vector<std::pair<int64_t, int64_t>> lines;   // value lines, as written
};

// Parses text; on failure returns false and says why in error.
bool parseSieveFile(const std::string& text, SieveFileData& out, std::string& error);
// The candidate values (k, or n for fixed-k) of the parsed lines.
std::vector<int64_t> fileValues(const SieveFileData& file, const OracleJob& job);

// Compares a sieve file with the oracle over the range vmin..vmax: the header must match
// the job, every line must be a candidate of the range in increasing order, every survivor
// must have no odd prime factor up to the header's depth other than itself, and every
// candidate the file lacks must have one up to strikeDepth (the header's depth when 0).
// Returns an empty string when the file is exact, else a description of what is wrong.
std::string checkSieveFile(const std::string& text, const OracleJob& job, int64_t vmin, int64_t vmax,
                           int64_t strikeDepth = 0);

// Compares two files of one job, before and after sieving over a window of primes (the
// primes above before's depth up to after's depth): every value of after must be in before
// and have no divisor in the window; every value of before missing from after must have one
// (or, struck by a composite the prime source yields above 12072076129, a prime factor
// below the window, which the before file claims to have sieved already).
std::string checkWindow(const std::string& before, const std::string& after, const OracleJob& job);
