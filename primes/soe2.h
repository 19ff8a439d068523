// The prime source: a segmented sieve of Eratosthenes over the odd numbers that delivers
// the sieving primes one at a time, in ascending order, from any starting point.
#pragma once
#include <cstdint>

// Square of the largest base sieving prime (109873): below it every number delivered is prime.
constexpr int64_t MAXGUAR = 12072076129LL;

void soe2_memory(uint32_t cacheKb);
void soe2_init(int64_t p, bool useAdditional);
int64_t soe2_peek();
int64_t soe2_next();
