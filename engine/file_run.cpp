// The run of one sieve file: set-up, the store for a new file, the sub-range phase for
// ranges too large for the bitmap, the stop limit and the hand-over to the sieve loop.
#include "engine/file_run.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <ctime>
#include <string>

#include "kernels/cpu_features.h"
#include "common/print.h"
#include "engine/report.h"
#include "engine/sieve_file.h"
#include "engine/sieve_job.h"
#include "engine/sieve_loop.h"
#include "fixedk/progress.h"
#include "fixedn/bitmap.h"
#include "fixedn/candidate_set.h"
#include "fixedn/clear.h"
#include "kernels/modarith.h"
#include "kernels/primorial.h"
#include "primes/soe2.h"

namespace {

const char* const SUBRANGE_FILE = "QUILLSOR.TMP";
constexpr int64_t SUBRANGE_DEPTH = 1000000000;

int64_t DefaultMaxp() {
  const uint32_t special = MODE_BN_K | MODE_AP | MODE_FIXED_K | MODE_PRIMORIAL;
  if (job._base == 2 && !(job._mode & special)) return (int64_t{1} << 59) - 1;
  return (int64_t{1} << 47) - 1;
}

// Where a new file starts: the primes up to n divide n#, so primorial forms start at n,
// except the progression and the tuples (whose P leaves 5 out), which those primes sieve.
int64_t StartingPrime() {
  bool fromN = (job._mode & MODE_PRIMORIAL) && !(job._mode & (MODE_AP | MODE_PLUS5));
  return fromN ? job._nvalue : 1;
}

// Sets the bit of every candidate of MinNum..MaxNum in a cleared bitmap; returns their number.
uint32_t FillBitmap() {
  int64_t v = job.MinNum;
  if (job.fIncIsTwo && (v & 1) == static_cast<int64_t>(job._base & 1)) ++v;
  const int64_t step = job.fIncIsTwo ? 2 : 1;
  uint32_t count = 0;
  // With the multiplier b^0 = 1 the −1 member of k = 1 is 0, which every prime divides.
  const bool zeroMember = job._nvalue == 0 && (job._mode & MODE_MINUS) &&
                          !(job._mode & (MODE_N_VARIES | MODE_AP | MODE_PRIMORIAL));
  for (; v <= job.MaxNum; v += step) {
    if (v == 1 && zeroMember) continue;
    SetBit(static_cast<uint32_t>(v - job.MinNum));
    ++count;
  }
  return count;
}

// The stop value, kept within what the arithmetic handles exactly.
int64_t StopLimit() {
  if (job.StopValue <= MAX_SIEVE_P) return job.StopValue;
  fprint("The stop value %" PRId64 " is above the largest p this sieve handles exactly; sieving up to p = %" PRId64
         " instead.",
         job.StopValue, MAX_SIEVE_P);
  job.StopValue = MAX_SIEVE_P;
  return MAX_SIEVE_P;
}

// A bitmap holding every candidate of MinNum..MaxNum; false (after the message) when the
// memory cannot be had.
bool BuildBitmap() {
  if (job.MaxNum < job.MinNum) {
    print("...failed - you will have to decrease the Bitmap size.");
    print("##");
    return false;
  }
  const uint64_t bits = static_cast<uint64_t>(job.MaxNum - job.MinNum) + 1;
  if (bits < 8388608) fprint("Using bitmap : allocating %.1fKb of RAM...", (bits + 32.0) / 8192);
  else fprint("Using bitmap : allocating %.1fMb of RAM...", (bits + 32.0) / 8388608);
  FreeCandidateSet();
  if (!AllocateBitmap(bits)) {
    print("...failed - you will have to decrease the Bitmap size.");
    print("##");
    return false;
  }
  range = static_cast<uint32_t>(bits);
  job.nvals = job._nvalsleft = FillBitmap();
  print("...succeeded");
  job.firstp = StartingPrime();
  return true;
}

}  // namespace

int64_t SubRangeEnd(int64_t lo, int64_t maxNum, int64_t threshold) {
  return threshold >= maxNum - lo ? maxNum : lo + threshold;  // never forms lo + threshold past maxNum
}

bool CreateInitialFileBySplittingUpIntoRanges() {
  job.fUseBitMap = true;
  job.fUseHash = false;
  fprint("Using bitmap : allocating %.1fMb of RAM...", (job.BitMapThreshold + 64) / 8388608.0);
  FreeCandidateSet();
  if (!AllocateBitmap(static_cast<uint64_t>(job.BitMapThreshold) + 1)) {
    print("...failed - you will have to decrease the Bitmap size.");
    return false;
  }
  const int64_t savedMin = job.MinNum, savedMax = job.MaxNum;
  const std::string savedOut = job.outbuff;
  job.maxp = (job.StopCriterion == STOP_AT_P && job.StopValue < SUBRANGE_DEPTH) ? job.StopValue : SUBRANGE_DEPTH;
  job.outbuff = SUBRANGE_FILE;
  bool first = true;
  subRangesEmptiedBy = 0;
  bool allEmptied = true;
  // One sub-range at a time: the walk holds nothing per sub-range, however many there are.
  for (int64_t lo = savedMin, hi = SubRangeEnd(lo, savedMax, job.BitMapThreshold);;
       lo = hi + 1, hi = SubRangeEnd(lo, savedMax, job.BitMapThreshold)) {
    job.MinNum = lo;
    job.MaxNum = hi;
    range = static_cast<uint32_t>(hi - lo + 1);
    std::fill(_bitmap, _bitmap + range / 32 + 1, 0u);
    job.nvals = job._nvalsleft = FillBitmap();
    print("...succeeded");
    job.firstp = StartingPrime();
    fprint("Sieving from %c = %" PRId64 " to %c = %" PRId64 "...", job.k_n, lo, job.k_n, hi);
    job.fAppend = !first;  // the first sub-range writes the header, the later ones append
    first = false;
    allRemovedBy = 0;
    dosieve(false);
    allEmptied = allEmptied && job.AllRemoved;
    subRangesEmptiedBy = std::max(subRangesEmptiedBy, allRemovedBy);
    if (job.State != STATE_PREPARING || hi == savedMax) break;
  }
  if (!allEmptied) subRangesEmptiedBy = 0;
  job.MinNum = savedMin;
  job.MaxNum = savedMax;
  job.outbuff = savedOut;
  return true;
}

int64_t subRangesEmptiedBy = 0;

bool LastRunRefused = false;

namespace {
// Removes the intermediate file once the main run that read it has saved the output, however
// the run ends (the all-removed ending leaves by an exception).
struct IntermediateFile {
  bool read = false;
  ~IntermediateFile() {
    if (read && !job.SaveFailed && !VerificationFailed) std::remove(SUBRANGE_FILE);
  }
};
}  // namespace

int SieveFile(bool* fGenerateFile) {
  LastRunRefused = false;
  job.SaveFailed = false;
  const std::sig_atomic_t interruptsAtStart = InterruptRequests;
  IntermediateFile intermediate;
  _control87(0, 0xC00);
  _control87(0x300, 0x300);
  job.State = STATE_PREPARING;
  RemoveStaleSaveFiles(job.outbuff);
  job.MArate = 0;
  const CpuFeatures cpu = ReadCpuFeatures();
  job.fCMOV = cpu.cmov;
  job.fSSE2 = cpu.sse2;
  fprint("CPU capabilities: CMOV: %supported. SSE2: %supported.", cpu.cmov ? "S" : "Uns", cpu.sse2 ? "S" : "Uns");
  soe2_memory(CacheSizeKb());
  // Even k does not change the form: 0x401D and 0x402E are centred like 0x1D and 0x2E.
  if (IsLuckyMode(job._mode)) job._nvalue -= 1;
  if (job._mode & MODE_PRIMORIAL)
    job.LogPrimorial = job.fMyPrimorial ? FillMyPackPrimorial(job.MyPrimorial, job.nMyPrimorial)
                                        : FillPackPrimorial(static_cast<uint32_t>(job._nvalue), job._mode);
  SetDerivedFields();

  if (job.MaxNum - job.MinNum > job.BitMapThreshold) {
    job.fUseBitMap = false;
    if (*fGenerateFile) {
      if (!CreateInitialFileBySplittingUpIntoRanges()) {
        LastRunRefused = true;
        job.State = STATE_STOPPED;
        print("##");
        return 0;
      }
      if (subRangesEmptiedBy != 0 && job.State == STATE_PREPARING) {
        // Every sub-range ran empty: the job ends as a run that removes its last value does,
        // with an empty output file claiming the largest prime that emptied a sub-range.
        job.State = STATE_STOPPED;
        print("#o**** All values removed! You do not need to test these values!!");
        FreeCandidateSet();  // an empty array: the sub-range bitmap does not span the range
        job.fUseBitMap = job.fUseHash = false;
        job.nvals = job._nvalsleft = 0;
        outputandtidyvals(subRangesEmptiedBy + 1, job.outbuff, false);
        print("##");
        return 0;
      }
      if (job.State == STATE_INTERRUPTED) {
        // No main run on a range only partly sieved; the intermediate file stays.
        print("##");
        fprint("Interrupted while sieving the range in parts: %s holds the %c's sieved so far; "
               "the main run was not started.",
               SUBRANGE_FILE, job.k_n);
        return 0;
      }
      if (!readinfile(SUBRANGE_FILE)) {
        LastRunRefused = true;
        job.State = STATE_STOPPED;
        print("##");
        return 0;
      }
      intermediate.read = true;
    }
    ProgressLine(job.firstp);
  } else {
    job.fUseBitMap = true;
    job.fUseHash = false;
    if (*fGenerateFile && !BuildBitmap()) {
      LastRunRefused = true;
      return 0;
    }
  }

  job.State = STATE_SIEVING;
  // An interrupt that came while reading the intermediate file (or just before this point)
  // must not be forgotten: the run then saves at once and ends.
  if (InterruptRequests != interruptsAtStart) job.State = STATE_INTERRUPTED;
  job.maxp = job.StopCriterion == STOP_AT_P ? StopLimit() : DefaultMaxp();
  if (job.StopCriterion == STOP_AFTER_HOURS) job.StopTime = time(nullptr);
  fprint("#g%u candidates", job._nvalsleft);
  job.fAppend = false;
  dosieve(true);
  print("##");
  return 0;
}
