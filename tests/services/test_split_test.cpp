// The split for testing: file names, the weighted deal, and refusals.
#include "services/test_split.h"

#include <climits>
#include <filesystem>
#include <sstream>

#include "tests/services/service_test_support.h"
#include "tests/support/run_binary.h"

namespace {

class TestSplit : public ConsoleCapture {
 protected:
  bool split(const std::string& text, const std::vector<int>& speeds) {
    std::istringstream in(text);
    return SplitForTesting(in, dir.file("input"), speeds);
  }
  std::vector<std::string> lines(const std::string& name) const {
    std::istringstream in(readFile(dir.file(name)));
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
  ScratchDir dir;
};

std::string manyLines(int count) {
  std::vector<long long> ks;
  for (int k = 1; k <= count; ++k) ks.push_back(2 * k + 1);
  return sieveText("5000:T:1:2:3", ks, 321);
}

TEST_F(TestSplit, OneMachineReceivesEveryLine) {
  ASSERT_TRUE(split(manyLines(50), {50}));
  EXPECT_EQ(readFile(dir.file("input_50_1")), manyLines(50));
}

TEST_F(TestSplit, SpeedsBeyondAnIntInTotalStillReachEveryMachine) {
  ASSERT_TRUE(split(manyLines(400), {INT_MAX, INT_MAX, INT_MAX}));
  for (int i = 1; i <= 3; ++i) {
    auto got = lines("input_" + std::to_string(INT_MAX) + "_" + std::to_string(i));
    EXPECT_GT(got.size(), 80u) << i;
  }
}

TEST_F(TestSplit, AnInputWithNoLineIsRefusedWithoutOutputFiles) {
  EXPECT_FALSE(split("", {100, 200}));
  EXPECT_EQ(console, "The file " + dir.file("input") + " has no line at all - there is nothing to split!\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(TestSplit, AHeaderAloneIsCopiedToEveryMachine) {
  ASSERT_TRUE(split("5000:T:1:2:3", {100, 200}));
  EXPECT_EQ(readFile(dir.file("input_100_1")), "5000:T:1:2:3");
  EXPECT_EQ(readFile(dir.file("input_200_2")), "5000:T:1:2:3");
}

TEST_F(TestSplit, AnUnopenableOutputIsRefused) {
  std::istringstream in("5000:T:1:2:3\n");
  EXPECT_FALSE(SplitForTesting(in, dir.file("missing/input"), {100}));
  EXPECT_EQ(console, "One of the output files could not be opened !\n");
}

TEST(LeadingNumber, ReadsLeadingDigitsOnly) {
  EXPECT_EQ(leadingNumber(""), 0);
  EXPECT_EQ(leadingNumber("abc"), 0);
  EXPECT_EQ(leadingNumber("-60"), 0);
  EXPECT_EQ(leadingNumber("49"), 49);
  EXPECT_EQ(leadingNumber("2400MHz"), 2400);
  EXPECT_EQ(leadingNumber("2147483647"), INT_MAX);
  EXPECT_EQ(leadingNumber("2147483648"), -1);
}

}  // namespace
