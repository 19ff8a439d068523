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
// Whether sources started from now on take numbers out of the bitmap with AVX-512 compress
// where the processor has it (the default), or by the portable path; both deliver the same.
void soe2_vector_extraction(bool allowed);
// Numbers covered by one segment at the size in force: segments start at its multiples.
uint64_t soe2_segment_span();

// One prime source. Each has its own segment, offsets and staging area, so several threads
// may each run their own; the read-only tables (sieving primes, patterns) are shared. The
// sequence delivered from a start is the same for every source and every segment size: the
// odd numbers above the start with no prime factor up to the last sieving prime other than
// themselves (true primes below MAXGUAR without the additional primes).
class PrimeSource {
 public:
  constexpr PrimeSource() = default;
  // A source with its own segment size in bytes; 0 sizes it from the machine's caches.
  explicit PrimeSource(uint32_t segmentBytes);
  ~PrimeSource();
  PrimeSource(const PrimeSource&) = delete;
  PrimeSource& operator=(const PrimeSource&) = delete;

  // Starts the sequence at the first number above p.
  void Init(int64_t p, bool useAdditional);
  // The segment size from the next Init on (0: from the caches).
  void SegmentBytes(uint32_t bytes);
  // Whether sources started from now on take numbers out of the bitmap with AVX-512 compress
// where the processor has it (the default), or by the portable path; both deliver the same.
void soe2_vector_extraction(bool allowed);
// Numbers covered by one segment: segments start at its multiples, so a start there
  // sieves no number twice.
  uint64_t SegmentSpan();

  // Delivery is inline, so that taking a prime costs a compare and an increment.
  // The next number of the sequence, left in place.
  int64_t Peek() {
    if (stagedNext_ == stagedEnd_) [[unlikely]] Refill();
    return *stagedNext_;
  }
  // The next number of the sequence, consumed.
  int64_t Next() {
    if (stagedNext_ == stagedEnd_) [[unlikely]] Refill();
    return *stagedNext_++;
  }

  // Takes up to `room` numbers of the sequence, each at most `limit`, into out; returns how
  // many. Fewer than room means the next number lies above limit (it stays in place).
  uint32_t Take(int64_t* out, uint32_t room, int64_t limit) {
    uint32_t n = 0;
    while (n < room) {
      if (stagedNext_ == stagedEnd_) [[unlikely]] {
        if (UnstagedAbove(limit)) return n;  // no segment is sieved only to find that out
        Refill();
      }
      const int64_t* from = stagedNext_;
      const int64_t* to = stagedEnd_;
      if (to - from > room - n) to = from + (room - n);
      if (to[-1] > limit) {  // the run ends inside the staged numbers
        while (from != to && *from <= limit) out[n++] = *from++;
        stagedNext_ = from;
        return n;
      }
      while (from != to) out[n++] = *from++;
      stagedNext_ = from;
    }
    return n;
  }

  struct State;

 private:
  void Refill();
  State& state();
  // Whether every number not yet staged lies above limit.
  bool UnstagedAbove(int64_t limit);

  // The numbers staged from the current group of words.
  const int64_t* stagedNext_ = nullptr;
  const int64_t* stagedEnd_ = nullptr;
  State* state_ = nullptr;
};

// The process's own source, behind the free functions below.
extern PrimeSource soe2_global;

// The next number of the sequence, left in place.
inline int64_t soe2_peek() { return soe2_global.Peek(); }

// The next number of the sequence, consumed.
inline int64_t soe2_next() { return soe2_global.Next(); }
