// The status line kept clean on a terminal and plain in a log, and the estimates of the
// progress line checked against exact counts.
#include "engine/progress_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/form_members.h"
#include "common/print.h"
#include "engine/sieve_job.h"

namespace {

class Console : public ::testing::Test {
 protected:
  void SetUp() override { setPrintCapture(&out_); }
  void TearDown() override {
    setConsoleTerminal(-1);
    setPrintCapture(nullptr);
  }
  std::string out_;
};

TEST_F(Console, OnATerminalAShorterStatusCoversTheLongerOneAndMessagesClearIt) {
  setConsoleTerminal(1);
  print("#sSieved up to 16777259 (16.7 million)");
  print("#sSieved up to 9");
  fprint("#o%s", "Output file 'h.txt' generated");
  print("#sSieved up to 123");
  printRaw("Prompt ? ");
  EXPECT_EQ(out_,
            "Sieved up to 16777259 (16.7 million)\r"
            "Sieved up to 9                      \r"
            "              \rOutput file 'h.txt' generated\n"
            "Sieved up to 123\r"
            "                \rPrompt ? ");
}

TEST_F(Console, ClearStatusLineBlanksOnlyWhatIsShown) {
  setConsoleTerminal(1);
  ClearStatusLine();
  print("#sabc");
  ClearStatusLine();
  ClearStatusLine();
  print("done");
  EXPECT_EQ(out_, "abc\r   \rdone\n");
}

TEST_F(Console, InALogStatusLinesArePlainLines) {
  setConsoleTerminal(0);
  print("#s");
  print("#sSieved up to 1009");
  print("Saving results");
  EXPECT_EQ(out_, "Sieved up to 1009\nSaving results\n");
}

// Exact prime counts below powers of ten.
TEST(ProgressEstimates, LogIntegralFollowsThePrimeCount) {
  const std::vector<std::pair<double, double>> counts = {
      {1e4, 1229}, {1e6, 78498}, {1e9, 50847534}, {1e12, 37607912018}, {1e18, 24739954287740860}};
  for (auto [x, pi] : counts) EXPECT_NEAR(LogIntegral(x) / pi, 1.0, 0.02) << x;
  EXPECT_NEAR(LogIntegral(1e12) - 37607912018, 38263, 100);  // li(10^12) − π(10^12)
  EXPECT_EQ(LogIntegral(1), 0);
  EXPECT_GT(LogIntegral(4.6e18), LogIntegral(4.5e18));
}

TEST(ProgressEstimates, TimeLeftReadsAsAClock) {
  EXPECT_EQ(TimeLeftText(0), "0:00:00");
  EXPECT_EQ(TimeLeftText(3725.4), "1:02:05");
  EXPECT_EQ(TimeLeftText(86400 * 3 + 3600 * 5 + 60 * 7 + 9), "3d 05:07");
  EXPECT_EQ(TimeLeftText(1e12), "over 1000 days");
  EXPECT_EQ(TimeLeftText(NAN), "over 1000 days");
}

TEST(ProgressEstimates, DepthForACountFollowsMertens) {
  // One member: the survivors fall as 1/ln p, so halving them squares p.
  EXPECT_NEAR(DepthForCount(1e6, 2000, 1000, 1), 1e12, 1e12 * 1e-9);
  // Two members: halving takes ln p times √2 ... and four times fewer lines squares p.
  EXPECT_NEAR(std::log(DepthForCount(1e6, 4000, 1000, 2)), 2 * std::log(1e6), 1e-9);
  EXPECT_EQ(DepthForCount(1e6, 900, 1000, 1), 1e6);  // already there
  EXPECT_EQ(DepthForCount(1e9, 1e6, 1, 1), 0);       // beyond reach
}

TEST(FormMembers, CountsTheNumbersOfEachForm) {
  EXPECT_EQ(MemberCount(0x0001, 1), 1);    // k·b^n+1
  EXPECT_EQ(MemberCount(0x0003, 1), 2);    // twins
  EXPECT_EQ(MemberCount(0x000A, 1), 2);    // Sophie Germain
  EXPECT_EQ(MemberCount(0x000F, 1), 4);    // BiTwin
  EXPECT_EQ(MemberCount(0x0015, 5), 5);    // Cunningham chain of 5
  EXPECT_EQ(MemberCount(0x003F, 4), 8);    // BiTwin chain of 4 links
  EXPECT_EQ(MemberCount(0x0083, 1), 3);    // triplet
  EXPECT_EQ(MemberCount(0x0883, 1), 4);    // quadruplet
  EXPECT_EQ(MemberCount(0x0200, 1), 1);    // progression
  EXPECT_EQ(MemberCount(0x8002, 1), 1);    // b^n−k
  EXPECT_EQ(MemberCount(0x1001, 1), 2);    // k·b^n+1 and 2k·b^n+3
  // Generalized links multiply by the base, others double.
  auto sg = MemberShapes(0x000A, 10, 1);
  ASSERT_EQ(sg.size(), 2u);
  EXPECT_NEAR(sg[1].logMultiplier, std::log(10.0), 1e-12);
  EXPECT_NEAR(MemberShapes(0x000A | MODE_NOT_GENERALIZED, 10, 1)[1].logMultiplier, std::log(2.0), 1e-12);
}

}  // namespace
