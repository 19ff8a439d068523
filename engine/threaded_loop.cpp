// The threaded walk. One thread (the caller) draws the primes into chunks, hands them to the
// workers, and applies each chunk's classes in order once it is computed; it owns the store,
// the files, the thread-local slots and the stop checks, so nothing the loop observes moves
// to another thread. Chunks in flight are bounded by a small multiple of the thread count.
#include "engine/threaded_loop.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "common/print.h"
#include "engine/sieve_file.h"
#include "fixedn/clear.h"
#include "fixedn/removal_rules.h"
#include "fixedn/strikes.h"
#include "fixedn/work_procedures.h"
#include "kernels/batch_finders.h"
#include "primes/soe2.h"

namespace {

// Primes per chunk: a few milliseconds of work at the usual exponents, so a stop is noticed
// quickly, yet enough to make the hand-over cost small.
constexpr size_t CHUNK_PRIMES = 4096;
constexpr unsigned CHUNKS_PER_THREAD = 4;
constexpr int64_t PAIR_LIMIT = int64_t{1} << 32;
constexpr int64_t BIT46 = int64_t{1} << 46;

// How the single-threaded work procedures group the primes between the loop's checks.
enum class Grouping {
  Pairs,    // every prime drawn by the loop; held in twos (below 2^32)
  Sixes,    // the loop draws one prime, the procedure draws five more and applies all six
  Twelves,  // the same with twelve
  Sixteens, // the same with sixteen (the other-base procedures)
  Collect,  // every prime drawn by the loop; held until six are collected
  Single,   // every prime drawn by the loop and applied at once
};

struct Procedure {
  Grouping grouping;
  bool twinInline = false;  // the six-prime twin procedure: +1 classes of all six, then −1
};

bool Describe(WorkProcedure w, Procedure& out) {
  if (w == WorkProcBase2_Smallp || w == WorkProcBase2_AP_Smallp || w == WorkProcPrimorial_Smallp ||
      w == WorkProcPrimorial_AP_Smallp) {
    out = {Grouping::Pairs};
  } else if (w == WorkProcBase2_Bigp || w == WorkProcBase2_Plus_Bigp || w == WorkProcBase2_Minus_Bigp) {
    out = {Grouping::Sixes};
  } else if (w == WorkProcBase2_Twin_Bigp) {
    out = {Grouping::Sixes, true};
  } else if (w == WorkProcBase2_SSE2_Bigp) {
    out = {Grouping::Twelves};
  } else if (w == WorkProcBase2_VeryBigp || w == WorkProcBase2_NoCMOV_Bigp) {
    out = {Grouping::Collect};
  } else if (w == WorkProcNotBase2 || w == WorkProcNotBase2_NoInverses || w == WorkProcNotBase2_AP) {
    out = {Grouping::Sixteens};
  } else if (w == WorkProcBase2_AP_Bigp || w == WorkProcPrimorial_Bigp || w == WorkProcPrimorial_AP_Bigp) {
    out = {Grouping::Single};
  } else {
    return false;
  }
  return true;
}

// The procedure a pairing one hands over to at the first prime above 2^32.
WorkProcedure PairingSuccessor(WorkProcedure w) {
  if (w == WorkProcBase2_Smallp) return Base2Successor();
  if (w == WorkProcBase2_AP_Smallp) return WorkProcBase2_AP_Bigp;
  if (w == WorkProcPrimorial_Smallp) return WorkProcPrimorial_Bigp;
  return WorkProcPrimorial_AP_Bigp;
}

struct Chunk {
  std::vector<int64_t> primes;
  std::vector<Strike> strikes;
  bool last = false;  // the prime source reached maxp: next is the first prime not below it
  int64_t next = 0;
  bool computed = false;  // guarded by the workers' mutex
  bool failed = false;    // the worker ran out of memory
};

// Applies computed chunks as the work procedures would, prime after prime.
class Walker {
 public:
  Walker(LoopPoints& points, Procedure procedure, Procedure successor)
      : points_(points), proc_(procedure), successor_(successor) {}

  // False when the run ended inside the chunk (the file is written).
  bool Walk(const Chunk& c) {
    const Strike* s = c.strikes.data();
    const Strike* end = s + c.strikes.size();
    for (uint32_t i = 0; i < c.primes.size(); ++i) {
      const Strike* first = s;
      while (s != end && s->index == i) ++s;
      if (!Feed(c.primes[i], first, static_cast<uint32_t>(s - first))) return false;
    }
    if (!c.last) return true;
    // The batch procedures never draw a prime at or beyond maxp: a batch ends short there.
    if (batchLeft_ > 0) {
      batchLeft_ = 0;
      if (!EndOfBatch()) return false;
    }
    return Feed(c.next, nullptr, 0);
  }

  // Applies the primes held back (the loop's flush before a save).
  void Flush() {
    for (const Held& h : held_) Apply(h.p, heldStrikes_.data() + h.first, h.count);
    held_.clear();
    heldStrikes_.clear();
  }

 private:
  struct Held {
    int64_t p;
    uint32_t first, count;
  };

  static void Apply(int64_t p, const Strike* s, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) ClearRoutine(s[i].k, p);
  }
  void Hold(int64_t p, const Strike* s, uint32_t n) {
    held_.push_back({p, static_cast<uint32_t>(heldStrikes_.size()), n});
    heldStrikes_.insert(heldStrikes_.end(), s, s + n);
  }
  // The six-prime twin procedure clears the +1 class (slot 1) of every prime, then the −1.
  void FlushTwin() {
    for (uint32_t slot : {1u, 0u})
      for (const Held& h : held_)
        for (uint32_t i = 0; i < h.count; ++i)
          if (heldStrikes_[h.first + i].slot == slot) ClearRoutine(heldStrikes_[h.first + i].k, h.p);
    held_.clear();
    heldStrikes_.clear();
  }
  bool EndOfBatch() {
    if (proc_.twinInline) FlushTwin();
    return !points_.AfterWork(drawn_);
  }

  bool Feed(int64_t p, const Strike* s, uint32_t n) {
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
        if (held_.size() == (proc_.grouping == Grouping::Pairs ? 2u : 6u)) Flush();
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
  std::vector<Held> held_;
  std::vector<Strike> heldStrikes_;
  int batchLeft_ = 0;  // primes the current batch still takes
  int64_t drawn_ = 0;  // the prime the loop drew for the current batch
};

Walker* activeWalker = nullptr;
void FlushActiveWalker() { activeWalker->Flush(); }

// The computing threads and their queue.
class Workers {
 public:
  Workers(const StrikeContext& ctx, unsigned count) : ctx_(ctx) {
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
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  size_t size() const { return threads_.size(); }

  void Submit(Chunk* c) {
    {
      std::lock_guard<std::mutex> lock(m_);
      c->computed = false;
      queue_.push_back(c);
    }
    work_.notify_one();
  }
  void WaitComputed(Chunk* c) {
    std::unique_lock<std::mutex> lock(m_);
    done_.wait(lock, [c] { return c->computed; });
  }

 private:
  void Run() {
    for (;;) {
      Chunk* c;
      {
        std::unique_lock<std::mutex> lock(m_);
        work_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        c = queue_.front();
        queue_.pop_front();
      }
      bool failed = false;
      try {
        c->strikes.clear();
        FindStrikes(ctx_, c->primes.data(), static_cast<uint32_t>(c->primes.size()), c->strikes);
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

  const StrikeContext& ctx_;
  std::mutex m_;
  std::condition_variable work_, done_;
  std::deque<Chunk*> queue_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

// Draws the next chunk of primes from the prime source (this thread's, as the loop would).
void Fill(Chunk& c) {
  c.primes.clear();
  c.last = false;
  while (c.primes.size() < CHUNK_PRIMES) {
    const int64_t p = soe2_next();
    if (p >= job.maxp) {
      c.last = true;
      c.next = p;
      return;
    }
    c.primes.push_back(p);
  }
}

// A worker ran out of memory: every prime below `resume` has been applied (held ones now), so
// the file can claim resume − 1; the run stops there.
void StopOutOfMemory(Walker& walker, int64_t resume) {
  print("#rOut of memory in a sieving thread: the run stops here.");
  walker.Flush();
  job.State = STATE_INTERRUPTED;
  if (ClearRoutine == ClearBitmapSmallpMultivals) ClearRoutine(1, 2);
  outputandtidyvals(resume, job.outbuff, job.fAppend);
  if (!job.SaveFailed) fprint("#oOutput file '%s' generated, contains %u %c's", job.outbuff.c_str(), job._nvalsleft, job.k_n);
  job.firstp = resume;
}

}  // namespace

unsigned ThreadsForRun() {
  if (job.Threads != 0) return job.Threads;
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

bool RunThreadedLoop(LoopPoints& points, unsigned threads) {
  Procedure procedure, successor{Grouping::Single};
  if (!Describe(workprocedure, procedure)) return false;
  if (procedure.grouping == Grouping::Pairs && !Describe(PairingSuccessor(workprocedure), successor)) return false;
  StrikeContext ctx;
  if (!PrepareStrikes(ctx)) return false;

  Walker walker(points, procedure, successor);
  // The chunks outlive the workers: a stop (a return, or the all-removed unwind) joins the
  // workers first, so no thread still writes into a chunk being freed.
  const size_t ring = CHUNKS_PER_THREAD * static_cast<size_t>(threads);
  std::vector<std::unique_ptr<Chunk>> chunks;
  for (size_t i = 0; i < ring; ++i) chunks.push_back(std::make_unique<Chunk>());
  Workers workers(ctx, threads);
  if (workers.size() == 0) return false;

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
  workflush = FlushActiveWalker;

  size_t head = 0, inFlight = 0;
  bool drawnAll = false;
  for (;;) {
    while (inFlight < ring && !drawnAll) {
      Chunk& c = *chunks[(head + inFlight) % ring];
      Fill(c);
      drawnAll = c.last;
      workers.Submit(&c);
      ++inFlight;
    }
    Chunk& c = *chunks[head];
    workers.WaitComputed(&c);
    if (c.failed) {
      StopOutOfMemory(walker, c.primes.empty() ? c.next : c.primes.front());
      return true;
    }
    if (!walker.Walk(c) || c.last) return true;
    head = (head + 1) % ring;
    --inFlight;
  }
}
