// The sieve loop's checks at the primes it draws itself (progress, stop criteria, timed and
// final saves) and after each work call (the last value gone), shared by the single-threaded
// walk and the threaded one so that both stop, report and save at the same primes.
#pragma once
#include <cstdint>
#include <ctime>

#include "engine/progress_line.h"
#include "engine/sieve_job.h"

class LoopPoints {
 public:
  explicit LoopPoints(bool fTimedSaves);

  // At a prime the loop draws, before its work. True when the run ended here: the file is
  // written (held primes applied first through `workflush`) and `firstp` is p.
  bool AtDrawnPrime(int64_t p) {
    if (!ProgressDue() && (p & mask_) == lastBit_ && (job.State == STATE_PREPARING || job.State == STATE_SIEVING) && p < job.maxp)
      return false;
    return ReportPoint(p);
  }
  // After the work call of the drawn prime p. True when the last value went (the file is
  // then written as due).
  bool AfterWork(int64_t p) {
    if (!job.AllRemoved) return false;
    LastValueGone(p);
    return true;
  }

 private:
  bool ReportPoint(int64_t p);
  void LastValueGone(int64_t p);
  void TimingPoint();

  bool fTimedSaves_;
  int64_t mask_;
  int64_t lastBit_;
  time_t nextSave_;
  // Timing trace of the report points (the settings file's test switch).
  int64_t tracePrevious_ = 0;
  double traceAverage_ = 0;
  int64_t traceCount_ = 0;
};
