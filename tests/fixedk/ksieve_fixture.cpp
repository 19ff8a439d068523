// In-process fixed-k jobs for the procedure tests, checked against the GMP oracle.
#include "tests/fixedk/ksieve_fixture.h"

#include <gmpxx.h>

#include <cinttypes>
#include <cstdio>

#include "engine/sieve_job.h"
#include "fixedk/ksieve.h"
#include "fixedn/array_store.h"
#include "fixedn/bitmap.h"
#include "fixedn/hash_store.h"
#include "fixedn/sieve_slots.h"
#include "fixedn/work_procedures.h"
#include "kernels/kernel_context.h"
#include "kernels/primorial.h"
#include "primes/primetable.h"
#include "primes/soe2.h"

namespace {

OracleJob oracleJob;
int verifyCalls = 0;
int verifyFailures = 0;

void StubVerify(int64_t, uint32_t n, int64_t p) {
  ++verifyCalls;
  bool divides = false;
  for (const mpz_class& num : Oracle(oracleJob).members(n))
    divides = divides || mpz_divisible_ui_p(num.get_mpz_t(), static_cast<unsigned long>(p));
  if (!divides) ++verifyFailures;
}
void StubReport(long, int64_t, int64_t) {}
void StubSave(int64_t, const std::string&, bool) {}
long StubSampleTime() { return 0; }
uint32_t StubSampleCount() { return 0; }

uint32_t BitBelowLeading(uint64_t m) {
  if (m <= 1) return 0;
  return (uint32_t{1} << (31 - __builtin_clz(static_cast<uint32_t>(m)))) >> 1;
}

}  // namespace

void SetUpFixedKJob(const FixedKCase& c) {
  static const bool tablesBuilt = [] {
    FillPrimetable();
    initialise();
    soe2_memory(0);
    return true;
  }();
  (void)tablesBuilt;
  job = SieveJob{};
  job._mode = c.mode;
  job._base = c.base;
  job._nvalue = c.factors.empty() ? c.k : 1;
  job.MinNum = c.nmin;
  job.MaxNum = c.nmax;
  job.fMyPrimorial = !c.factors.empty();
  job.nMyPrimorial = static_cast<uint32_t>(c.factors.size());
  for (size_t i = 0; i < c.factors.size(); ++i) job.MyPrimorial[i] = c.factors[i];
  if (job.fMyPrimorial) job._mode |= MODE_PRIMORIAL;
  SetDerivedFields();
  job.State = STATE_SIEVING;
  job.maxp = int64_t{1} << 40;
  kernel._base = c.base;
  kernel._nvalue = job._nvalue;
  kernel._firstbit32 = BitBelowLeading(static_cast<uint64_t>(c.nmax));
  if (job.fMyPrimorial)
    job.LogPrimorial = FillMyPackPrimorial(job.MyPrimorial, job.nMyPrimorial);
  else if (job._mode & MODE_PRIMORIAL)
    job.LogPrimorial = FillPackPrimorial(static_cast<uint32_t>(c.k), job._mode);
  if (c.base != 2) FindBaseInverses();

  const uint64_t width = static_cast<uint64_t>(c.nmax - c.nmin + 1);
  job.fUseBitMap = true;
  AllocateBitmap(width);
  range = static_cast<uint32_t>(width);
  job._nvalsleft = 0;
  for (int64_t n = c.nmin; n <= c.nmax; ++n) {
    if (job.fIncIsTwo && (n & 1) == 0) continue;
    SetBit(static_cast<uint32_t>(n - c.nmin));
    ++job._nvalsleft;
  }
  job.nvals = job._nvalsleft;

  removal.Verify = StubVerify;
  removal.ClearReport = StubReport;
  removal.outputandtidyvals = StubSave;
  removal.LatestSampleTime = StubSampleTime;
  removal.LatestSampleCount = StubSampleCount;
  fFirstTime = true;
  verifyCalls = verifyFailures = 0;

  oracleJob = OracleJob{};
  oracleJob.mode = job._mode;
  oracleJob.base = c.base;
  oracleJob.n = c.k;
  oracleJob.kFactors = c.factors;
}

void UseSparseStore(bool hash) {
  const std::vector<int64_t> values = SurvivingN();
  job.fUseBitMap = false;
  job.fUseHash = hash;
  job.nvals = static_cast<uint32_t>(values.size());
  if (hash) {
    CanCreateHash(static_cast<int>(values.size()), job.BitMapThreshold / 8);
    CreateHash(static_cast<int>(values.size()));
    for (int64_t v : values) AddToHash(v);
  } else {
    AllocateArray(job.nvals);
    for (size_t i = 0; i < values.size(); ++i) vals[i] = values[i];
  }
}

bool IsCandidateNow(int64_t n) {
  if (job.fUseBitMap) return GetBit(static_cast<uint32_t>(n - job.MinNum)) != 0;
  if (job.fUseHash) {
    for (int32_t i = FirstNumericValue; i >= 0; i = Hash[i].next)
      if (Hash[i].value() == n) return !Hash[i].deleted();
    return false;
  }
  const int64_t i = FindInArray(n, 0, job.nvals);
  return i >= 0 && !IsMarked(vals[i]);
}

std::vector<int64_t> SurvivingN() {
  std::vector<int64_t> out;
  for (int64_t n = job.MinNum; n <= job.MaxNum; ++n)
    if (IsCandidateNow(n)) out.push_back(n);
  return out;
}

void SieveWith(void (*procedure)(const int64_t&), const std::vector<uint64_t>& primes) {
  for (uint64_t q : primes) procedure(static_cast<int64_t>(q));
}

std::string CompareWithOracle(const FixedKCase& c, const std::vector<uint64_t>& primes) {
  const Oracle oracle(oracleJob);
  const std::vector<uint64_t> first = oracle.firstDivisors(c.nmin, c.nmax, primes);
  std::string report;
  int faults = 0;
  uint32_t count = 0;
  for (int64_t n = c.nmin; n <= c.nmax; ++n) {
    if (!oracleIsCandidate(oracleJob, n)) continue;
    const bool survives = IsCandidateNow(n);
    count += survives;
    const uint64_t d = first[static_cast<size_t>(n - c.nmin)];
    if (survives == (d == 0)) continue;
    if (++faults > 8) continue;
    char line[160];
    std::snprintf(line, sizeof line, "n=%" PRId64 " %s (oracle divisor %" PRIu64 ")\n", n,
                  survives ? "survives" : "was struck", d);
    report += line;
  }
  if (count != job._nvalsleft) report += "count of values left differs from the bitmap\n";
  if (faults > 8) report += std::to_string(faults) + " faults in all\n";
  return report;
}

std::vector<uint64_t> OracleFirstDivisors(const FixedKCase& c, const std::vector<uint64_t>& primes) {
  std::vector<uint64_t> first = Oracle(oracleJob).firstDivisors(c.nmin, c.nmax, primes);
  for (int64_t n = c.nmin; n <= c.nmax; ++n)
    if (!oracleIsCandidate(oracleJob, n)) first[static_cast<size_t>(n - c.nmin)] = 0;
  return first;
}

bool OracleStrikes(int64_t n, const std::vector<uint64_t>& primes) {
  return Oracle(oracleJob).firstDivisor(n, primes) != 0;
}

int VerifyCalls() { return verifyCalls; }
int VerifyFailures() { return verifyFailures; }
