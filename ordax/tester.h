// Testing one line of a sieve file: every member's first test in order (the line goes at its
// first composite), then the proofs, with the primes known to divide each member's N ∓ 1.
#pragma once
#include <gmpxx.h>

#include <vector>

#include "ordax/forms.h"
#include "ordax/proof.h"

struct LineResult {
  bool allPrime = false;
  bool proven = false;     // every member proven; meaningful when allPrime
  bool cancelled = false;  // the cancel flag stopped the test: the line is not finished
};

// One per thread: it keeps the powers and primorials its lines share.
class LineTester {
 public:
  explicit LineTester(const FormSpec& spec);
  LineResult Test(const SieveLine& line, const CancelFlag* cancel = nullptr);
  // The members of the line last tested, in test order.
  const std::vector<Member>& members() const { return members_; }

 private:
  // Proven primes that divide the stems k·X of the line's members: those of k, of the base,
  // of the primorial and of the product form, and 2 for the links.
  std::vector<mpz_class> KnownPrimes(const SieveLine& line);

  const FormSpec& spec_;
  MemberBuilder builder_;
  std::vector<Member> members_;
  std::vector<mpz_class> fixedPrimes_;  // the base's and the product form's
  long primesUpTo_ = -1;
  std::vector<mpz_class> primorialPrimes_;
};
