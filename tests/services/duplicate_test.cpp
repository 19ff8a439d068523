// The duplicate service: copy names and headers, refusals, and byte-exact data lines.
#include "services/duplicate.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/services/service_test_support.h"
#include "tests/support/run_binary.h"

namespace {

class Duplicate : public ConsoleCapture {
 protected:
  bool duplicate(const std::string& text, int copies, int64_t range) {
    std::istringstream in(text);
    return DuplicateSieveFile(in, dir.file("Twin.txt"), copies, range);
  }
  ScratchDir dir;
};

TEST(Lgetnewfilename, PutsTheValueBeforeTheNameKeepingTheDirectory) {
  EXPECT_EQ(Lgetnewfilename(17, "work.txt"), "17_work.txt");
  EXPECT_EQ(Lgetnewfilename(17, "res/work.txt"), "res/17_work.txt");
  EXPECT_EQ(Lgetnewfilename(6000000000LL, "/a/b/Twin.txt"), "/a/b/6000000000_Twin.txt");
  EXPECT_EQ(Lgetnewfilename(5, "dir/"), "dir/5_");
}

TEST_F(Duplicate, HelpTextExampleGivesItsNamesHeadersAndMessage) {
  // Data lines kept byte for byte, including a CR and a last line without its newline.
  std::string data = "3 1000\n9 1000\r\n15 1000";
  ASSERT_TRUE(duplicate("1000000000:T:1:2:3\n" + data, 2, 5000000000LL));
  EXPECT_EQ(readFile(dir.file("6000000000_Twin.txt")), "1000000000:T:1:2:3\n" + data);
  EXPECT_EQ(readFile(dir.file("11000000000_Twin.txt")), "6000000000:T:1:2:3\n" + data);
  EXPECT_EQ(console, "The output files have been created. They are called " +
                         dir.file("6000000000_Twin.txt") + ", and " + dir.file("11000000000_Twin.txt") +
                         "\n\n");
}

TEST_F(Duplicate, ThreeCopiesAreListedWithCommasAndAnd) {
  ASSERT_TRUE(duplicate("1000:P:1:2:1\n5 100\n", 3, 1000));
  EXPECT_EQ(console, "The output files have been created. They are called " + dir.file("2000_Twin.txt") +
                         ", " + dir.file("3000_Twin.txt") + ", and " + dir.file("4000_Twin.txt") + "\n\n");
  EXPECT_EQ(readFile(dir.file("4000_Twin.txt")), "3000:P:1:2:1\n5 100\n");
}

TEST_F(Duplicate, AnOddLimitMayBeAPrimeSoTheNextCopyStartsBelowIt) {
  ASSERT_TRUE(duplicate("1000:P:1:2:1\n5 100\n", 3, 1001));
  EXPECT_EQ(readFile(dir.file("2001_Twin.txt")), "1000:P:1:2:1\n5 100\n");
  EXPECT_EQ(readFile(dir.file("3002_Twin.txt")), "2000:P:1:2:1\n5 100\n");  // 2001 odd: one lower
  EXPECT_EQ(readFile(dir.file("4003_Twin.txt")), "3002:P:1:2:1\n5 100\n");  // 3002 even: as is
}

TEST_F(Duplicate, HeaderLongerThanAFieldIsCopiedWhole) {
  std::string rest = ":P:1:2:1" + std::string(3000, 'x');
  ASSERT_TRUE(duplicate("1000" + rest + "\n7 100\n", 2, 10));
  EXPECT_EQ(readFile(dir.file("1010_Twin.txt")), "1000" + rest + "\n7 100\n");
  EXPECT_EQ(readFile(dir.file("1020_Twin.txt")), "1010" + rest + "\n7 100\n");
}

TEST_F(Duplicate, FilesWithoutANumberedHeaderAreRefusedAndNothingIsWritten) {
  for (const char* text : {"ABC 3*5*7*2^$b+1 //Morvane:1000:P:1:2:321\n3 100\n", "", "\n", "1000\n",
                           "3 100\n5 100\n", "99999999999999999999:P:1:2:1\n"}) {
    console.clear();
    EXPECT_FALSE(duplicate(text, 2, 10)) << text;
    EXPECT_EQ(console, "That does not seem to be a valid Morvane file!\n") << text;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(Duplicate, ARangeThatWouldPassTheLargestPIsRefused) {
  EXPECT_FALSE(duplicate("1000:P:1:2:1\n5 100\n", 25, INT64_MAX / 20));
  EXPECT_NE(console.find("The range is too large"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(Duplicate, AnUnwritableCopyIsNamedInTheRefusal) {
  std::istringstream in("1000:P:1:2:1\n5 100\n");
  EXPECT_FALSE(DuplicateSieveFile(in, dir.file("missing/Twin.txt"), 2, 10));
  EXPECT_EQ(console, "Cannot open an output file called " + dir.file("missing/1010_Twin.txt") + "!\n");
}

// The refusals of both answers are driven through the services menu; here only the reading.
TEST_F(ConsoleCapture, RangeIsReadLikeEverySixtyFourBitAnswer) {
  int64_t range = 0;
  EXPECT_TRUE(checkRangeOfP("5000000000", range));
  EXPECT_EQ(range, 5000000000LL);
  EXPECT_TRUE(checkRangeOfP("010", range));  // a leading 0 is decimal
  EXPECT_EQ(range, 10);
  EXPECT_TRUE(checkRangeOfP("1e9", range));
  EXPECT_EQ(range, 1000000000);
  EXPECT_FALSE(checkRangeOfP("01", range));
  EXPECT_EQ(console, "The range must be at least 2 p's\n");
  console.clear();
  EXPECT_FALSE(checkRangeOfP("99999999999999999999", range));
  EXPECT_EQ(console, "99999999999999999999 : Invalid number\n");
}

}  // namespace
