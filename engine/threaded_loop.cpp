// The threaded walk. One thread (the caller) draws the primes into chunks, hands them to the
// workers, and applies each chunk's classes in order once it is computed; it owns the store,
// the files, the thread-local slots and the stop checks, so nothing the loop observes moves
// to another thread. Chunks in flight are bounded by a small multiple of the thread count.
#include "engine/threaded_loop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "common/print.h"
#include "engine/progress_line.h"
#include "engine/sieve_file.h"
#include "fixedk/base2_ksieve.h"
#include "fixedk/ksearch.h"
#include "fixedk/ksieve.h"
#include "fixedk/kstrike.h"
#include "fixedk/progress.h"
#include "fixedn/clear.h"
#include "fixedn/removal_rules.h"
#include "fixedn/strikes.h"
#include "fixedn/work_procedures.h"
#include "kernels/batch_finders.h"
#include "primes/soe2.h"

namespace {

constexpr unsigned CHUNKS_PER_THREAD = 4;
constexpr int64_t PAIR_LIMIT = int64_t{1} << 32;
constexpr int64_t BIT46 = int64_t{1} << 46;

// How the single-threaded work procedures group the primes between the loop's checks.
enum class Grouping {
  Pairs,    // every prime drawn by the loop; held in twos (below 2^32)
  Sixes,    // the loop draws one prime, the procedure draws five more and applies all six
  Twelves,  // the same with twelve
  Sixteens, // the same with sixteen (the other-base and primorial procedures)
  Collect,  // every prime drawn by the loop; held until six are collected
  Single,   // every prime drawn by the loop and applied at once
};

struct Procedure {
  Grouping grouping;
  bool twinInline = false;  // the six-prime twin procedure: +1 classes of all six, then −1
};

bool Describe(WorkProcedure w, Procedure& out) {
  if (w == WorkProcBase2_Smallp || w == WorkProcBase2_AP_Smallp) {
    out = {Grouping::Pairs};
  } else if (w == WorkProcBase2_Bigp || w == WorkProcBase2_Plus_Bigp || w == WorkProcBase2_Minus_Bigp) {
    out = {Grouping::Sixes};
  } else if (w == WorkProcBase2_Twin_Bigp) {
    out = {Grouping::Sixes, true};
  } else if (w == WorkProcBase2_SSE2_Bigp) {
    out = {Grouping::Twelves};
  } else if (w == WorkProcBase2_VeryBigp || w == WorkProcBase2_NoCMOV_Bigp) {
    out = {Grouping::Collect};
  } else if (w == WorkProcNotBase2 || w == WorkProcNotBase2_NoInverses || w == WorkProcNotBase2_AP ||
             IsPrimorialProcedure(w)) {
    out = {Grouping::Sixteens};
  } else if (w == WorkProcBase2_AP_Bigp) {
    out = {Grouping::Single};
  } else {
    return false;
  }
  return true;
}

// The procedure a pairing one hands over to at the first prime above 2^32.
WorkProcedure PairingSuccessor(WorkProcedure w) {
  if (w == WorkProcBase2_Smallp) return Base2Successor();
  return WorkProcBase2_AP_Bigp;
}

// Primes kept at the start of a chunk: more than the longest group (sixteen primes, the other
// bases' batches), so that a group struck at the end of the chunk before has the next drawn
// prime at hand.
constexpr uint32_t NEAR = 17;
// The primes kept after a prime that strikes, and after a report step, by how the procedure
// groups the primes: those that may complete the struck prime's group, and the next drawn
// prime, where the loop sees what the strikes did (a count stop, the last value gone). The
// primes before a struck one are not needed: a batch's drawn prime is seen only for where a
// report falls by the clock (any later drawn prime serves as well) or the all-removed save
// (which claims the struck prime, beyond it).
uint32_t ReachOf(Grouping g) {
  switch (g) {
    case Grouping::Pairs: return 2;
    case Grouping::Sixes: return 6;
    case Grouping::Twelves: return 12;
    case Grouping::Sixteens: return POWER_BATCH;
    case Grouping::Collect: return 6;
    case Grouping::Single: return 1;
  }
  return NEAR;
}
// Primes a worker draws before computing their classes; a stop is noticed between batches.
constexpr uint32_t BATCH = 4096;

struct KeptPrime {
  uint32_t index;  // place among the chunk's primes
  int64_t p;
};

// Where chunks keep few primes, they are widened up to this many entries (kept primes and
// strikes, about 16 bytes each), so that fewer worker starts place every sieving prime afresh
// (about a tenth of a millisecond each near 10^9), while what the chunks in flight hold stays
// bounded by the entries, not by their width.
constexpr double WIDE_ENTRIES = 65536;

// A range (lo, hi] of the number line and what its primes leave for the loop's thread: how
// many there are, their classes, and the few primes whose values the walk needs. Everything
// else about the range stays with the worker.
template <class StrikeT>
struct Chunk {
  // Set by the loop's thread before the chunk is handed out.
  int64_t lo = 0, hi = 0, maxp = 0;
  size_t tier = 0;  // the segments its worker's source sieves (ShapeChunk)
  // Filled by a worker.
  uint32_t count = 0;                // primes in (lo, hi] below maxp
  std::vector<StrikeT> strikes;      // index is the place among the chunk's primes
  std::vector<KeptPrime> kept;       // ascending by index
  bool last = false;  // the range reaches maxp: next is the first prime not below it
  int64_t next = 0;   // the first prime after the range
  bool computed = false;  // guarded by the workers' mutex
  bool failed = false;    // the worker ran out of memory
  size_t Entries() const { return strikes.size() + kept.size(); }
  // Room for a widened chunk's entries from the start: grown step by step, each step would
  // copy the lists into fresh pages (page faults cost a worker more than the copying).
  Chunk() {
    strikes.reserve(static_cast<size_t>(WIDE_ENTRIES));
    kept.reserve(static_cast<size_t>(WIDE_ENTRIES));
  }
};

// The segments of the workers' prime sources for chunks narrower than the run's segment: a
// chunk below a tier's limit is whole segments of its size, so that it sieves no more than
// its width. Each tier ends where its source would park sieving primes (above twice the
// segment's bytes) in buckets, which costs more time and memory with a small segment than
// it saves.
constexpr uint32_t TIER_BYTES[] = {8192, 131072};
constexpr int64_t TierLimit(uint32_t bytes) { return int64_t{2 * bytes} * (2 * bytes); }
// Primes a chunk holds at small p. There nearly every prime strikes, or lies near one that
// does, so nearly every prime is kept with its strikes: the chunk's memory is about this many
// times 50 bytes, times the chunks in flight.
constexpr double DENSE_PRIMES = 16384;

// The tier whose segments make up a chunk starting at lo, for a run whose segment spans
// `span` numbers: the first whose limit lies above lo and whose segment is the smaller;
// size(TIER_BYTES) when none is (the run's segment then).
size_t TierAt(int64_t lo, uint64_t span) {
  for (size_t t = 0; t < std::size(TIER_BYTES); ++t)
    if (lo < TierLimit(TIER_BYTES[t]) && 30 * uint64_t{TIER_BYTES[t]} < span) return t;
  return std::size(TIER_BYTES);
}

// Primes a widened chunk holds at most, so that the run's last chunk is not long in coming.
constexpr double WIDE_PRIMES = 1 << 20;

// The chunk after lo: wider as p grows so that a worker's start (the sieving primes placed
// afresh) stays a small share of its work, about 64·√p, and at least some DENSE_PRIMES
// primes; up to `widest` numbers (and WIDE_PRIMES primes) where that is wider. Whole segments
// of the first tier whose limit lies above lo, else of the run's source; a chunk widened to a
// run's segment or more takes the run's segments, whose medium primes are struck by the quicker
// cycle lists. Split at the tiers' limits and at 2^32 and 2^46 where the work procedures hand
// over.
struct ChunkShape {
  int64_t hi;
  size_t tier;  // size(TIER_BYTES): the run's segment
};
ChunkShape ShapeChunk(int64_t lo, uint64_t span, double widest) {
  const double x = std::max(static_cast<double>(lo), 3.0);
  const double wanted = 64.0 * std::sqrt(x);
  const double dense = std::max(wanted, DENSE_PRIMES * std::log(x));
  const double wide = std::min(widest, WIDE_PRIMES * std::log(x));
  const size_t tier = wide >= static_cast<double>(span) ? std::size(TIER_BYTES) : TierAt(lo, span);
  const uint64_t segment = tier < std::size(TIER_BYTES) ? 30 * uint64_t{TIER_BYTES[tier]} : span;
  const uint64_t least = std::min<uint64_t>(static_cast<uint64_t>(dense / segment) + 1, 64);
  const uint64_t width = std::clamp<uint64_t>(static_cast<uint64_t>(wide / segment), least, 64) * segment;
  int64_t hi = (lo / static_cast<int64_t>(width) + 1) * static_cast<int64_t>(width);
  for (int64_t split : {TierLimit(TIER_BYTES[0]), TierLimit(TIER_BYTES[1]), PAIR_LIMIT, BIT46})
    if (lo < split && hi > split) hi = split;
  return {hi, tier};
}

// A worker's prime sources: one per tier, and the run's segment size beyond them.
class ChunkSources {
 public:
  ChunkSources() : tiers_{PrimeSource(TIER_BYTES[0]), PrimeSource(TIER_BYTES[1])}, wide_(0) {}
  PrimeSource& Start(int64_t lo, size_t tier, bool useAdditional) {
    PrimeSource& source = tier < std::size(TIER_BYTES) ? tiers_[tier] : wide_;
    source.Init(lo, useAdditional);
    return source;
  }

 private:
  PrimeSource tiers_[std::size(TIER_BYTES)];
  PrimeSource wide_;
};

// The share of primes with strikes below which the workers walk quicker than the loop's own
// thread: above it nearly every prime is kept for the walk, which then costs the loop's thread
// about what computing and applying it would.
constexpr double SPARSE_SHARE = 0.05;

// The first number of the prime source's sequence above x (what a chunk starting at x
// begins with), for the rare stops that need it before the chunk is computed.
int64_t FirstAfter(int64_t x, bool useAdditional) {
  PrimeSource source(0);
  source.Init(x, useAdditional);
  return source.Peek();
}

// The failure a worker simulates at a chunk holding this number (a test switch read from the
// environment at the start of a threaded run), so the out-of-memory path can be exercised.
int64_t failAt = 0;

// What the workers compute per prime. The fixed-n sieves: the classes of fixedn/strikes.h.
struct ClassWalkContext {
  StrikeContext strikes;
  uint32_t reachBelow, reachAbove;  // below 2^32 and above (where a pairing procedure hands over)
};

class ClassFinder {
 public:
  using Context = ClassWalkContext;
  using StrikeT = Strike;
  // The report bit of the fixed-n loop: a report point falls at the first drawn prime after
  // each multiple of it.
  static constexpr int64_t kReportStep = 0x1000000;
  explicit ClassFinder(const ClassWalkContext& ctx)
      : ctx_(ctx.strikes), reachBelow_(ctx.reachBelow), reachAbove_(ctx.reachAbove) {}
  // Chunks are split at 2^32.
  uint32_t ReachAt(int64_t lo) const { return lo < PAIR_LIMIT ? reachBelow_ : reachAbove_; }
  void Find(const int64_t* primes, uint32_t n, std::vector<Strike>& out) { FindStrikes(ctx_, primes, n, out); }

 private:
  const StrikeContext& ctx_;
  uint32_t reachBelow_, reachAbove_;
};

// The fixed-k searches (fixedk/ksearch.h), with the run's kernel context copied into the
// worker's thread-local one, which the searches read and the other bases' write.
struct KWalkContext {
  KSearchContext search;
  KernelContext kernel;
};

class KFinder {
 public:
  using Context = KWalkContext;
  using StrikeT = KStrike;
  // The fixed-k loop's report bit.
  static constexpr int64_t kReportStep = 0x100000;
  explicit KFinder(const KWalkContext& ctx) : ctx_(ctx.search) { kernel = ctx.kernel; }
  uint32_t ReachAt(int64_t) const { return ReachOf(Grouping::Single); }
  void Find(const int64_t* primes, uint32_t n, std::vector<KStrike>& out) {
    FindKStrikes(ctx_, primes, n, scratch_, out);
  }

 private:
  const KSearchContext& ctx_;
  KScratch scratch_;
};

// Draws the chunk's primes from the worker's own source and computes their strikes,
// keeping the primes the walk will need: the first NEAR of the chunk (the next drawn prime
// after a group struck at the end of the chunk before), and the finder's reach from each
// report step and from every prime that strikes.
template <class Finder>
class ChunkWorker {
 public:
  using StrikeT = typename Finder::StrikeT;
  explicit ChunkWorker(const typename Finder::Context& ctx) : finder_(ctx) {}

  // False when stopped before the end.
  bool Compute(Chunk<StrikeT>& c, const std::atomic<bool>& stop) {
    c.count = 0;
    c.strikes.clear();
    c.kept.clear();
    c.last = false;
    if (failAt > c.lo && failAt <= c.hi) throw std::bad_alloc();
    PrimeSource& source = sources_.Start(c.lo, c.tier, false);
    const uint32_t reach = finder_.ReachAt(c.lo);
    uint32_t carry = NEAR;  // primes still to keep from the next one on
    int64_t nextStep = (c.lo / Finder::kReportStep + 1) * Finder::kReportStep;
    bool end = false;
    while (!end) {
      if (stop.load(std::memory_order_relaxed)) return false;
      const uint32_t n = source.Take(primes_, BATCH, std::min(c.hi, c.maxp - 1));
      if (n < BATCH) {
        // Only the last chunk looks past its end (the next chunk's worker has that segment).
        c.last = c.maxp - 1 <= c.hi;
        c.next = c.last ? source.Peek() : 0;
        end = true;
      }
      const uint32_t base = c.count;
      spans_.clear();
      // Keeps [from, from + len) of this batch; what lies beyond it carries into the next.
      auto keep = [&](uint32_t from, uint32_t len) {
        const uint32_t to = std::min(n, from + len);
        // Where primes strike densely their windows overlap: one span, not one per strike.
        if (from < to && !spans_.empty() && from >= spans_.back().first && from <= spans_.back().second)
          spans_.back().second = std::max(spans_.back().second, to);
        else if (from < to)
          spans_.push_back({from, to});
        if (from + len > n) carry = std::max(carry, from + len - n);
      };
      const uint32_t carried = carry;
      carry = 0;
      keep(0, carried);
      while (n > 0 && nextStep <= primes_[n - 1]) {
        const uint32_t i = static_cast<uint32_t>(std::lower_bound(primes_, primes_ + n, nextStep) - primes_);
        keep(i, reach);
        nextStep += Finder::kReportStep;
      }
      found_.clear();
      finder_.Find(primes_, n, found_);
      for (const StrikeT& s : found_) {
        c.strikes.push_back(s);
        c.strikes.back().index = base + s.index;
        keep(s.index, reach + 1);
      }
      // Report steps were kept before the strikes: in order, each prime once.
      std::sort(spans_.begin(), spans_.end());
      uint32_t done = 0;
      for (const auto& [from, to] : spans_) {
        for (uint32_t i = std::max(from, done); i < to; ++i) c.kept.push_back({base + i, primes_[i]});
        done = std::max(done, to);
      }
      c.count += n;
    }
    return true;
  }

 private:
  Finder finder_;
  ChunkSources sources_;
  std::vector<StrikeT> found_;
  int64_t primes_[BATCH];
  std::vector<std::pair<uint32_t, uint32_t>> spans_;  // [from, to) of the batch to keep
};

// How a prime's strikes reach the store. The fixed-n classes through the clearing routine:
class ClassApplier {
 public:
  using StrikeT = Strike;
  void Apply(int64_t p, const Strike* s, uint32_t n) const {
    for (uint32_t i = 0; i < n; ++i) ClearRoutine(s[i].k, p);
  }
  // Before a chunk is walked: its classes are far apart in the store.
  void Prefetch(const std::vector<Strike>& strikes) const {
    for (const Strike& s : strikes) PrefetchClass(s.k);
  }
};

// The fixed-k strikes as the fixed-k work procedures apply them: the store, the counts and
// the log, the tiny procedures' "firstremoved" line, then verification, the report and the
// count criterion.
class KApplier {
 public:
  using StrikeT = KStrike;
  KApplier(const KSearchContext& ctx, bool tiny) : ctx_(ctx), tiny_(tiny) {}
  // The fixed-k store is small and read in order.
  void Prefetch(const std::vector<KStrike>&) const {}
  void Apply(int64_t p, const KStrike* s, uint32_t n) const {
    if (n == 0) return;
    PrimeStrikes struck;
    ApplyKStrikes(ctx_, p, s, s + n, struck);
    if (tiny_) ReportSmallest(struck);
    FinishPrime(p, struck, struck.any() && ReportDue(static_cast<long>(std::time(nullptr))));
  }

 private:
  const KSearchContext& ctx_;
  bool tiny_;
};

// Applies computed chunks as the work procedures would, prime after prime. Only the kept
// primes are visited; the stretches between them (no strike, no report step, no group that
// needs a value) are passed over by counting.
template <class Applier>
class Walker {
 public:
  using StrikeT = typename Applier::StrikeT;
  Walker(LoopPoints& points, Procedure procedure, Procedure successor, const Applier& applier)
      : points_(points), proc_(procedure), successor_(successor), applier_(applier) {}

  // False when the run ended inside the chunk (the file is written).
  bool Walk(const Chunk<StrikeT>& c) {
    applier_.Prefetch(c.strikes);
    const StrikeT* s = c.strikes.data();
    const StrikeT* end = s + c.strikes.size();
    uint32_t at = 0;
    for (const KeptPrime& kp : c.kept) {
      // A prime the current batch draws needs its value only if it strikes: else it is counted
      // with the primes skipped before the next one fed.
      if ((s == end || s->index != kp.index) && kp.index - at < static_cast<uint32_t>(batchLeft_)) continue;
      if (kp.index > at && !Skip(kp.index - at)) return false;
      const StrikeT* first = s;
      while (s != end && s->index == kp.index) ++s;
      if (!Feed(kp.p, first, static_cast<uint32_t>(s - first))) return false;
      at = kp.index + 1;
    }
    if (c.count > at && !Skip(c.count - at)) return false;
    if (!c.last) return true;
    // The batch procedures never draw a prime at or beyond maxp: a batch ends short there.
    if (batchLeft_ > 0) {
      batchLeft_ = 0;
      if (!EndOfBatch()) return false;
    }
    return Feed(c.next, nullptr, 0);
  }

  // The run stops at p, every prime below it applied (held ones through the flush).
  void StopAt(int64_t p) {
    if (!points_.AtDrawnPrime(p)) Flush();
  }

  // Applies the primes held back (the loop's flush before a save).
  void Flush() {
    for (const Held& h : held_) Apply(h.p, heldStrikes_.data() + h.first, h.count);
    held_.clear();
    heldStrikes_.clear();
    heldCount_ = 0;
  }

 private:
  struct Held {
    int64_t p;
    uint32_t first, count;
  };

  void Apply(int64_t p, const StrikeT* s, uint32_t n) { applier_.Apply(p, s, n); }
  // Only primes with strikes are stored; the others are counted.
  void Hold(int64_t p, const StrikeT* s, uint32_t n) {
    ++heldCount_;
    if (n == 0) return;
    held_.push_back({p, static_cast<uint32_t>(heldStrikes_.size()), n});
    heldStrikes_.insert(heldStrikes_.end(), s, s + n);
  }
  // The six-prime twin procedure clears the +1 class (slot 1) of every prime, then the −1.
  void FlushTwin() {
    if constexpr (requires { &StrikeT::slot; }) {
      for (uint32_t slot : {1u, 0u})
        for (const Held& h : held_)
          for (uint32_t i = 0; i < h.count; ++i)
            if (heldStrikes_[h.first + i].slot == slot) Apply(h.p, &heldStrikes_[h.first + i], 1);
    }
    held_.clear();
    heldStrikes_.clear();
    heldCount_ = 0;
  }
  bool EndOfBatch() {
    if (proc_.twinInline) FlushTwin();
    return !points_.AfterWork(drawn_);
  }

  // m primes without classes whose values the walk does not need: none is at a report step,
  // none ends a group that applies classes, and the run's end is not among them. Only the
  // counts move: the primes the loop draws (its progress countdown), the primes held, the
  // place in the current batch.
  bool Skip(uint64_t m) {
    if (batchLeft_ > 0) {
      const uint64_t take = std::min<uint64_t>(m, static_cast<uint64_t>(batchLeft_));
      batchLeft_ -= static_cast<int>(take);
      m -= take;
      if (batchLeft_ == 0 && !EndOfBatch()) return false;
    }
    if (m == 0) return true;
    switch (proc_.grouping) {
      case Grouping::Pairs:
      case Grouping::Collect: {
        const uint64_t size = proc_.grouping == Grouping::Pairs ? 2 : 6;
        progressCountdown -= static_cast<int64_t>(m);
        const uint64_t total = heldCount_ + m;
        if (total >= size) Flush();  // what it holds has no classes: nothing is applied
        heldCount_ = static_cast<uint32_t>(total % size);
        break;
      }
      case Grouping::Sixes:
      case Grouping::Twelves:
      case Grouping::Sixteens: {
        const uint64_t size = proc_.grouping == Grouping::Sixes ? 6 : proc_.grouping == Grouping::Twelves ? 12 : POWER_BATCH;
        progressCountdown -= static_cast<int64_t>((m + size - 1) / size);
        const uint64_t into = m % size;
        if (into != 0) {
          batchLeft_ = static_cast<int>(size - into);
          drawn_ = 0;  // not needed: no prime of this batch has a class
        }
        break;
      }
      case Grouping::Single:
        progressCountdown -= static_cast<int64_t>(m);
        break;
    }
    return true;
  }

  bool Feed(int64_t p, const StrikeT* s, uint32_t n) {
    if (batchLeft_ > 0) {  // drawn by the batch procedure, not by the loop
      if (proc_.twinInline) Hold(p, s, n);
      else Apply(p, s, n);
      return --batchLeft_ > 0 || EndOfBatch();
    }
    if (points_.AtDrawnPrime(p)) return false;
    if (proc_.grouping == Grouping::Pairs && p > PAIR_LIMIT) {
      Flush();
      proc_ = successor_;
    }
    if (proc_.grouping == Grouping::Sixes && (p & BIT46)) proc_ = {Grouping::Collect};
    switch (proc_.grouping) {
      case Grouping::Pairs:
      case Grouping::Collect:
        Hold(p, s, n);
        if (heldCount_ == (proc_.grouping == Grouping::Pairs ? 2u : 6u)) Flush();
        break;
      case Grouping::Sixes:
      case Grouping::Twelves:
      case Grouping::Sixteens:
        drawn_ = p;
        batchLeft_ = proc_.grouping == Grouping::Sixes ? 5 : proc_.grouping == Grouping::Twelves ? 11 : POWER_BATCH - 1;
        if (proc_.twinInline) Hold(p, s, n);
        else Apply(p, s, n);
        return true;
      case Grouping::Single:
        Apply(p, s, n);
        break;
    }
    return !points_.AfterWork(p);
  }

  LoopPoints& points_;
  Procedure proc_;
  Procedure successor_;
  Applier applier_;
  std::vector<Held> held_;  // held primes that have strikes
  std::vector<StrikeT> heldStrikes_;
  uint32_t heldCount_ = 0;  // held primes, with classes or not
  int batchLeft_ = 0;       // primes the current batch still takes
  int64_t drawn_ = 0;       // the prime the loop drew for the current batch
};

bool Running() { return job.State == STATE_PREPARING || job.State == STATE_SIEVING; }

// The walker whose held primes a save made by the loop's checks applies first.
void (*flushActiveWalker)(void* walker) = nullptr;
void* activeWalker = nullptr;
void FlushActiveWalker() { flushActiveWalker(activeWalker); }

// The computing threads and their queue. Each thread makes its own Computer (which runs its
// own prime source) from the run's context on its first chunk.
template <class ChunkT, class Computer, class Context>
class Workers {
 public:
  Workers(const Context& context, unsigned count) : context_(context) {
    try {
      for (unsigned i = 0; i < count; ++i) threads_.emplace_back([this] { Run(); });
    } catch (const std::system_error&) {
      // Fewer threads than asked: the ones started share the work.
    }
  }
  ~Workers() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    stopNow_.store(true, std::memory_order_relaxed);
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  size_t size() const { return threads_.size(); }

  void Submit(ChunkT* c) {
    {
      std::lock_guard<std::mutex> lock(m_);
      c->computed = false;
      queue_.push_back(c);
    }
    work_.notify_one();
  }
  // False when the run was stopped from outside (an interrupt, a terminate signal) while
  // waiting for c. A stop the walk itself caused (a count or rate criterion) waits: the walk
  // must go on to the prime at which one thread would stop.
  bool WaitComputed(ChunkT* c) {
    const bool runningBefore = Running();
    std::unique_lock<std::mutex> lock(m_);
    while (!c->computed) {
      done_.wait_for(lock, std::chrono::milliseconds(20));
      if (!c->computed && runningBefore && !Running()) return false;
    }
    return true;
  }

 private:
  void Run() {
    std::unique_ptr<Computer> worker;
    for (;;) {
      ChunkT* c;
      {
        std::unique_lock<std::mutex> lock(m_);
        work_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        c = queue_.front();
        queue_.pop_front();
      }
      bool failed = false;
      try {
        if (!worker) worker = std::make_unique<Computer>(context_);
        if (!worker->Compute(*c, stopNow_)) return;
      } catch (const std::bad_alloc&) {
        failed = true;
      }
      {
        std::lock_guard<std::mutex> lock(m_);
        c->failed = failed;
        c->computed = true;
      }
      done_.notify_all();
    }
  }

  const Context& context_;
  std::mutex m_;
  std::condition_variable work_, done_;
  std::deque<ChunkT*> queue_;
  bool stop_ = false;
  std::atomic<bool> stopNow_{false};
  std::vector<std::thread> threads_;
};

// The chunks in flight and the threads computing them. The chunks are declared first so that
// they outlive the workers: a stop (a return, or the all-removed unwind) joins the workers
// before any chunk is freed, so no thread still writes into one.
template <class ChunkT, class Computer, class Context>
class ChunkRing {
 public:
  ChunkRing(const Context& context, unsigned threads) : chunks_(MakeChunks(threads)), workers_(context, threads) {}
  bool Started() const { return workers_.size() > 0; }

  // Hands the ranges (lo, hi] from `from` to job.maxp to the workers in increasing order,
  // at most the ring's size at a time, and gives each computed chunk in turn to `apply`, which
  // returns false when the run ended. A stop from outside while waiting for a chunk, or a
  // worker out of memory, ends the walk through `stopped` or `failed` with the first prime of
  // that chunk, below which every prime has been given to `apply`.
  template <class Apply, class Stopped, class Failed>
  void Run(int64_t from, bool useAdditional, Apply apply, Stopped stopped, Failed failed) {
    if (const char* fail = std::getenv("MORVANE_TEST_FAIL_THREAD_AT")) failAt = std::atoll(fail);
    const uint64_t span = soe2_segment_span();
    const size_t ring = chunks_.size();
    int64_t lo = from;
    double widest = 0;  // none until a chunk has been measured
    size_t head = 0, inFlight = 0;
    bool drawnAll = false;
    for (;;) {
      while (inFlight < ring && !drawnAll) {
        ChunkT& c = *chunks_[(head + inFlight) % ring];
        const ChunkShape shape = ShapeChunk(lo, span, widest);
        c.lo = lo;
        c.hi = shape.hi;
        c.tier = shape.tier;
        c.maxp = job.maxp;
        drawnAll = c.hi >= job.maxp - 1;
        lo = c.hi;
        workers_.Submit(&c);
        ++inFlight;
      }
      ChunkT& c = *chunks_[head];
      if (!workers_.WaitComputed(&c)) return stopped(FirstAfter(c.lo, useAdditional));
      if (c.failed) return failed(FirstAfter(c.lo, useAdditional));
      if (!apply(c)) return;
      // The next chunks as wide as keeps their entries near the budget, at the density of this one.
      widest = WIDE_ENTRIES * static_cast<double>(c.hi - c.lo) / static_cast<double>(std::max<size_t>(c.Entries(), 1));
      head = (head + 1) % ring;
      --inFlight;
    }
  }

 private:
  static std::vector<std::unique_ptr<ChunkT>> MakeChunks(unsigned threads) {
    std::vector<std::unique_ptr<ChunkT>> chunks;
    for (size_t i = 0; i < CHUNKS_PER_THREAD * static_cast<size_t>(threads); ++i)
      chunks.push_back(std::make_unique<ChunkT>());
    return chunks;
  }

  std::vector<std::unique_ptr<ChunkT>> chunks_;
  Workers<ChunkT, Computer, Context> workers_;
};

// A worker ran out of memory: every prime below `resume` has been applied (held ones now), so
// the file can claim resume − 1; the run stops there.
template <class WalkerT>
void StopOutOfMemory(WalkerT& walker, int64_t resume) {
  print("#rOut of memory in a sieving thread: the run stops here.");
  walker.Flush();
  job.State = STATE_INTERRUPTED;
  if (ClearRoutine == ClearBitmapSmallpMultivals) ClearRoutine(1, 2);
  outputandtidyvals(resume, job.outbuff, job.fAppend);
  if (!job.SaveFailed) fprint("#oOutput file '%s' generated, contains %u %c's", job.outbuff.c_str(), job._nvalsleft, job.k_n);
  job.firstp = resume;
}

// The base-2 fixed-k walk: a baby-step giant-step search per prime, by far the larger part
// of its cost, so the workers keep every prime that strikes, with its strikes and the prime
// after it (where one thread notices a stop the strikes caused).
struct KPrime {
  int64_t p;
  int64_t after;  // the next prime (0: after the chunk, found when needed)
  uint32_t first, count;  // its strikes in the chunk's list
};

struct KChunk {
  int64_t lo = 0, hi = 0, maxp = 0;
  size_t tier = 0;
  int64_t first = 0;  // the first prime of the range (0: none)
  std::vector<KPrime> primes;
  std::vector<KStrike> strikes;
  bool last = false;
  int64_t next = 0;
  bool computed = false;
  bool failed = false;
  size_t Entries() const { return primes.size() + strikes.size(); }
};

// Searches per batch: a stop is noticed between batches.
constexpr uint32_t KBATCH = 256;

class KChunkWorker {
 public:
  explicit KChunkWorker(const KWalkContext& ctx) : ctx_(ctx.search) { kernel = ctx.kernel; }

  bool Compute(KChunk& c, const std::atomic<bool>& stop) {
    c.primes.clear();
    c.strikes.clear();
    c.last = false;
    c.first = 0;
    if (failAt > c.lo && failAt <= c.hi) throw std::bad_alloc();
    PrimeSource& source = sources_.Start(c.lo, c.tier, true);
    bool end = false, pendingAfter = false;
    while (!end) {
      if (stop.load(std::memory_order_relaxed)) return false;
      const uint32_t n = source.Take(primes_, KBATCH, std::min(c.hi, c.maxp - 1));
      if (n < KBATCH) {
        c.last = c.maxp - 1 <= c.hi;
        c.next = c.last ? source.Peek() : 0;
        end = true;
      }
      if (c.first == 0 && n > 0) c.first = primes_[0];
      if (pendingAfter && n > 0) {
        c.primes.back().after = primes_[0];
        pendingAfter = false;
      }
      found_.clear();
      FindKStrikes(ctx_, primes_, n, scratch_, found_);
      for (size_t s = 0; s < found_.size();) {
        const uint32_t i = found_[s].index;
        const uint32_t first = static_cast<uint32_t>(c.strikes.size());
        for (; s < found_.size() && found_[s].index == i; ++s) c.strikes.push_back(found_[s]);
        c.primes.push_back({primes_[i], i + 1 < n ? primes_[i + 1] : 0, first,
                            static_cast<uint32_t>(c.strikes.size()) - first});
        pendingAfter = i + 1 == n;
      }
    }
    if (pendingAfter) c.primes.back().after = c.next;
    return true;
  }

 private:
  const KSearchContext& ctx_;
  ChunkSources sources_;
  KScratch scratch_;
  std::vector<KStrike> found_;
  int64_t primes_[KBATCH];
};

// The checks the one-thread walk makes at its report points, here at the first prime of each
// chunk and where the run stops: progress, the hours criterion, the stop, a timed save. True
// when the run stops at p.
class KReportPoints {
 public:
  explicit KReportPoints(bool fTimedSaves)
      : fTimedSaves_(fTimedSaves), nextSave_(std::time(nullptr) + time_t{job.WriteIterations} * 60) {}
  bool At(int64_t p) {
    RunProgress(p);
    const time_t now = std::time(nullptr);
    if (job.State == STATE_SIEVING && job.StopCriterion == STOP_AFTER_HOURS &&
        now - job.StopTime > std::min<int64_t>(job.StopValue, MAX_STOP_HOURS) * 3600)
      job.State = STATE_STOPPED;
    if (!Running() || p >= job.maxp) return true;
    if (fTimedSaves_ && now > nextSave_) {
      outputandtidyvals(p, job.outbuff, job.fAppend);
      nextSave_ = now + time_t{job.WriteIterations} * 60;
    }
    return false;
  }

 private:
  bool fTimedSaves_;
  time_t nextSave_;
};

// The run's end at p, every prime below it applied: the file as the one-thread walk writes it.
void FinishKWalk(int64_t p) {
  if (job.allprimes && p > job.maxp) print("#rSieve terminated : All remaining values yield prime numbers !!");
  if (job.fAppend && job.State == STATE_INTERRUPTED) return;
  outputandtidyvals(p, job.outbuff, job.fAppend);
  if (job.State != STATE_PREPARING && !job.SaveFailed)
    fprint("#oOutput file '%s' generated, contains %u %c's", job.outbuff.c_str(), job._nvalsleft, job.k_n);
  job.firstp = p;
}

bool RunThreadedBase2KWalk(const KSearchContext& search, bool fTimedSaves) {
  const unsigned threads = ThreadsForRun();
  if (threads <= 1) return false;
  const KWalkContext ctx{search, kernel};
  ChunkRing<KChunk, KChunkWorker, KWalkContext> ring(ctx, threads);
  if (!ring.Started()) return false;

  KReportPoints points(fTimedSaves);
  // Ends the run at p, every prime below it applied.
  auto finish = [&](int64_t p) {
    points.At(p);
    FinishKWalk(p);
  };
  auto apply = [&](const KChunk& c) {
    const int64_t first = c.first ? c.first : c.next;  // the chunk's first prime (0: none)
    if (first && points.At(first)) {
      FinishKWalk(first);
      return false;
    }
    bool reportAllowed = true;
    for (const KPrime& kp : c.primes) {
      if (!Running()) {  // stopped from outside: before this prime, as one thread would
        finish(kp.p);
        return false;
      }
      PrimeStrikes s;
      ApplyKStrikes(search, kp.p, c.strikes.data() + kp.first, c.strikes.data() + kp.first + kp.count, s);
      const bool report = s.any() && reportAllowed && ReportDue(static_cast<long>(std::time(nullptr)));
      if (report) reportAllowed = false;
      FinishPrime(kp.p, s, report);
      if (job.AllRemoved) {
        if (!job.fAppend) outputandtidyvals(kp.p + 1, job.outbuff, false);
        return false;
      }
      if (!Running() || (kp.after && kp.after >= job.maxp)) {  // the strikes stopped the run: at the next prime
        finish(kp.after ? kp.after : FirstAfter(kp.p, true));
        return false;
      }
    }
    if (c.last) {
      finish(c.next);
      return false;
    }
    return true;
  };
  auto failed = [](int64_t resume) {
    print("#rOut of memory in a sieving thread: the run stops here.");
    job.State = STATE_INTERRUPTED;
    outputandtidyvals(resume, job.outbuff, job.fAppend);
    if (!job.SaveFailed) fprint("#oOutput file '%s' generated, contains %u %c's", job.outbuff.c_str(), job._nvalsleft, job.k_n);
    job.firstp = resume;
  };
  ring.Run(job.firstp, true, apply, finish, failed);
  return true;
}

// The fixed-k work procedures of the loop: each prime drawn by the loop, searched and applied
// at once.
bool DescribeK(WorkProcedure w, KSearchKind& kind, bool& tiny) {
  tiny = w == DoKSieve_tiny;
  if (w == DoKSieve || w == DoKSieve_tiny) kind = KSearchKind::Base2;
  else if (w == DoKSieveOtherBases) kind = KSearchKind::OtherBase;
  // The short-range walk's tiny procedure is the plain one (its small-candidate check is free).
  else if (w == DoKSieveShortRange || w == DoKSieveShortRange_tiny) kind = KSearchKind::ShortRange;
  else return false;
  return true;
}

// The loop's walk with `threads` workers finding each prime's strikes and this thread applying
// them as the work procedure would. False, having drawn no prime, when no thread started.
template <class Finder, class Applier>
bool WalkOnThreads(LoopPoints& points, unsigned threads, const typename Finder::Context& ctx, Procedure procedure,
                   Procedure successor, const Applier& applier) {
  using WalkerT = Walker<Applier>;
  WalkerT walker(points, procedure, successor, applier);
  using ChunkT = Chunk<typename Finder::StrikeT>;
  ChunkRing<ChunkT, ChunkWorker<Finder>, typename Finder::Context> ring(ctx, threads);
  if (!ring.Started()) return false;

  // Saves made by the loop's checks apply what the walker holds, as the flush of the work
  // procedures does.
  struct FlushSlot {
    void (*saved)() = workflush;
    ~FlushSlot() {
      workflush = saved;
      activeWalker = nullptr;
    }
  } flushSlot;
  activeWalker = &walker;
  flushActiveWalker = [](void* w) { static_cast<WalkerT*>(w)->Flush(); };
  workflush = FlushActiveWalker;

  // The loop's own thread may have walked the dense start: the workers begin at its source's
  // next prime.
  ring.Run(
      soe2_peek() - 1, false, [&](const ChunkT& c) { return walker.Walk(c) && !c.last; },
      [&](int64_t resume) { walker.StopAt(resume); }, [&](int64_t resume) { StopOutOfMemory(walker, resume); });
  return true;
}

}  // namespace

unsigned ThreadsForRun() {
  if (job.Threads != 0) return job.Threads;
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

void InstallThreadedKWalk() { ThreadedBase2KWalk = ThreadsForRun() > 1 ? RunThreadedBase2KWalk : nullptr; }

int64_t ThreadedFrom() {
  if (const char* from = std::getenv("MORVANE_TEST_THREADS_FROM")) return std::max<int64_t>(job.firstp, std::atoll(from));
  KSearchKind kind;
  bool tiny = false;
  Procedure procedure;
  StrikeContext ctx;
  // The fixed-k searches strike rarely from the start; runs the workers do not take stay here
  // anyway.
  if (DescribeK(workprocedure, kind, tiny) || !Describe(workprocedure, procedure) || !PrepareStrikes(ctx))
    return job.firstp;
  // The struck share falls as p grows (a class strikes only where it lies among the
  // candidates): probe a batch of primes at doubling points until it is below the bound.
  // Small segments: a probe needs a few thousand primes, not a run's segment of them.
  PrimeSource source(TIER_BYTES[0]);
  constexpr uint32_t PROBE = 1024;  // 5% of it is known to about a seventh
  std::vector<int64_t> primes(PROBE);
  std::vector<Strike> found;
  for (int64_t p = std::max<int64_t>(job.firstp, 1 << 16); p < job.maxp; p = p > job.maxp / 2 ? job.maxp : 2 * p) {
    source.Init(p, false);
    const uint32_t n = source.Take(primes.data(), PROBE, job.maxp - 1);
    found.clear();
    FindStrikes(ctx, primes.data(), n, found);
    uint32_t struck = 0;
    for (size_t i = 0; i < found.size(); ++i) struck += i == 0 || found[i].index != found[i - 1].index;
    if (struck < n * SPARSE_SHARE) return std::max(job.firstp, p);
  }
  return job.maxp;
}

bool RunThreadedLoop(LoopPoints& points, unsigned threads) {
  KSearchKind kind;
  bool tiny = false;
  if (DescribeK(workprocedure, kind, tiny)) {
    // What the first call of the fixed-k procedure would set up for the run.
    const KWalkContext ctx{PrepareKSearch(kind), kernel};
    return WalkOnThreads<KFinder>(points, threads, ctx, {Grouping::Single}, {Grouping::Single},
                                  KApplier(ctx.search, tiny));
  }
  Procedure procedure, successor{Grouping::Single};
  if (!Describe(workprocedure, procedure)) return false;
  if (procedure.grouping == Grouping::Pairs && !Describe(PairingSuccessor(workprocedure), successor)) return false;
  ClassWalkContext ctx;
  ctx.reachBelow = ReachOf(procedure.grouping);
  ctx.reachAbove = ReachOf(procedure.grouping == Grouping::Pairs ? successor.grouping : procedure.grouping);
  if (!PrepareStrikes(ctx.strikes)) return false;
  return WalkOnThreads<ClassFinder>(points, threads, ctx, procedure, successor, ClassApplier());
}
