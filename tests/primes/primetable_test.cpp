// The small-prime table against GMP's primality test over its whole range.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "primes/primetable.h"

namespace {

bool gmpPrime(uint32_t n) {
  mpz_t z;
  mpz_init_set_ui(z, n);
  const bool prime = mpz_probab_prime_p(z, 30) > 0;
  mpz_clear(z);
  return prime;
}

TEST(Primetable, HoldsEveryOddPrimeInOrderUpToTheLastEntryAndTheSentinel) {
  for (uint32_t& q : primetable) q = 0;  // a refill must not lean on an earlier one
  FillPrimetable();
  int index = 0;
  for (uint32_t n = 3; n <= 274579; n += 2) {
    if (!gmpPrime(n)) continue;
    ASSERT_LT(index, PRIMETABLE_SIZE) << n;
    ASSERT_EQ(primetable[index], n) << "entry " << index;
    ++index;
  }
  EXPECT_EQ(index, PRIMETABLE_SIZE);
  EXPECT_EQ(primetable[PRIMETABLE_SIZE - 1], 274579u);
  EXPECT_EQ(primetable[PRIMETABLE_SIZE], PRIMETABLE_SENTINEL);
}

}  // namespace
