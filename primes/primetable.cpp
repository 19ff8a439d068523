// The small-prime table: a sieve of Eratosthenes over the odd numbers up to the last entry.
#include "primes/primetable.h"

#include <cassert>

uint32_t primetable[PRIMETABLE_SIZE + 1];

namespace {
// The 24000th odd prime: the sieve needs to reach exactly this far.
constexpr uint32_t PRIMETABLE_LAST = 274579;
}  // namespace

void FillPrimetable() {
  // Bit i stands for 2i+1: 17 KB on the stack, so the sieve stays in the first-level cache
  // and costs no allocation.
  constexpr uint32_t BITS = PRIMETABLE_LAST / 2 + 1;
  constexpr uint32_t WORDS = (BITS + 63) / 64;
  uint64_t composite[WORDS] = {};
  composite[0] = 1;  // 1 is not a prime
  for (uint32_t q = 3; q * q <= PRIMETABLE_LAST; q += 2) {
    if (composite[q / 128] >> (q / 2 % 64) & 1) continue;
    for (uint32_t m = q * q / 2; m < BITS; m += q) composite[m / 64] |= uint64_t{1} << (m % 64);
  }
  int count = 0;
  for (uint32_t w = 0; w < WORDS && count < PRIMETABLE_SIZE; ++w) {
    for (uint64_t primes = ~composite[w]; primes && count < PRIMETABLE_SIZE; primes &= primes - 1)
      primetable[count++] = 2 * (64 * w + static_cast<uint32_t>(__builtin_ctzll(primes))) + 1;
  }
  assert(count == PRIMETABLE_SIZE && primetable[count - 1] == PRIMETABLE_LAST);
  primetable[PRIMETABLE_SIZE] = PRIMETABLE_SENTINEL;
}
