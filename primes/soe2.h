// The prime source: a segmented sieve of Eratosthenes on the mod-30 wheel that delivers the
// sieving primes one at a time, in ascending order, from any starting point.
#pragma once
#include <cstdint>

// Square of the largest base sieving prime (109873): below it every number delivered is prime.
constexpr int64_t MAXGUAR = 12072076129LL;

void soe2_memory(uint32_t cacheKb);
void soe2_init(int64_t p, bool useAdditional);

// The segment size in bytes (30 numbers each) from the next soe2_init on; 0, the default,
// sizes it from the machine's caches. The sequence delivered never depends on it.
void soe2_segment_bytes(uint32_t bytes);
// Numbers covered by one segment at the size in force: segments start at its multiples.
uint64_t soe2_segment_span();

// Delivery is inline, so that taking a prime costs a compare and an increment: the numbers
// staged from the current group, and the step that stages the next group.
namespace soe2_detail {
extern const int64_t* stagedNext;
extern const int64_t* stagedEnd;
void refill();
}  // namespace soe2_detail

// The next number of the sequence, left in place.
inline int64_t soe2_peek() {
  if (soe2_detail::stagedNext == soe2_detail::stagedEnd) [[unlikely]] soe2_detail::refill();
  return *soe2_detail::stagedNext;
}

// The next number of the sequence, consumed.
inline int64_t soe2_next() {
  if (soe2_detail::stagedNext == soe2_detail::stagedEnd) [[unlikely]] soe2_detail::refill();
  return *soe2_detail::stagedNext++;
}
