// Clearing routines against a plain-loop reference, for every store, with parity moves,
// MinNum normalisation, classes out of range, wide steps, batches and the hand-overs.
#include <gtest/gtest.h>

#include <random>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedn/array_store.h"
#include "fixedn/bitmap.h"
#include "fixedn/clear.h"
#include "fixedn/sieve_slots.h"
#include "tests/fixedn/store_fixture.h"

namespace {

const int64_t kPrimes[] = {3, 5, 7, 11, 13, 101, 997, 7919, 100003};

struct Job {
  int64_t minNum, maxNum;
  uint32_t base;
  bool incIsTwo;
};

// Every candidate of the range (the stored parity only with fIncIsTwo), with some gaps.
std::vector<int64_t> candidates(const Job& j, std::mt19937_64& rng) {
  std::vector<int64_t> v;
  for (int64_t x = j.minNum; x <= j.maxNum; ++x) {
    if (j.incIsTwo && (x & 1) == (j.base & 1)) continue;
    if (rng() % 5 != 0) v.push_back(x);
  }
  return v;
}

struct Case {
  ClearProcedure routine;
  Store store;
  const char* name;
};
const Case kCases[] = {
    {ClearBitmap, Store::Bitmap, "ClearBitmap"},
    {ClearBitmapSmallp, Store::Bitmap, "ClearBitmapSmallp"},
    {ClearBitmapSmallpMultivals, Store::Bitmap, "ClearBitmapSmallpMultivals"},
    {ClearArray, Store::Array, "ClearArray"},
    {ClearSparseArray, Store::Array, "ClearSparseArray"},
    {ClearHash, Store::Hash, "ClearHash"},
};
const Job kJobs[] = {
    {1, 3000, 2, true},      // odd k only, base 2
    {1000, 4321, 3, true},   // even k only, odd base
    {17, 2017, 10, false},   // every k
    {5000, 5010, 2, true},   // range smaller than most steps
};

class ClearCrossCheck : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(ClearCrossCheck, StrikesExactlyTheClassesItIsGiven) {
  const Case& c = kCases[std::get<0>(GetParam())];
  const Job& j = kJobs[std::get<1>(GetParam())];
  std::string out;
  setPrintCapture(&out);
  std::mt19937_64 rng(42 + std::get<1>(GetParam()));
  ResetForStoreTest(j.minNum, j.maxNum, j.base, j.incIsTwo);
  job.State = STATE_PREPARING;  // a set struck empty must not end the test by the exception
  std::vector<int64_t> start = candidates(j, rng);
  FillStore(c.store, start);
  std::set<int64_t> ref(start.begin(), start.end());
  ClearRoutine = c.routine;
  for (int64_t p : kPrimes) {
    // Several classes per prime: residues 0..2p (the rules pass up to 2p), a duplicate
    // first member, a class moved one period up, and one far below MinNum.
    std::vector<int64_t> ks = {static_cast<int64_t>(rng() % p), static_cast<int64_t>(rng() % p), p,
                               static_cast<int64_t>(rng() % p) + p, 2 * p};
    ks.push_back(ks[0]);
    for (int64_t k : ks) {
      if (k > job.MaxNum) continue;  // as the removal rules do
      ReferenceStrike(ref, k, p);
      // The sparse routine would hand over to the binary search as p grows: keep it.
      if (c.routine == ClearSparseArray) ClearRoutine = ClearSparseArray;
      ClearRoutine(k, p);
    }
  }
  if (ClearRoutine == ClearBitmapSmallpMultivals) ClearRoutine(1, 2);
  setPrintCapture(nullptr);
  std::vector<int64_t> expect(ref.begin(), ref.end());
  EXPECT_EQ(Survivors(c.store), expect) << c.name;
  EXPECT_EQ(job._nvalsleft, expect.size()) << c.name;
}

INSTANTIATE_TEST_SUITE_P(AllStores, ClearCrossCheck,
                         ::testing::Combine(::testing::Range(0, 6), ::testing::Range(0, 4)));

TEST(ClearNormalisation, ParityMoveAndMinNum) {
  ResetForStoreTest(100, 200, 2, true);
  std::vector<int64_t> odd;
  for (int64_t v = 101; v <= 199; v += 2) odd.push_back(v);
  FillStore(Store::Array, odd);
  // Even k = 4 with p = 7 moves to 11, step 14: 123, 137, ... (k below MinNum by a multiple
  // of the step plus 1 lands on the next member above MinNum).
  ClearArray(4, 7);
  std::vector<int64_t> s = Survivors(Store::Array);
  for (int64_t v = 11 + 14 * 7; v <= 200; v += 14) EXPECT_FALSE(std::binary_search(s.begin(), s.end(), v)) << v;
  EXPECT_EQ(s.size(), odd.size() - 7);  // 109 123 137 151 165 179 193
  // k below MinNum by an exact multiple of the step lands on MinNum (every k stored).
  ResetForStoreTest(100, 200, 10, false);
  FillStore(Store::Bitmap, {100, 101, 107, 114});
  ClearBitmap(2, 7);  // 100 = 2 + 14*7
  EXPECT_EQ(Survivors(Store::Bitmap), (std::vector<int64_t>{101}));
}

TEST(ClearNormalisation, ClassAboveMaxNumTouchesNothing) {
  ResetForStoreTest(1, 100, 2, true);
  std::vector<int64_t> odd;
  for (int64_t v = 1; v <= 99; v += 2) odd.push_back(v);
  FillStore(Store::Bitmap, odd);
  nops = 0;
  ClearBitmapSmallp(100, 101);  // even: moved to 201, beyond MaxNum
  EXPECT_EQ(job._nvalsleft, odd.size());
  EXPECT_EQ(nops, 0u);  // not even the work estimate moved
  ClearBitmapSmallpMultivals(100, 101);
  EXPECT_TRUE(multivals_nums.empty());
}

TEST(Fastclear, StepLargerThanRangeTestsOnlyTheFirstPosition) {
  ResetForStoreTest(0, 9, 10, false);
  FillStore(Store::Bitmap, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  SetBit(10);  // a stray bit just past the range must stay untouched
  fastclear(3, 11);
  EXPECT_EQ(job._nvalsleft, 9u);
  EXPECT_TRUE(GetBit(10));
  fastclear(3, 7);  // 3 and 10: 10 is not below range
  EXPECT_TRUE(GetBit(10));
}

TEST(Fastclear, MergedSweepEqualsSeparateClearsAndRevGoesDown) {
  ResetForStoreTest(0, 9999, 10, false);
  std::vector<int64_t> all(10000);
  for (int i = 0; i < 10000; ++i) all[i] = i;
  FillStore(Store::Bitmap, all);
  std::vector<uint32_t> nums = {3, 3, 17, 40, 41};  // duplicate first member
  fastclear2(nums.data(), 5, 41);
  std::set<int64_t> ref(all.begin(), all.end());
  for (uint32_t n : nums)
    for (int64_t v = n; v < 10000; v += 41) ref.erase(v);
  EXPECT_EQ(Survivors(Store::Bitmap), std::vector<int64_t>(ref.begin(), ref.end()));
  EXPECT_EQ(job._nvalsleft, ref.size());
  revfastclear(9999, 1000);
  for (int64_t v = 9999; v >= 0; v -= 1000) ref.erase(v);
  EXPECT_EQ(Survivors(Store::Bitmap), std::vector<int64_t>(ref.begin(), ref.end()));
}

TEST(Fastclear, WordMasksAndWalksStrikeWhatAPlainLoopStrikes) {
  std::mt19937_64 rng(99);
  for (int round = 0; round < 300; ++round) {
    const uint32_t bits = 200 + static_cast<uint32_t>(rng() % 20000);
    ResetForStoreTest(0, bits - 1, 10, false);
    std::vector<int64_t> start;
    for (uint32_t i = 0; i < bits; ++i)
      if (rng() % 3) start.push_back(i);
    FillStore(Store::Bitmap, start);
    SetBit(bits);  // a stray bit past the range stays
    const uint32_t step = 3 + static_cast<uint32_t>(rng() % (round % 2 ? 60 : 2000));
    const uint32_t count = 1 + static_cast<uint32_t>(rng() % 6);
    std::vector<uint32_t> nums;
    for (uint32_t j = 0; j < count; ++j) nums.push_back(static_cast<uint32_t>(rng() % std::min(bits, 2 * step)));
    std::sort(nums.begin(), nums.end());
    std::set<int64_t> ref(start.begin(), start.end());
    for (uint32_t n : nums)
      for (int64_t v = n; v < bits; v += step) ref.erase(v);
    if (count == 1) fastclear(nums[0], step);
    else fastclear2(nums.data(), count, step);
    ASSERT_EQ(Survivors(Store::Bitmap), std::vector<int64_t>(ref.begin(), ref.end())) << "round " << round;
    ASSERT_EQ(job._nvalsleft, ref.size());
    ASSERT_TRUE(GetBit(bits));
  }
}

TEST(ClearHandOvers, BatchingGivesWayAbove1e8AndOnePassAbove1e9) {
  std::string out;
  setPrintCapture(&out);
  ResetForStoreTest(1, 1000000, 10, false);
  job.State = STATE_PREPARING;
  FillStore(Store::Bitmap, {5, 12, 1000, 500000});
  ClearRoutine = ClearBitmapSmallpMultivals;
  ClearRoutine(2, 3);
  ClearRoutine(5, 3);  // the same class of 3 with another first member
  ClearRoutine(1, 99999989LL);
  EXPECT_EQ(ClearRoutine, ClearBitmapSmallpMultivals);
  EXPECT_EQ(Survivors(Store::Bitmap), (std::vector<int64_t>{12, 1000}));
  ClearRoutine(12, 100000007LL);  // flushes the batch of 99999989, then one pass
  EXPECT_EQ(ClearRoutine, ClearBitmapSmallp);
  EXPECT_EQ(Survivors(Store::Bitmap), (std::vector<int64_t>{1000}));
  ClearRoutine(1000, 1000000007LL);
  EXPECT_EQ(ClearRoutine, ClearBitmap);
  EXPECT_EQ(job._nvalsleft, 0u);
  EXPECT_TRUE(job.AllRemoved);
  setPrintCapture(nullptr);
}

TEST(ClearHandOvers, SingleClassBatchHandsOver) {
  ResetForStoreTest(1, 1000, 10, false);
  std::vector<int64_t> all;
  for (int64_t v = 1; v <= 1000; ++v) all.push_back(v);
  FillStore(Store::Bitmap, all);
  ClearRoutine = ClearBitmapSmallpMultivals;
  ClearRoutine(1, 7);
  ClearRoutine(2, 11);  // the batch of 7 held one class
  EXPECT_EQ(ClearRoutine, ClearBitmapSmallp);
  std::set<int64_t> ref(all.begin(), all.end());
  ReferenceStrike(ref, 1, 7);
  ReferenceStrike(ref, 2, 11);
  EXPECT_EQ(Survivors(Store::Bitmap), std::vector<int64_t>(ref.begin(), ref.end()));
}

TEST(ClearHandOvers, SparseTurnsNormalAtTheDensityThreshold) {
  std::string out;
  setPrintCapture(&out);
  ResetForStoreTest(1, 1000000, 10, false);
  FillStore(Store::Array, {10, 20, 1000, 999999});
  // y = ln 4 * 999999 = 1386293; x = 4 * p: ratio 3 is reached at p ~ 115524.
  ClearRoutine = ClearSparseArray;
  ClearRoutine(10, 100003);
  EXPECT_EQ(ClearRoutine, ClearSparseArray);
  ClearRoutine(20, 115561);
  EXPECT_EQ(ClearRoutine, ClearArray);
  EXPECT_EQ(out, "Switching from sparse array algorithm to normal array algorithm\n");
  EXPECT_EQ(Survivors(Store::Array), (std::vector<int64_t>{1000, 999999}));
  setPrintCapture(nullptr);
}

TEST(ClearBatch, LongChainsNeedNoFixedCapacity) {
  ResetForStoreTest(1, 200000, 2, true);
  std::vector<int64_t> odd;
  for (int64_t v = 1; v <= 200000; v += 2) odd.push_back(v);
  FillStore(Store::Bitmap, odd);
  std::set<int64_t> ref(odd.begin(), odd.end());
  ClearRoutine = ClearBitmapSmallpMultivals;
  const int64_t p = 100003;
  for (int64_t k = 1; k < 2 * 150; k += 2) {  // 150 classes of one prime
    ReferenceStrike(ref, k * 601 % p, p);
    ClearRoutine(k * 601 % p, p);
  }
  ClearRoutine(1, 2);
  EXPECT_EQ(Survivors(Store::Bitmap), std::vector<int64_t>(ref.begin(), ref.end()));
}

TEST(ClearVerify, EveryStruckValueAndEveryBatchClassIsVerified) {
  ResetForStoreTest(1, 100, 10, false);
  job.fVerify = true;
  FillStore(Store::Hash, {3, 10, 17, 24, 50});
  ClearHash(3, 7);
  EXPECT_EQ(services.verified, (std::vector<int64_t>{3, 10, 17, 24}));
  ResetForStoreTest(1, 100, 10, false);
  job.fVerify = true;
  FillStore(Store::Bitmap, {3, 4, 10, 50});
  ClearRoutine = ClearBitmapSmallpMultivals;
  ClearRoutine(3, 7);
  ClearRoutine(4, 7);
  ClearRoutine(1, 2);
  EXPECT_EQ(services.verified, (std::vector<int64_t>{3, 4}));
  EXPECT_EQ(job._nvalsleft, 1u);
}

}  // namespace
