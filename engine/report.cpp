// Removal reporting with the 20-sample rate history, and verification of struck values.
#include "engine/report.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "common/print.h"
#include "engine/sieve_file.h"
#include "engine/sieve_job.h"
#include "fixedn/sieve_slots.h"
#include "kernels/modarith.h"
#include "primes/primetable.h"

long LastTime[RATE_SAMPLES];
uint32_t savenvalsleft[RATE_SAMPLES];
int rateindex = 0;
int trailrateindex = 1;

void ResetRateHistory() {
  for (int i = 0; i < RATE_SAMPLES; ++i) {
    LastTime[i] = 0;
    savenvalsleft[i] = 0;
  }
  rateindex = 0;
  trailrateindex = 1;
}

std::string TimeOfDay(long now) {
  time_t t = static_cast<time_t>(now);
  struct tm local;
  localtime_r(&t, &local);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

namespace {

// Removals per second between the sample in `slot` and now.
double rateSince(int slot, long now) {
  long dt = now - LastTime[slot];
  if (dt < 1) dt = 1;  // samples of the throttled reports may share a second
  return static_cast<double>(static_cast<int64_t>(savenvalsleft[slot]) - job._nvalsleft) / dt;
}

void printRate(long now) {
  double r = rateSince(trailrateindex, now);
  if (r > 10) {
    int j = (trailrateindex + 10) % RATE_SAMPLES;
    fprint("#rRate: %.0f %c's per second", rateSince(j, now), job.k_n);
    job.MArate = 0;
    return;
  }
  if (r <= 0) return;  // nothing went in the whole window: no rate to show
  double s = 1 / r;
  job.MArate = job.MArate == 0 ? s : 0.8 * job.MArate + 0.2 * s;
  s = job.MArate;
  if (s < 120) {
    fprint("#rRate: 1 %c every %.1f seconds", job.k_n, s);
  } else {
    long long whole = static_cast<long long>(s);
    fprint("#rRate: 1 %c every %lld:%02lld minutes", job.k_n, whole / 60, whole % 60);
  }
  if (job.State == STATE_SIEVING && job.StopCriterion == STOP_AT_RATE && job.StopValue < 10 * s)
    job.State = STATE_STOPPED;
}

}  // namespace

void ClearReport(long now, int64_t p, int64_t value) {
  std::string t = TimeOfDay(now);
  fprint("%s %u %c's remaining. p=%" PRId64 " divides %c=%" PRId64, t.c_str(), job._nvalsleft, job.k_n, p,
         job.k_n, value);
  fprint("#t%s %u %c's left", t.c_str(), job._nvalsleft, job.k_n);
  if (LastTime[trailrateindex] != 0) printRate(now);
  rateindex = (rateindex + 1) % RATE_SAMPLES;
  trailrateindex = (trailrateindex + 1) % RATE_SAMPLES;
  LastTime[rateindex] = now;
  savenvalsleft[rateindex] = job._nvalsleft;
}

namespace {

int64_t reduce(int64_t x, int64_t p) {
  int64_t r = x % p;
  return r < 0 ? r + p : r;
}

// Product of the table primes up to `limit` times v, mod p, leaving out 5 and 7 on request.
int64_t timesTablePrimes(int64_t v, int64_t limit, int64_t p, bool skip5, bool skip7) {
  for (int i = 0; i < PRIMETABLE_SIZE && primetable[i] <= limit; ++i) {
    int64_t q = primetable[i];
    if ((q == 5 && skip5) || (q == 7 && skip7)) continue;
    v = mulmodp2(v, q % p, p);
  }
  return v;
}

// The residue of the base number of the candidate (k·b^n, k·n#, n#, ...) mod p.
int64_t baseNumber(int64_t k, uint32_t n, int64_t p) {
  const uint32_t mode = job._mode;
  if (job.fMyPrimorial) {
    int64_t K = 1;
    for (uint32_t i = 0; i < job.nMyPrimorial; ++i) K = mulmodp2(K, reduce(job.MyPrimorial[i], p), p);
    return fastkbasepownmodp(K, n, p);
  }
  if ((mode & MODE_FIXED_K) && (mode & MODE_PRIMORIAL)) {
    int64_t K = timesTablePrimes(2 % p, k, p, false, false);
    return fastkbasepownmodp(K, n, p);
  }
  if (mode & MODE_PRIMORIAL) {
    int64_t v = (mode & MODE_AP) ? 1 % p : reduce(k, p);
    if (mode != 0x5D && mode != 0x6E) v = mulmodp2(v, 2, p);
    return timesTablePrimes(v, n, p, mode & MODE_PLUS5, mode & MODE_PLUS7);
  }
  int64_t c = (mode & (MODE_AP | MODE_BN_K)) ? 1 % p : reduce(k, p);
  return fastkbasepownmodp(c, n, p);
}

bool divides(int64_t k, uint32_t n, int64_t p) {
  const uint32_t mode = job._mode;
  using i128 = __int128;
  auto zero = [p](i128 v) { return v % p == 0; };
  int64_t x = baseNumber(k, n, p);
  if (mode & MODE_BN_K) return (mode & MODE_PLUS) ? zero(i128{x} + k) : zero(i128{x} - k);
  if (mode & MODE_AP) return zero(i128{x} + 2 * i128{k} - 1 - (job._base % 2));
  const int64_t minusOne = p - 1;
  if ((mode & MODE_MINUS) && x == 1 % p) return true;
  if ((mode & MODE_PLUS) && x == minusOne) return true;
  if ((mode & MODE_PLUS5) && zero(i128{x} + 5)) return true;
  if ((mode & MODE_PLUS7) && zero(i128{x} + 7)) return true;
  const int64_t linkFactor = (job._base == 2 || (mode & MODE_NOT_GENERALIZED)) ? 2 % p : job._base % p;
  if (mode & (MODE_PLUS2 | MODE_MINUS2)) {
    x = mulmodp2(x, linkFactor, p);
    if ((mode & MODE_MINUS2) && x == 1 % p) return true;
    if ((mode & MODE_PLUS2) && x == minusOne) return true;
  }
  if (mode & MODE_SG3) {
    x = mulmodp2(x, 2, p);
    if (zero(i128{x} + 3)) return true;
  }
  if (mode & (MODE_CHAIN_PLUS | MODE_CHAIN_MINUS)) {
    for (int i = 3; i <= job.len3plus; ++i) {
      x = mulmodp2(x, linkFactor, p);
      if ((mode & MODE_CHAIN_MINUS) && x == 1 % p) return true;
      if ((mode & MODE_CHAIN_PLUS) && x == minusOne) return true;
    }
  }
  return false;
}

}  // namespace

bool VerificationFailed = false;

void Verify(int64_t k, uint32_t n, int64_t p) {
  if (divides(k, n, p)) return;
  print("#m**** Fatal error!!! - validation failed!\r\n");
  if (FILE* f = std::fopen("morvane.err", "w")) {
    if (job.fMyPrimorial)
      std::fprintf(f, " p=%" PRId64 " \n mode=0x%x \n k=%s \n n=%d \n base=%d \n len3plus=%d \n\n", p, job._mode,
                   job.kExpression.c_str(), static_cast<int>(n), static_cast<int>(job._base), job.len3plus);
    else
      std::fprintf(f, " p=%" PRId64 " \n mode=0x%x \n k=%" PRId64 " \n n=%d \n base=%d \n len3plus=%d \n\n", p,
                   job._mode, k, static_cast<int>(n), static_cast<int>(job._base), job.len3plus);
    print("A FILE CALLED MORVANE.ERR HAS BEEN CREATED CONTAINING DEBUG INFORMATION");
    print("Please send this file to the Morvane developers, with the job that produced it.");
    std::fclose(f);
  }
  job.State = STATE_INTERRUPTED;
  VerificationFailed = true;
  print("##");
  throw SieveStop{};
}

void InstallRemovalServices() {
  removal.Verify = Verify;
  removal.ClearReport = ClearReport;
  removal.outputandtidyvals = outputandtidyvals;
  removal.LatestSampleTime = [] { return LastTime[rateindex]; };
  removal.LatestSampleCount = [] { return savenvalsleft[rateindex]; };
}
