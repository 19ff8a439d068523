// The hash store: sizing, insertion order, deletion by marking, wrap-around probing.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "common/print.h"
#include "engine/sieve_job.h"
#include "fixedn/hash_store.h"

namespace {

TEST(HashSizing, PowerOfTwoWhenTheBudgetAllowsRemainderOtherwise) {
  ASSERT_TRUE(CanCreateHash(1000, 50000000));  // P = 1024
  EXPECT_EQ(HashSize, 8192u);
  EXPECT_EQ(HashBitmap, 8191u);
  EXPECT_FALSE(fModHashFunction);
  ASSERT_TRUE(CanCreateHash(1000, 30000));  // 24P <= budget <= 48P: 2P, not doubled
  EXPECT_EQ(HashSize, 2048u);
  ASSERT_TRUE(CanCreateHash(1000, 20000));  // below 24P but 1.5 slots fit: exact budget
  EXPECT_EQ(HashSize, 20000u / 12);
  EXPECT_TRUE(fModHashFunction);
  EXPECT_FALSE(CanCreateHash(1000, 17999));  // 12 * 1500 = 18000 needed
}

class HashStoreTest : public ::testing::TestWithParam<int64_t> {};

TEST_P(HashStoreTest, KeepsInsertionOrderAndDeletesOnce) {
  std::string out;
  setPrintCapture(&out);
  std::mt19937_64 rng(7);
  std::vector<int64_t> values;
  int64_t v = 1000000000000LL;
  for (int i = 0; i < 3000; ++i) values.push_back(v += 1 + rng() % 5000);
  ASSERT_TRUE(CanCreateHash(3000, GetParam()));
  ASSERT_TRUE(CreateHash(3000));
  for (int64_t x : values) AddToHash(x);
  std::set<int64_t> live(values.begin(), values.end());
  for (int i = 0; i < 4000; ++i) {
    int64_t x = values[rng() % values.size()] + (rng() % 4 == 0 ? 1 : 0);
    EXPECT_EQ(FindAndDeleteFromHash(x), live.erase(x) == 1) << x;
  }
  std::vector<int64_t> walked;
  for (int32_t i = FirstNumericValue; i != -1; i = Hash[i].next)
    if (!Hash[i].deleted()) walked.push_back(Hash[i].value());
  EXPECT_EQ(walked, std::vector<int64_t>(live.begin(), live.end()));
  DeleteHash();
  setPrintCapture(nullptr);
}

// Mask hashing with room to spare, and the exact-budget remainder hash that packs the
// table to 1.5 slots per value (long probe runs, wrap-around at the end).
INSTANTIATE_TEST_SUITE_P(Budgets, HashStoreTest, ::testing::Values(int64_t{50000000}, int64_t{54000}));

TEST(HashStore, WrapsFromTheLastSlotAndSaysWhatItAllocates) {
  std::string out;
  setPrintCapture(&out);
  job.k_n = 'k';
  ASSERT_TRUE(CanCreateHash(2, 100));  // 8 slots, mask 7
  ASSERT_TRUE(CreateHash(2));
  EXPECT_EQ(out, "The file contains 2 k's - using fastarray: allocating 0.1Kb of RAM...\n");
  AddToHash(15);  // home 7
  AddToHash(23);  // home 7: wraps to 0
  EXPECT_EQ(Hash[0].value(), 23);
  EXPECT_TRUE(FindAndDeleteFromHash(23));
  EXPECT_FALSE(FindAndDeleteFromHash(23));  // a value struck twice counts once
  EXPECT_FALSE(FindAndDeleteFromHash(31));
  EXPECT_TRUE(FindAndDeleteFromHash(15));
  DeleteHash();
  setPrintCapture(nullptr);
}

}  // namespace
