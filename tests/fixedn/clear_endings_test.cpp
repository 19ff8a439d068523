// What a strike can end: the count criterion, the all-removed ending while sieving and in the
// sub-range phase, the per-value and the throttled reports, and the removed-values log.
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedn/clear.h"
#include "fixedn/sieve_slots.h"
#include "tests/fixedn/store_fixture.h"
#include "tests/support/run_binary.h"

namespace {

std::vector<int64_t> odds(int64_t from, int64_t to) {
  std::vector<int64_t> v;
  for (int64_t x = from; x <= to; x += 2) v.push_back(x);
  return v;
}

TEST(CountCriterion, StopsWhenTheCountIsReached) {
  for (Store store : {Store::Bitmap, Store::Array, Store::Hash}) {
    ResetForStoreTest(1, 4000, 2, true);
    job.StopCriterion = STOP_AT_COUNT;
    job.StopValue = 1000;
    FillStore(store, odds(1, 4000));  // 2000 values
    ClearProcedure routine = store == Store::Bitmap ? ClearBitmap : store == Store::Array ? ClearArray : ClearHash;
    routine(1, 3);  // strikes 667
    EXPECT_EQ(job.State, STATE_SIEVING);
    routine(3, 5);
    routine(1, 7);  // together enough to pass 1000
    EXPECT_EQ(job.State, STATE_STOPPED);
    EXPECT_LE(job._nvalsleft, 1000u);
  }
  // The one-pass routine applies it once per class.
  ResetForStoreTest(1, 4000, 2, true);
  job.StopCriterion = STOP_AT_COUNT;
  job.StopValue = 1333;
  FillStore(Store::Bitmap, odds(1, 4000));
  ClearBitmapSmallp(1, 3);
  EXPECT_EQ(job._nvalsleft, 1333u);
  EXPECT_EQ(job.State, STATE_STOPPED);
}

TEST(AllRemoved, WhileSievingWritesTheFileAndEndsTheRun) {
  for (ClearProcedure routine : {ClearBitmap, ClearBitmapSmallp, ClearBitmapSmallpMultivals}) {
    std::string out;
    setPrintCapture(&out);
    ResetForStoreTest(1, 30, 10, false);
    FillStore(Store::Bitmap, {3, 10, 17, 24});
    bool thrown = false;
    try {
      routine(3, 7);
      if (routine == ClearBitmapSmallpMultivals) routine(1, 2);
    } catch (const SieveStop&) {
      thrown = true;
    }
    setPrintCapture(nullptr);
    EXPECT_TRUE(thrown);
    EXPECT_EQ(job.State, STATE_STOPPED);
    EXPECT_EQ(services.saves, 1);
    EXPECT_EQ(services.savedP, 8) << "the header must claim 7, the prime that struck the last value";
    EXPECT_NE(out.find("**** All values removed! You do not need to test these values!!\n\n"), std::string::npos)
        << out;
  }
}

TEST(AllRemoved, InTheSubRangePhaseSaysSoOnce) {
  std::string out;
  setPrintCapture(&out);
  ResetForStoreTest(1, 30, 10, false);
  job.State = STATE_PREPARING;
  FillStore(Store::Array, {3, 10, 17, 24});
  ClearArray(3, 7);
  ClearArray(3, 7);
  ClearArray(1, 11);
  setPrintCapture(nullptr);
  EXPECT_TRUE(job.AllRemoved);
  EXPECT_EQ(services.saves, 0);
  EXPECT_EQ(out, "**** All values removed in this range.\n");
}

TEST(Reporting, PerValueReportsOnlyWhenTheSecondMoved) {
  ResetForStoreTest(1, 100, 10, false);
  FillStore(Store::Bitmap, {3, 10, 17, 50});
  ClearBitmap(3, 7);
  // One report per clock second: the strike takes far less than two seconds.
  ASSERT_GE(services.reported.size(), 1u);
  EXPECT_LE(services.reported.size(), 2u);
  EXPECT_EQ(services.reported[0], 3);
}

TEST(Reporting, ThrottledReportAdaptsTheThreshold) {
  ResetForStoreTest(1, 1000000, 10, false);
  std::vector<int64_t> all;
  for (int64_t v = 1; v <= 1000000; ++v) all.push_back(v);
  FillStore(Store::Bitmap, all);
  services.sampleCount = job._nvalsleft;
  nopsthreshold = 1000;
  LastNow = time(nullptr) - 4;
  ClearBitmapSmallp(1, 3);  // 333333 + 100 work units: over the threshold
  ASSERT_EQ(services.reported.size(), 1u);
  EXPECT_EQ(services.reported[0], 1);
  EXPECT_EQ(nops, 0u);
  // dt = 4 s (or 5 on a slow second): factor 2/dt halves the threshold or less.
  EXPECT_LE(nopsthreshold, 500u);
  EXPECT_GE(nopsthreshold, 400u);
  // Nothing struck since the newest sample: no report, and this call's 100 is undone.
  nopsthreshold = 10;
  nops = 0;
  ClearBitmapSmallp(1, 3);
  EXPECT_EQ(services.reported.size(), 1u);
  EXPECT_EQ(nops, 333333u);
}

TEST(RemovedValuesLog, OnlyAbove2To32) {
  ScratchDir dir;
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  ResetForStoreTest(1, 10000000000LL, 10, false);
  job.LogDeleted = true;
  job.k_n = 'k';
  FillStore(Store::Array, {4294967291LL, 5000000000LL, 6000000000LL, 9294967297LL});
  ClearArray(4294967291LL, 4294967291LL);
  ClearArray(5000000000LL, 4294967297LL);  // 2^32 + 1 strikes 5000000000 and 9294967297
  EXPECT_EQ(readFile("Morvane.del"),
            "p=4294967297 divides k=5000000000\np=4294967297 divides k=9294967297\n");
  ASSERT_EQ(chdir(old), 0);
}

}  // namespace
