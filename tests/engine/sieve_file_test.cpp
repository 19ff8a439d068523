// The sieve file: round trips through every store, the header forms, the backup, the save
// messages and the reader's answer to every kind of bad input.
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/print.h"
#include "engine/report.h"
#include "engine/sieve_file.h"
#include "engine/sieve_job.h"
#include "fixedn/array_store.h"
#include "fixedn/bitmap.h"
#include "fixedn/candidate_set.h"
#include "fixedn/clear.h"
#include "fixedn/hash_store.h"
#include "fixedn/sieve_slots.h"
#include "primes/primetable.h"
#include "tests/support/run_binary.h"

namespace {

// Runs each test in its own scratch folder with the console captured.
class SieveFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(old_, sizeof old_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    FillPrimetable();
    initialise();
    FreeCandidateSet();
    job = SieveJob{};
    ResetRateHistory();
    InstallRemovalServices();
    setPrintCapture(&out_);
  }
  void TearDown() override {
    setPrintCapture(nullptr);
    ASSERT_EQ(chdir(old_), 0);
  }
  // Reads text as a sieve file; returns readinfile's answer.
  bool read(const std::string& text) {
    writeFile("in.txt", text);
    out_.clear();
    return readinfile("in.txt");
  }

  ScratchDir dir_;
  char old_[4096];
  std::string out_;
};

std::string valueLines(const std::vector<int64_t>& ks, int n) {
  std::string s;
  for (int64_t k : ks) s += std::to_string(k) + " " + std::to_string(n) + "\n";
  return s;
}

TEST_F(SieveFileTest, BitmapRoundTrip) {
  const std::string text = "1008:P:1:2:1\n" + valueLines({3, 5, 9, 11, 401}, 1000);
  ASSERT_TRUE(read(text));
  EXPECT_TRUE(job.fUseBitMap);
  EXPECT_EQ(job.firstp, 1008);
  EXPECT_EQ(job._nvalue, 1000);
  EXPECT_EQ(job._nvalsleft, 5u);
  EXPECT_EQ(out_,
            "Opened the input file - counting the number of k's and finding the range of k...\n"
            "The file contains 5 k's - using bitmap : allocating 0.1Kb of RAM...\n...succeeded\n");
  ClearBit(static_cast<uint32_t>(9 - job.MinNum));
  job.modechar = 'P';
  outputandtidyvals(1009, "out.txt", false);
  EXPECT_EQ(readFile("out.txt"), "1008:P:1:2:1\n" + valueLines({3, 5, 11, 401}, 1000));
  EXPECT_EQ(job._nvalsleft, 4u);
  EXPECT_EQ(job.MinNum, 3);  // a bitmap keeps its bounds
  EXPECT_EQ(job.MaxNum, 401);
}

TEST_F(SieveFileTest, BitmapWritesOnlyTheCandidateParity) {
  job._base = 2;
  job._mode = 1;
  job.fIncIsTwo = true;
  job.fUseBitMap = true;
  job.MinNum = 2;  // same parity as the base: offsets 1, 3, ...
  job.MaxNum = 70;
  range = 69;
  AllocateBitmap(range);
  for (uint32_t i = 0; i < range; ++i) SetBit(i);
  job._nvalue = 7;
  outputandtidyvals(100, "out.txt", false);
  std::vector<int64_t> odd;
  for (int64_t k = 3; k <= 69; k += 2) odd.push_back(k);
  EXPECT_EQ(readFile("out.txt"), "99:P:1:2:1\n" + valueLines(odd, 7));
  EXPECT_EQ(job._nvalsleft, odd.size());
}

TEST_F(SieveFileTest, ArrayRoundTripCompactsAndFollowsTheSurvivors) {
  job.BitMapThreshold = 100;
  const std::string text = "5000:M:1:3:2\n" + valueLines({2, 500, 1000, 5000, 90000}, 77);
  ASSERT_TRUE(read(text));
  EXPECT_FALSE(job.fUseBitMap);
  EXPECT_FALSE(job.fUseHash);  // dense for p = 5000: array
  EXPECT_NE(out_.find("The file contains 5 k's - using array: allocating 0.0Kb of RAM...\n...succeeded\n"),
            std::string::npos);
  EXPECT_EQ(job.fIncIsTwo, true);  // odd base: even k only
  ClearRoutine = ClearArray;
  job.State = STATE_PREPARING;
  ClearArray(2, 11);      // strikes 2
  ClearArray(90000, 97);  // strikes 90000
  outputandtidyvals(5003, "out.txt", false);
  EXPECT_EQ(readFile("out.txt"), "5002:M:1:3:2\n" + valueLines({500, 1000, 5000}, 77));
  EXPECT_EQ(job.nvals, 3u);
  EXPECT_EQ(vals[0], 500);
  EXPECT_EQ(vals[2], 5000);
  EXPECT_EQ(job.MinNum, 500);
  EXPECT_EQ(job.MaxNum, 5000);
  ASSERT_TRUE(readinfile("out.txt"));
  EXPECT_EQ(job._nvalsleft, 3u);
}

TEST_F(SieveFileTest, HashRoundTripWalksInInsertionOrder) {
  job.BitMapThreshold = 100000;
  std::vector<int64_t> ks;
  for (int64_t k = 1000001; k < 1000001 + 40 * 1000000; k += 1000000) ks.push_back(k);
  ASSERT_TRUE(read("1000000000:P:1:2:1\n" + valueLines(ks, 5000)));
  EXPECT_TRUE(job.fUseHash);
  EXPECT_NE(out_.find("using fastarray"), std::string::npos);
  job.State = STATE_PREPARING;
  ClearHash(ks.front(), 1000000007);  // strikes the first only
  ClearHash(ks.back(), 1000000009);
  job.modechar = 'P';
  outputandtidyvals(1000000011, "out.txt", false);
  std::vector<int64_t> left(ks.begin() + 1, ks.end() - 1);
  EXPECT_EQ(readFile("out.txt"), "1000000010:P:1:2:1\n" + valueLines(left, 5000));
  EXPECT_EQ(job._nvalsleft, left.size());
  EXPECT_EQ(job.MinNum, left.front());
  EXPECT_EQ(job.MaxNum, left.back());
}

TEST_F(SieveFileTest, ChainFilesShowNOneHigher) {
  ASSERT_TRUE(read("2000:1:5:2:42\n" + valueLines({1, 7, 13}, 101)));
  EXPECT_EQ(job._nvalue, 100);
  EXPECT_EQ(job.modechar, '1');
  outputandtidyvals(2003, "out.txt", false);
  EXPECT_EQ(readFile("out.txt"), "2002:1:5:2:42\n" + valueLines({1, 7, 13}, 101));
  // Not for a generalized chain's "not generalized" form on another base.
  ASSERT_TRUE(read("2000:1:5:3:1066\n" + valueLines({2, 8}, 101)));
  EXPECT_EQ(job._nvalue, 101);
}

TEST_F(SieveFileTest, FixedKFilesSwapTheColumns) {
  ASSERT_TRUE(read("300:P:1:2:257\n5 10\n5 11\n5 12\n"));
  EXPECT_EQ(job._nvalue, 5);
  EXPECT_EQ(job.MinNum, 10);
  EXPECT_EQ(job.MaxNum, 12);
  EXPECT_EQ(job.k_n, 'n');
  outputandtidyvals(301, "out.txt", false);
  EXPECT_EQ(readFile("out.txt"), "300:P:1:2:257\n5 10\n5 11\n5 12\n");
}

TEST_F(SieveFileTest, FactorFormHeader) {
  ASSERT_TRUE(read("ABC 3*5*7*2^$b+1 //Morvane:1000:P:1:2:321\n1 5\n1 9\n"));
  EXPECT_TRUE(job.fMyPrimorial);
  ASSERT_EQ(job.nMyPrimorial, 3u);
  EXPECT_EQ(job.MyPrimorial[0], 3);
  EXPECT_EQ(job.MyPrimorial[1], 5);
  EXPECT_EQ(job.MyPrimorial[2], 7);
  EXPECT_EQ(job.firstp, 1000);
  EXPECT_EQ(job._mode, 0x141u);
  outputandtidyvals(1009, "out.txt", false);
  EXPECT_EQ(readFile("out.txt"), "ABC 3*5*7*2^$b+1 //Morvane:1008:P:1:2:321\n1 5\n1 9\n");
  // The minus form, and a long product that no 1024-character buffer would hold.
  std::string text = "ABC ";
  for (int i = 0; i < 1000; ++i) text += "1000000000000007*";
  ASSERT_TRUE(read(text + "2^$b-1 //Morvane:1000:M:1:2:322\n1 5\n"));
  EXPECT_EQ(job.nMyPrimorial, 1000u);
  outputandtidyvals(1009, "out.txt", false);
  EXPECT_EQ(readFile("out.txt"), text + "2^$b-1 //Morvane:1008:M:1:2:322\n1 5\n");
  EXPECT_FALSE(read("ABC " + std::string("3*") + text.substr(4) + "2^$b-1 //Morvane:1000:M:1:2:322\n1 5\n"));
}

TEST_F(SieveFileTest, BackupIsReadWhenTheFileIsMissingAndKeptOnRequest) {
  writeFile("f.txt~", "1008:P:1:2:1\n3 1000\n");
  EXPECT_TRUE(readinfile("f.txt"));
  EXPECT_EQ(job._nvalsleft, 1u);
  EXPECT_FALSE(readinfile("g.txt"));
  EXPECT_EQ(out_.substr(out_.rfind("Cannot")), "Cannot open the input file (g.txt: No such file or directory)\n");

  ASSERT_TRUE(readinfile("f.txt"));
  job.TwoSaveFiles = true;
  outputandtidyvals(1013, "f.txt", false);  // no f.txt yet: nothing to back up
  EXPECT_EQ(out_.find("previous contents"), std::string::npos);
  out_.clear();
  outputandtidyvals(1019, "f.txt", false);
  EXPECT_EQ(readFile("f.txt~"), "1012:P:1:2:1\n3 1000\n");
  EXPECT_EQ(readFile("f.txt"), "1018:P:1:2:1\n3 1000\n");
  EXPECT_EQ(out_.substr(8, 28), " Saving results to f.txt...\n");
  EXPECT_NE(out_.find(" ...done.\n(The previous contents of f.txt have been placed in the file f.txt~)\n"),
            std::string::npos)
      << out_;
}

TEST_F(SieveFileTest, AppendAddsValueLinesOnly) {
  ASSERT_TRUE(read("1008:P:1:2:1\n3 1000\n"));
  outputandtidyvals(1009, "q.tmp", false);
  outputandtidyvals(1009, "q.tmp", true);
  EXPECT_EQ(readFile("q.tmp"), "1008:P:1:2:1\n3 1000\n3 1000\n");
}

TEST_F(SieveFileTest, SavingTimeIsKeptOutOfTheRate) {
  ASSERT_TRUE(read("1008:P:1:2:1\n3 1000\n"));
  LastTime[3] = 100;
  LastTime[4] = 0;
  outputandtidyvals(1009, "out.txt", false);
  EXPECT_GE(LastTime[3], 100);
  EXPECT_LE(LastTime[3], 102);
  EXPECT_EQ(LastTime[4], 0);
}

TEST_F(SieveFileTest, RefusalsAndTheirMessages) {
  const std::string notValid = "The file does not appear to be valid (the first line is wrong!)";
  EXPECT_FALSE(read("1008:P:1:2:1\n5 10\n5 10\n"));
  EXPECT_NE(out_.find("The numbers in the file are not strictly increasing : I saw 5 followed by 5!\n"),
            std::string::npos);
  EXPECT_FALSE(read("1008:P:1:2:1\n-5 10\n"));
  EXPECT_NE(out_.find("not strictly increasing : I saw 0 followed by -5!"), std::string::npos);
  EXPECT_FALSE(read("1008:P:1:2:1\n\n"));
  EXPECT_EQ(out_.substr(out_.find("The file")), "The file is empty - there are no k's to sieve\n");
  EXPECT_FALSE(read(""));
  EXPECT_EQ(out_, "The file is empty - there are no k's to sieve\n");
  for (const char* bad : {"5 1000\n7 1000\n",                       // no header: first line a value line
                          "1008 P 1 2 1:\n",                         // neither header form
                          "1008:P:1:2\n3 1000\n",                    // a field short
                          "x:P:1:2:1\n3 1000\n",                     // sieved-to value not a number
                          "1008:P:1:0:1\n3 1000\n",                  // base 0
                          "1008:P:1:2:4\n3 1000\n",                  // _mode of no type
                          "1008:1:0:2:42\n3 1000\n",                 // chain length 0 for a chain
                          "99999999999999999999:P:1:2:1\n3 1000\n",  // beyond 64 bits
                          "1008:P:1:2:1\n99999999999999999999 1000\n",
                          "1008:P:1:2:1\n3 4294967296\n",            // n beyond 32 bits
                          "300:P:1:2:257\n4294967296 10\n"}) {       // fixed k beyond 32 bits
    EXPECT_FALSE(read(bad)) << bad;
    EXPECT_NE(out_.find(notValid + "\n"), std::string::npos) << bad;
  }
}

TEST_F(SieveFileTest, HeadersOfOtherSieves) {
  // Chain length 0 is one link for every form that is not a chain (Lucky sets take 3).
  for (const char* header : {"1000003:T:0:2:3", "1000037:S:0:2:10", "1000:P:0:2:1", "1000:Z:0:2:46"}) {
    ASSERT_TRUE(read(std::string(header) + "\n3 1000\n5 1000\n")) << header << out_;
    EXPECT_EQ(job.len3plus, job._mode == 46 ? 3 : 1) << header;
  }
  // Even k under an odd-k header: kept, the even-k bit set, one line with their count.
  ASSERT_TRUE(read("1008:P:1:2:1\n3 1000\n4 1000\n6 1000\n7 1000\n"));
  EXPECT_EQ(job._mode, 0x4001u);
  EXPECT_FALSE(job.fIncIsTwo);
  EXPECT_EQ(job._nvalsleft, 4u);
  EXPECT_NE(out_.find("The file lists 2 even k's although its header says odd k only: they are kept, and even k are "
                      "sieved too.\n"),
            std::string::npos)
      << out_;
  // n below the smallest the form sieves: b^(n−1) for the Lucky types, chains written n + 1.
  for (const char* file : {"100:Z:3:3:46\n2 0\n4 0\n", "100:1:3:2:42\n3 0\n", "100:P:1:2:1\n3 -2\n"}) {
    EXPECT_FALSE(read(file)) << file;
    EXPECT_NE(out_.find("The file cannot be read: its lines give n = "), std::string::npos) << out_;
  }
  EXPECT_TRUE(read("100:Z:3:3:46\n2 1\n4 1\n"));
  EXPECT_TRUE(read("100:P:1:3:1\n2 0\n4 0\n"));
  // Odd k with an odd base: every number is even, the file is refused.
  EXPECT_FALSE(read("1008:P:1:3:1\n2 1000\n4 1000\n5 1000\n7 1000\n"));
  EXPECT_NE(out_.find("The file cannot be read: 2 lines (the first is line 4) list odd k's"), std::string::npos)
      << out_;
}

TEST_F(SieveFileTest, ToleratesLineEndsJunkAfterTheValuesAndLongLines) {
  EXPECT_TRUE(read("1008:P:1:2:1\r\n3 1000\r\n5 1000"));  // CRLF, no final newline
  EXPECT_EQ(job._nvalsleft, 2u);
  // Blank lines after the values carry nothing; any other line there is a damaged file.
  EXPECT_TRUE(read("comment line\n1008:P:1:2:1\n3 1000\n\n  \n"));
  EXPECT_EQ(job._nvalsleft, 1u);
  EXPECT_EQ(job.MaxNum, 3);
  EXPECT_FALSE(read("comment line\n1008:P:1:2:1\n3 1000\n\n\xff\xfe junk\n" + std::string(5000, 'x') + "\n"));
  EXPECT_FALSE(read(std::string(100000, '7') + ":P:1:2:1\n3 1000\n"));
  EXPECT_FALSE(read(std::string("\0\0\x01:\n", 5)));
  // A file of many blocks read in both passes: every value kept, whatever line a block ends in.
  std::string big = "1008:P:1:2:1\r\n";
  for (int k = 3; k < 200000; k += 2) big += std::to_string(k) + " 1000\r\n";
  ASSERT_TRUE(read(big + "200001 1000")) << out_;
  EXPECT_EQ(job._nvalsleft, 100000u);
  EXPECT_EQ(job.MinNum, 3);
  EXPECT_EQ(job.MaxNum, 200001);
  ASSERT_TRUE(job.fUseBitMap);
  uint32_t set = 0;
  for (uint32_t i = 0; i <= 200001 - 3; i += 2) set += GetBit(i) != 0;
  EXPECT_EQ(set, 100000u);
}

// Small files fill the store from what the first pass kept, larger ones are read twice: both
// give the same store, whatever its kind, and both leave out an unended last line the first
// pass ignored.
TEST_F(SieveFileTest, KeptValuesAndASecondReadFillTheSameStore) {
  for (bool fixedK : {false, true}) {
    const std::string header = fixedK ? "1008:P:1:2:257\n" : "1008:P:1:2:1\n";
    for (uint32_t count : {uint32_t{1000}, SIEVE_FILE_KEPT_VALUES, SIEVE_FILE_KEPT_VALUES + 1}) {
      for (int64_t threshold : {int64_t{400000000}, int64_t{100}}) {
        std::string values;
        for (uint32_t i = 0; i < count; ++i) {
          const std::string v = std::to_string(3 + 2 * int64_t{i});
          values += fixedK ? "5 " + v + "\n" : v + " 1000\n";
        }
        job = SieveJob{};
        job.BitMapThreshold = threshold;
        ASSERT_TRUE(read(header + values + (fixedK ? "7 99999999" : "99999999 999"))) << count << out_;
        EXPECT_NE(out_.find("has no line end and another fixed number, so it was ignored"), std::string::npos);
        EXPECT_EQ(job.fUseBitMap, threshold > 100) << count;
        EXPECT_EQ(job._nvalsleft, count);
        outputandtidyvals(1009, "out.txt", false);
        EXPECT_TRUE(readFile("out.txt") == header + values)
            << count << " values, threshold " << threshold << (fixedK ? ", fixed k" : ", fixed n");
      }
    }
  }
}

}  // namespace
