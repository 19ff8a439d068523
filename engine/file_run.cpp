// The run of one sieve file (preparation for a bitmap-sized range, then the loop) and the
// size estimate it prints.
#include "engine/file_run.h"

#include <cmath>
#include <ctime>

#include "engine/print.h"
#include "engine/sieve_job.h"
#include "engine/sieve_loop.h"
#include "fixedn/bitmap.h"
#include "fixedn/candidate_set.h"
#include "kernels/primorial.h"

namespace {

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

// A bitmap holding every candidate of MinNum..MaxNum; false (after the message) when the
// memory cannot be had.
bool buildBitmap() {
  range = static_cast<uint32_t>(job.MaxNum - job.MinNum + 1);
  if (range < 8388608)
    fprint("Using bitmap : allocating %.1fKb of RAM...", (range + 32.0) / 8192);
  else
    fprint("Using bitmap : allocating %.1fMb of RAM...", (range + 32.0) / 8388608);
  FreeCandidateSet();
  if (!AllocateBitmap(range)) {
    print("...failed - you will have to decrease the Bitmap size.");
    print("##");
    return false;
  }
  int64_t first = job.MinNum;
  if (job.fIncIsTwo && (first & 1) == (job._base & 1)) ++first;
  const int64_t step = job.fIncIsTwo ? 2 : 1;
  uint32_t count = 0;
  for (int64_t v = first; v <= job.MaxNum; v += step, ++count) SetBit(static_cast<uint32_t>(v - job.MinNum));
  job.nvals = job._nvalsleft = count;
  print("...succeeded");
  const bool primorialStart = (job._mode & MODE_PRIMORIAL) && !(job._mode & (MODE_AP | MODE_PLUS5));
  job.firstp = primorialStart ? job._nvalue : 1;
  return true;
}

}  // namespace

void EstimateSize() {
  int dmin = digitsBelow(logNumberOf(job.MinNum));
  int dmax = digitsBelow(logNumberOf(job.MaxNum));
  if (dmin == dmax) fprint("Sieving numbers with %d decimal digits", dmin + 1);
  else fprint("Sieving numbers with %d to %d decimal digits", dmin + 1, dmax + 1);
}

int SieveFile(bool* fGenerateFile) {
  job.State = STATE_PREPARING;
  job.MArate = 0;
  SetDerivedFields();
  if (job._mode & MODE_PRIMORIAL)
    job.LogPrimorial = job.fMyPrimorial ? FillMyPackPrimorial(job.MyPrimorial, job.nMyPrimorial)
                                        : FillPackPrimorial(static_cast<uint32_t>(job._nvalue), job._mode);
  if (*fGenerateFile) {
    // Ranges beyond the bitmap need the sub-range phase of the full file run.
    if (job.MaxNum - job.MinNum > job.BitMapThreshold || job.MaxNum < job.MinNum) {
      print("...failed - you will have to decrease the Bitmap size.");
      print("##");
      return 0;
    }
    job.fUseBitMap = true;
    job.fUseHash = false;
    if (!buildBitmap()) return 0;
  }
  job.State = STATE_SIEVING;
  const bool base2Plain = job._base == 2 && !(job._mode & (MODE_BN_K | MODE_AP | MODE_FIXED_K | MODE_PRIMORIAL));
  job.maxp = job.StopCriterion == STOP_AT_P ? job.StopValue : (base2Plain ? (int64_t{1} << 59) - 1 : (int64_t{1} << 47) - 1);
  if (job.StopCriterion == STOP_AFTER_HOURS) job.StopTime = time(nullptr);
  fprint("#g%d candidates", static_cast<int>(job._nvalsleft));
  job.fAppend = false;
  dosieve(true);
  print("##");
  return 0;
}
