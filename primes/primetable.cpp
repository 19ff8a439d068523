// The small-prime table: trial division by the primes already found, over numbers = ±1 mod 6.
#include "primes/primetable.h"

uint32_t primetable[PRIMETABLE_SIZE + 1];

void FillPrimetable() {
  static const uint32_t first[] = {3, 5, 7, 11, 13, 17, 19, 23, 29};
  int count = 0;
  for (uint32_t q : first) primetable[count++] = q;
  uint32_t candidate = 29;
  uint32_t step = 2;  // alternates +2, +4 from 29: 31, 35, 37, 41, ...
  while (count < PRIMETABLE_SIZE) {
    candidate += step;
    step = 6 - step;
    for (int i = 1;; ++i) {
      uint32_t q = primetable[i];
      if (candidate < q * q) {
        primetable[count++] = candidate;
        break;
      }
      if (candidate % q == 0) break;
    }
  }
  primetable[PRIMETABLE_SIZE] = PRIMETABLE_SENTINEL;
}
