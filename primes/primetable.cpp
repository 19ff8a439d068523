// The small-prime table: a sieve of Eratosthenes over the odd numbers up to the last entry.
#include "primes/primetable.h"

#include <cassert>
#include <vector>

uint32_t primetable[PRIMETABLE_SIZE + 1];

namespace {
// The 24000th odd prime: the sieve needs to reach exactly this far.
constexpr uint32_t PRIMETABLE_LAST = 274579;
}  // namespace

void FillPrimetable() {
  // composite[i] stands for 2i+1; a byte per number keeps the striking loop a plain store.
  std::vector<unsigned char> composite(PRIMETABLE_LAST / 2 + 1, 0);
  for (uint32_t q = 3; q * q <= PRIMETABLE_LAST; q += 2) {
    if (composite[q / 2]) continue;
    for (uint32_t m = q * q / 2; m <= PRIMETABLE_LAST / 2; m += q) composite[m] = 1;
  }
  int count = 0;
  for (uint32_t i = 1; i <= PRIMETABLE_LAST / 2 && count < PRIMETABLE_SIZE; ++i)
    if (!composite[i]) primetable[count++] = 2 * i + 1;
  assert(count == PRIMETABLE_SIZE && primetable[count - 1] == PRIMETABLE_LAST);
  primetable[PRIMETABLE_SIZE] = PRIMETABLE_SENTINEL;
}
