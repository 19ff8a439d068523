// The sieve loop: start-up of a run and the per-prime walk with its report points.
#include "engine/sieve_loop.h"

#include <sys/time.h>

#include <algorithm>
#include <cinttypes>
#include <algorithm>
#include <cmath>
#include <ctime>

#include "common/print.h"
#include "engine/loop_points.h"
#include "engine/progress_line.h"
#include "engine/report.h"
#include "engine/sieve_file.h"
#include "engine/sieve_job.h"
#include "engine/slot_tables.h"
#include "engine/threaded_loop.h"
#include "fixedk/base2_ksieve.h"
#include "fixedk/ksieve.h"
#include "fixedn/clear.h"
#include "fixedn/removal_rules.h"
#include "fixedn/work_procedures.h"  // savep, pindex: what a work call holds back
#include "kernels/kernel_context.h"
#include "kernels/modarith.h"
#include "kernels/primorial.h"
#include "primes/soe2.h"

bool fTest = false;
void (*ChooseProcedures)() = ChooseSieveProcedures;

namespace {

// Numbers below e^87.33 (about 2^126) get a square-root limit.
constexpr double LIMIT_LOG = 87.33;

bool running() { return job.State == STATE_PREPARING || job.State == STATE_SIEVING; }

void applyLimit() {
  if (job.sievelimit != 0 && job.sievelimit < job.maxp) {
    job.maxp = job.sievelimit;
    job.allprimes = true;
  }
}

int64_t limitFrom(double logNumber, int64_t extra) {
  return static_cast<int64_t>(std::ceil(std::exp(logNumber / 2))) + extra;
}

std::string factorExpression() {
  std::string s;
  for (uint32_t i = 0; i < job.nMyPrimorial; ++i) s += std::to_string(job.MyPrimorial[i]) + "*";
  if (!s.empty()) s.pop_back();
  return s;
}

// Digits minus one of a number whose natural logarithm is `logNumber`.
int digitsBelow(double logNumber) {
  if (!(logNumber > 0)) return 0;
  return static_cast<int>(std::floor(logNumber / std::log(10.0)));
}

double logNumberOf(int64_t v) {
  const uint32_t mode = job._mode;
  const double Lb = std::log(static_cast<double>(job._base));
  const double Lv = std::log(static_cast<double>(v > 1 ? v : 1));
  if ((mode & MODE_FIXED_K) && (mode & MODE_PRIMORIAL)) return job.LogPrimorial + v * std::log(2.0);
  if (mode & MODE_PRIMORIAL) return job.LogPrimorial + Lv;
  if (mode & MODE_FIXED_K) return v * Lb + std::log(static_cast<double>(job._nvalue));
  if (mode & MODE_BN_K) return v * Lb;
  return job._nvalue * Lb + Lv;
}

// Prints how many decimal digits the numbers sieved have.
void EstimateSize() {
  int dmin = digitsBelow(logNumberOf(job.MinNum));
  int dmax = digitsBelow(logNumberOf(job.MaxNum));
  if (dmin == dmax) fprint("Sieving numbers with %d decimal digits", dmin + 1);
  else fprint("Sieving numbers with %d to %d decimal digits", dmin + 1, dmax + 1);
}

}  // namespace

void SetSieveLimitAndTiny() {
  const uint32_t mode = job._mode;
  const int b = static_cast<int>(job._base);
  const int n = job._nvalue;
  const double Lb = std::log(static_cast<double>(job._base));
  const double Lmaxp = std::log(static_cast<double>(job.maxp));
  const double LogP = job.LogPrimorial;
  const int64_t MinNum = job.MinNum, MaxNum = job.MaxNum;
  job.sievelimit = 0;
  job.allprimes = false;
  if ((mode & MODE_FIXED_K) && (mode & MODE_PRIMORIAL)) {
    if (Lb * MaxNum + LogP < LIMIT_LOG) job.sievelimit = limitFrom(Lb * MaxNum + LogP, 10);
    applyLimit();
    job.tiny = Lmaxp >= MinNum * Lb + LogP;
    if (job.tiny) {
      job.tinyPrimorial = _PackPrimorial[0];
      job.k_base_power_n = kbasepown(job.tinyPrimorial, static_cast<uint32_t>(MinNum));
      job.maxtiny = job.tinyPrimorial < job.maxp ? static_cast<int>(std::floor((Lmaxp - LogP) / Lb)) : 0;
      if (job.fMyPrimorial)
        fprint("k is tiny : %s*%d^%" PRId64 " = %" PRId64, job.kExpression.c_str(), b, MinNum, job.k_base_power_n);
      else
        fprint("k is tiny : %d#*%d^%" PRId64 " = %" PRId64, n, b, MinNum, job.k_base_power_n);
    }
  } else if (mode & MODE_FIXED_K) {
    const double Lk = std::log(static_cast<double>(n));
    if (Lb * MaxNum + Lk < LIMIT_LOG) job.sievelimit = limitFrom(Lb * MaxNum + Lk, 10);
    applyLimit();
    job.tiny = Lmaxp >= MinNum * Lb + Lk;
    if (job.tiny) {
      job.k_base_power_n = kbasepown(n, static_cast<uint32_t>(MinNum));
      job.maxtiny = n < job.maxp ? static_cast<int>(std::floor((Lmaxp - Lk) / Lb)) : 0;
      fprint("k is tiny : %d*%d^%" PRId64 " = %" PRId64, n, b, MinNum, job.k_base_power_n);
    }
  } else if (mode & MODE_BN_K) {
    const int64_t k = n;
    if (Lb * MaxNum < LIMIT_LOG) job.sievelimit = limitFrom(Lb * MaxNum, k);
    applyLimit();
    job.tiny = Lmaxp >= MinNum * Lb;
    if (job.tiny) {
      job.k_base_power_n = kbasepown(1, static_cast<uint32_t>(MinNum));
      const int64_t bn = job.k_base_power_n;
      if ((mode & MODE_PLUS) && k < job.maxp) {
        job.maxtiny = static_cast<int>(std::floor(std::log(static_cast<double>(job.maxp - k)) / Lb));
        fprint("k is tiny : %d^%" PRId64 "+%d = %" PRId64, b, MinNum, n, bn + k);
      } else if (!(mode & MODE_PLUS)) {
        job.maxtiny = static_cast<int>(std::floor(std::log(static_cast<double>(job.maxp) + k) / Lb));
        fprint("k is tiny : %d^%" PRId64 "-%d = %" PRId64, b, MinNum, n, bn - k);
      } else {
        job.tiny = false;
        job.maxtiny = 0;
      }
    }
  } else if ((mode & MODE_AP) && (mode & MODE_PRIMORIAL)) {
    if (LogP < LIMIT_LOG)
      job.sievelimit = static_cast<int64_t>(std::ceil(std::sqrt(2.0 * MaxNum - 1) + std::exp(LogP / 2)));
    applyLimit();
    job.tiny = LogP < std::log(static_cast<double>(job.maxp + 1 - 2 * MinNum));
    if (job.tiny) {
      job.tinyPrimorial = _PackPrimorial[0];
      fprint("n is tiny : %d#+2*%" PRId64 "-1 = %" PRId64, n, MinNum, job.tinyPrimorial + 2 * MinNum - 1);
    }
  } else if (mode & MODE_AP) {
    if (Lb * n < LIMIT_LOG)
      job.sievelimit = static_cast<int64_t>(std::ceil(std::sqrt(2.0 * MaxNum - 1) + std::exp(Lb * n / 2)));
    applyLimit();
    job.tiny = n * Lb < std::log(static_cast<double>(job.maxp + 1 - 2 * MinNum));
    if (job.tiny) {
      job.base_power_n = kbasepown(1, static_cast<uint32_t>(n));
      fprint("n is tiny : %d^%d+2*%" PRId64 "-1 = %" PRId64, b, n, MinNum, job.base_power_n + 2 * MinNum - 1);
    }
  } else if (mode & MODE_PRIMORIAL) {
    // The limit follows the largest member number (a chain's top link), not k·P.
    const double LMax = std::log(static_cast<double>(MaxNum)) + LogTopMemberFactor();
    if (LMax + LogP < LIMIT_LOG) job.sievelimit = limitFrom(LMax + LogP, 10);
    applyLimit();
    job.tiny = Lmaxp >= std::log(static_cast<double>(MinNum)) + LogP;
    if (job.tiny) {
      job.tinyPrimorial = _PackPrimorial[0];
      fprint("n is tiny : %" PRId64 "*%d# = %" PRId64, MinNum, n, MinNum * job.tinyPrimorial);
    }
  } else {
    const double LMax = std::log(static_cast<double>(MaxNum)) + LogTopMemberFactor();
    if (Lb * n + LMax < LIMIT_LOG) job.sievelimit = limitFrom(Lb * n + LMax, 10);
    applyLimit();
    job.tiny = Lmaxp >= n * Lb + std::log(static_cast<double>(MinNum));
    if (job.tiny) {
      job.k_base_power_n = kbasepown(MinNum, static_cast<uint32_t>(n));
      job.base_power_n = kbasepown(1, static_cast<uint32_t>(n));
      fprint("n is tiny : %" PRId64 "*%d^%d = %" PRId64, MinNum, b, n, job.k_base_power_n);
    }
  }
}

void dosieve(bool fTimedSaves) {
  const uint32_t mode = job._mode;
  const bool fixedK = mode & MODE_N_VARIES;
  time_t now = time(nullptr);

  ResetMultivals();
  job.AllRemoved = false;
  LastNow = now;
  nopsthreshold = 10000000;
  nops = 0;
  fFirstTime = true;
  EstimateSize();
  if (job.fMyPrimorial) job.kExpression = factorExpression();

  // The kernels read the form through their context from here on (kbasepown included).
  FillKernelContext(job._base, job._nvalue,
                    fixedK ? static_cast<uint32_t>(job.MaxNum) : static_cast<uint32_t>(job._nvalue));
  SetSieveLimitAndTiny();

  ResetWorkProcedures();
  ResetRateHistory();
  print("#s");
  print("Initialising sieve...");
  ChooseProcedures();

  _control87(0x300, 0x300);
  soe2_init(job.firstp, false);
  InstallRemovalServices();
  print("Done.");
  fprint("%s Starting sieve %s", TimeOfDay(static_cast<long>(time(nullptr))).c_str(),
         job.firstp < 1000000000 && !fixedK ? "(reduced screen output while p < 1 billion)" : "");

  ProgressStart(job.firstp);
  if (job.fCMOV && job._base == 2 && ((mode & ~MODE_ODD_N) == 0x0101 || (mode & ~MODE_ODD_N) == 0x0102)) {
    // The whole run belongs to the baby-step giant-step sieve; a new file first stops after
    // 701 so that the spacing is taken from the survivors of the small primes.
    InstallThreadedKWalk();
    if (job.firstp != 702) Base2KSieve(fTimedSaves);
    if (job.firstp == 702) Base2KSieve(fTimedSaves);
    return;
  }

  LoopPoints points(fTimedSaves);
  // One prime on this thread, drawn into p; true when the run ended.
  auto step = [&points](int64_t& p) {
    p = soe2_next();
    if (points.AtDrawnPrime(p)) return true;
    workprocedure(p);
    return points.AfterWork(p);
  };
  int64_t p = 0;
  if (ThreadsForRun() > 1) {
    // The dense start stays on this thread; the workers take over past `from`, after a work
    // call that left no prime held back. Far below it (more than sixteen prime gaps) the drawn
    // prime alone says the source has not passed it, so most primes cost one compare here.
    const int64_t from = ThreadedFrom();
    const int64_t near = from - (int64_t{1} << 20);
    while (p < near || soe2_peek() <= from || savep != 0 || pindex != 0)
      if (step(p)) return;
    if (RunThreadedLoop(points, ThreadsForRun())) return;
  }
  for (;;)
    if (step(p)) return;
}

LoopPoints::LoopPoints(bool fTimedSaves) : fTimedSaves_(fTimedSaves) {
  const bool fixedK = job._mode & MODE_N_VARIES;
  mask_ = fixedK ? 0x100000 : 0x1000000;
  lastBit_ = job.firstp & mask_;
  nextSave_ = time(nullptr) + static_cast<time_t>(job.WriteIterations) * 60;
}

void LoopPoints::TimingPoint() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  int64_t now = int64_t{tv.tv_sec} * 1000000 + tv.tv_usec;
  if (traceCount_ > 0) {
    traceAverage_ = ((traceCount_ - 1) * traceAverage_ + static_cast<double>(now - tracePrevious_)) / traceCount_;
    fprint("microsecs: Last: %" PRId64 "; ave: %.0f", now - tracePrevious_, traceAverage_);
  }
  ++traceCount_;
  tracePrevious_ = now;
}

bool LoopPoints::ReportPoint(int64_t p) {
  if (fTest) TimingPoint();
  // The clearing routines' work threshold keeps its own rhythm, the report bit's.
  const bool bitChanged = (p & mask_) != lastBit_;
  lastBit_ = p & mask_;
  ProgressReport(p);
  time_t now = time(nullptr);
  if (bitChanged && now - LastNow > 5) {
    double x = nopsthreshold * 2.0 / static_cast<double>(now - LastNow);
    nopsthreshold = x < 3.5e9 ? static_cast<uint32_t>(x) : 3500000000u;
  }
  if (job.State == STATE_SIEVING && job.StopCriterion == STOP_AFTER_HOURS &&
      now - job.StopTime > std::min<int64_t>(job.StopValue, MAX_STOP_HOURS) * 3600)
    job.State = STATE_STOPPED;
  if (!running() || p >= job.maxp) {
    if (job.allprimes && p > job.maxp) print("#rSieve terminated : All remaining values yield prime numbers !!");
    if (job.fAppend && job.State == STATE_INTERRUPTED) return true;
    // The file claims every prime below p: apply what is still held back first.
    if (workflush) workflush();
    if (ClearRoutine == ClearBitmapSmallpMultivals) ClearRoutine(1, 2);
    outputandtidyvals(p, job.outbuff, job.fAppend);
    if (job.State != STATE_PREPARING && !job.SaveFailed)
      fprint("#oOutput file '%s' generated, contains %u %c's", job.outbuff.c_str(), job._nvalsleft, job.k_n);
    job.firstp = p;
    return true;
  }
  if (fTimedSaves_ && now > nextSave_) {
    nextSave_ = now + static_cast<time_t>(job.WriteIterations) * 60;
    if (workflush) workflush();
    if (ClearRoutine == ClearBitmapSmallpMultivals) ClearRoutine(1, 2);
    outputandtidyvals(p, job.outbuff, job.fAppend);
  }
  return false;
}

void LoopPoints::LastValueGone(int64_t p) {
  if (!job.fAppend) outputandtidyvals(std::max(p, allRemovedBy + 1), job.outbuff, false);
}
