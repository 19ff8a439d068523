// Fixed-k jobs through the sieve loop in-process: the slot table's fixed-k rows and the
// hand-off to the base-2 sieve, each written file checked against the GMP oracle.
#include <gtest/gtest.h>

#include <string>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "engine/sieve_loop.h"
#include "engine/slot_tables.h"
#include "fixedk/ksieve.h"
#include "fixedn/sieve_slots.h"
#include "tests/fixedk/ksieve_fixture.h"
#include "tests/support/run_binary.h"

namespace {

FixedKCase Case(uint32_t mode, uint32_t base, int32_t k, int64_t nmin, int64_t nmax) {
  FixedKCase c;
  c.mode = mode;
  c.base = base;
  c.k = k;
  c.nmin = nmin;
  c.nmax = nmax;
  return c;
}

// Runs the loop on the job to maxp with or without conditional moves; returns the file.
std::string RunLoop(const FixedKCase& c, bool cmov, int64_t maxp, std::string* console = nullptr) {
  ScratchDir dir;
  SetUpFixedKJob(c);
  job.fUseBitMap = true;
  job.fCMOV = cmov;
  job.firstp = 1;
  job.maxp = maxp;
  job.outbuff = dir.file("f.txt");
  std::string sink;
  setPrintCapture(console ? console : &sink);
  ChooseProcedures = ChooseSieveProcedures;
  try {
    dosieve(true);
  } catch (const SieveStop&) {
  }
  setPrintCapture(nullptr);
  return readFile(dir.file("f.txt"));
}

OracleJob OracleFor(const FixedKCase& c) {
  OracleJob o;
  o.mode = c.mode;
  o.base = c.base;
  o.n = c.k;
  return o;
}

TEST(FixedKLoop, EveryRowMatchesTheOracle) {
  const FixedKCase cases[] = {
      Case(0x0101, 2, 3, 1, 5000),     // DoKSieve_tiny
      Case(0x0102, 2, 5, 1000, 3999),  // width 2999: DoKSieveOld
      Case(0x0102, 2, 5, 1000, 4000),  // width 3000: DoKSieve
      Case(0x0101, 3, 2, 1, 3000),     // DoKSieveOtherBases
      Case(0x8002, 2, 1000003, 1, 4000),
      Case(0x8001, 3, 4, 0, 3000),
  };
  for (const FixedKCase& c : cases) {
    const std::string file = RunLoop(c, false, 100000);
    EXPECT_EQ(checkSieveFile(file, OracleFor(c), c.nmin, c.nmax), "") << "mode " << c.mode << " base " << c.base;
  }
}

TEST(FixedKLoop, BaseTwoSieveGivesTheSameFile) {
  const FixedKCase cases[] = {Case(0x0101, 2, 3, 1, 5000), Case(0x0102, 2, 5, 1000, 4000),
                              Case(0x0102, 2, 7, 1000, 3999)};
  for (const FixedKCase& c : cases) {
    std::string console;
    const std::string withCmov = RunLoop(c, true, 100000, &console);
    EXPECT_NE(console.find("Output file"), std::string::npos);
    EXPECT_EQ(checkSieveFile(withCmov, OracleFor(c), c.nmin, c.nmax), "") << "k " << c.k;
    EXPECT_EQ(RunLoop(c, false, 100000), withCmov) << "k " << c.k;
  }
}

}  // namespace
