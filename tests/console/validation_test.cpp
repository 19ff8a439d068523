// Job validation: each rule's message, its re-ask interactively and its end in full
// command-line mode.
#include "console/validation.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "primes/primetable.h"
#include "tests/console/console_script.h"
#include "tests/support/run_binary.h"

namespace {
class Validation : public ::testing::Test {
 protected:
  void SetUp() override {
    FillPrimetable();
    freshState();
  }
  void TearDown() override { freshState(); }
  // A new job of this type and base, as the dialogue builds it before the checks.
  static void newJob(int type, uint32_t base, bool primorial = false) {
    job._base = base;
    job._mode = BuildMode(type, primorial, false, false, base);
    ui.nbuff.clear();
    ui.bbuff.clear();
    ui.kminbuff.clear();
    ui.kmaxbuff.clear();
  }
};

int exitStatusOf(void (*step)()) {
  try {
    step();
  } catch (const ProgramExit& e) {
    return e.status;
  }
  return -1;
}
}  // namespace

TEST_F(Validation, FixedValueReasksUntilDigits) {
  newJob(0, 2);
  ConsoleScript s("abc\n\n100\n");
  getNorK();
  EXPECT_EQ(job._nvalue, 100);
  EXPECT_EQ(s.output, "n = Invalid number ; n = Invalid number ; n = ");
}

TEST_F(Validation, FixedValueEchoesPresetAndEndsOnBadValueInCommandLineMode) {
  newJob(16, 2);
  ui.nbuff = "17";
  {
    ConsoleScript s("");
    getNorK();
    EXPECT_EQ(s.output, "k = 17\n");
    EXPECT_EQ(job._nvalue, 17);
  }
  ui.Ready = true;
  struct Case {
    int type;
    uint32_t base;
    const char* value;
    const char* message;
  } cases[] = {{0, 2, "1x", "n = 1x\nInvalid number.\nn : \"1x\" is not a number.\n"},
               {16, 2, "0", "k = 0\nk must be at least 1.\n"},
               {16, 2, "0*0", "k = 0*0\nEach factor of k must be a number of at least 1, for example 3*5*11.\n"},
               {16, 6, "3*5", "k = 3*5\nThis ought to be a k.2^n fixed k sieve...\n"},
               {17, 3, "7", "k = 7\nk ought to be even for that fixed k sieve.\n"},
               {16, 2, "2147483648", "k = 2147483648\nk must be at most 2147483647.\n"},
               {16, 2, "*3", "k = *3\nEach factor of k must be a number of at least 1, for example 3*5*11.\n"}};
  for (const auto& c : cases) {
    newJob(c.type, c.base);
    ui.nbuff = c.value;
    ConsoleScript s("");
    EXPECT_EQ(exitStatusOf(getNorK), 1) << c.value;
    EXPECT_EQ(s.output, c.message);
  }
}

TEST_F(Validation, ProductFormOnlyForBase2FixedK) {
  newJob(16, 2);
  {
    ConsoleScript s("3*5*7\n");
    getNorK();
    EXPECT_TRUE(job.fMyPrimorial);
    EXPECT_EQ(job._nvalue, 1);
    EXPECT_EQ(job.nMyPrimorial, 3u);
    EXPECT_EQ(job.MyPrimorial[0], 3);
    EXPECT_EQ(job.MyPrimorial[2], 7);
    EXPECT_EQ(job._mode, 0x101u | MODE_PRIMORIAL);
  }
  for (auto [type, base] : {std::pair{16, 6u}, std::pair{19, 2u}, std::pair{0, 2u}}) {
    newJob(type, base);
    ConsoleScript s("3*5*7\n9\n");
    getNorK();
    EXPECT_FALSE(job.fMyPrimorial);
    EXPECT_EQ(job._nvalue, 9);
    const char* letter = type == 0 ? "n = " : "k = ";
    EXPECT_EQ(s.output, std::string(letter) + "This ought to be a k.2^n fixed k sieve...\n" + letter);
  }
  newJob(16, 2);
  ConsoleScript s("3*5*\n3*x\n15\n");
  getNorK();
  EXPECT_EQ(s.output,
            "k = Each factor of k must be a number of at least 1, for example 3*5*11.\n"
            "k = Each factor of k must be a number of at least 1, for example 3*5*11.\nk = ");
  EXPECT_EQ(job._nvalue, 15);
}

TEST_F(Validation, OddFixedKWithOddBase) {
  newJob(17, 3);
  ConsoleScript s("7\n6\n");
  getNorK();
  EXPECT_EQ(job._nvalue, 6);
  EXPECT_EQ(s.output, "k = k ought to be even for that fixed k sieve.\nk = ");
}

TEST_F(Validation, PrimorialIndexPastTheTable) {
  newJob(0, 2, true);
  ui.Ready = true;
  for (unsigned seed = 1; seed < 12; ++seed) {
    std::srand(seed);
    bool extra = std::rand() % 5 == 2;
    std::srand(seed);
    job._nvalue = 300000;
    ConsoleScript s("");
    EXPECT_FALSE(checkPrimorialIndex(true));
    std::string expected =
        "The maximum value for a primorial is 274579#.\nWhat are you thinking of? That has got about 119248 decimal "
        "digits!\n";
    if (extra)
      expected +=
          "Don't curse *me*, blame the idiot who wrote me!\nActually, now you have got me into this particular bit of "
          "code, it all comes flooding back.\nAah, those sweet memories of long debugging sessions into the night...\n";
    EXPECT_EQ(s.output, expected) << seed;
  }
}

TEST_F(Validation, PrimorialIndexIsReaskedAndRoundedDown) {
  newJob(0, 2, true);
  job._nvalue = 300000;
  ConsoleScript s("2\n100\n");
  EXPECT_TRUE(checkPrimorialIndex(true));
  EXPECT_EQ(job._nvalue, 97);
  EXPECT_NE(s.output.find("n = The primorial index must be at least 3.\nn = Prime value for n = 97\n"),
            std::string::npos);
  newJob(16, 2, true);
  job._nvalue = 274579;
  ConsoleScript quiet("");
  EXPECT_TRUE(checkPrimorialIndex(false));
  EXPECT_EQ(job._nvalue, 274579);
  EXPECT_EQ(quiet.output, "");
  job._nvalue = 12;
  ConsoleScript loud("");
  checkPrimorialIndex(true);
  EXPECT_EQ(loud.output, "Prime value for k = 11\n");
}

TEST_F(Validation, BaseChecksInTheirOrder) {
  struct Case {
    int type;
    uint32_t base;
    const char* answers;
    uint32_t finalBase;
    const char* output;
  } cases[] = {
      {14, 10, "7\n", 7, "5 will always divide k.10^n+5 - choose a different base.\nBase = "},
      {15, 21, "35\n11\n", 11,
       "7 will always divide k.21^n+7 - choose a different base.\nBase = "
       "7 will always divide k.35^n+7 - choose a different base.\nBase = "},  // 35 is not rechecked for 5
      {18, 9, "4\n", 4, "3 will always divide 2k.9^n+3 - choose a different base.\nBase = "},
      {16, 255255, "", 255255, ""},
      {17, 255256, "10\n", 10, "The fixed k sieves requires the base to be <= 255255 at the moment.\nBase = "},
      {19, 3, "", 3, ""},
      {20, 300000, "", 300000, ""},
  };
  for (const auto& c : cases) {
    newJob(c.type, c.base);
    ConsoleScript s(c.answers);
    EXPECT_TRUE(checkBase()) << c.type;
    EXPECT_EQ(job._base, c.finalBase);
    EXPECT_EQ(s.output, c.output);
  }
  newJob(14, 10);
  ui.Ready = true;
  ConsoleScript s("");
  EXPECT_FALSE(checkBase());
}

TEST_F(Validation, LimitsInOrder) {
  newJob(0, 2);
  {
    ConsoleScript s("100\n99\n\nx\n100\n100\n");
    getLimits();
    EXPECT_EQ(job.MinNum, 100);
    EXPECT_EQ(job.MaxNum, 100);
    EXPECT_EQ(s.output,
              "kmin = kmax = High limit must be >= Low limit !\nkmin = Invalid number ; kmin = Invalid number ; "
              "kmin = kmax = ");
  }
  {
    newJob(16, 2);
    ConsoleScript s("0\n010\n20\n");
    getLimits();
    EXPECT_EQ(job.MinNum, 10);  // a leading 0 is decimal
    EXPECT_EQ(job.MaxNum, 20);
    EXPECT_EQ(s.output, "nmin = The low limit must be at least 1.\nnmin = nmax = ");
  }
  ui.Ready = true;
  ui.kminbuff = "100";
  ui.kmaxbuff = "99";
  {
    ConsoleScript s("");
    EXPECT_EQ(exitStatusOf(getLimits), 1);
    EXPECT_EQ(s.output, "nmin = 100\nnmax = 99\nHigh limit must be >= Low limit !\n");
  }
  ui.kminbuff = "0";
  ui.kmaxbuff = "99";
  ConsoleScript s("");
  EXPECT_EQ(exitStatusOf(getLimits), 1);
}

TEST_F(Validation, RangeTooLargeForTheBitmap) {
  job.MinNum = 1;
  job.MaxNum = 1000000000;
  ConsoleScript s("n\n");
  EXPECT_FALSE(confirmBitmapRange());
  EXPECT_EQ(s.output,
            "The range of k that you have specified (1000000000) is too large to fit into the bitmap, which can hold "
            "400000000 k's.\nThis is not too much of a problem, as Morvane will break this up into 3 smaller ranges "
            "and sieve each in turn up to 1 billion before combining them and sieving together.\nHowever, you might "
            "like to consider increasing the bitmap size. Do you wish to continue? (y) : ");
  job.BitMapThreshold = 0;  // a zero capacity must not divide by zero
  job.MaxNum = 2;
  ConsoleScript z("\n");
  EXPECT_TRUE(confirmBitmapRange());
  EXPECT_NE(z.output.find("into 3 smaller"), std::string::npos);
  job.BitMapThreshold = 999999999;
  job.MaxNum = 1000000000;
  ConsoleScript fits("");
  EXPECT_TRUE(confirmBitmapRange());
  EXPECT_EQ(fits.output, "");
}

TEST_F(Validation, ChainLength) {
  {
    ConsoleScript s("2\nx\n\n");
    askChainLength();
    EXPECT_EQ(job.len3plus, 3);
    EXPECT_EQ(s.output,
              "\tchain length = (3) Too small value ; chain length = (3) Invalid number ; chain length = (3) ");
  }
  {
    ui.lbuff = "3";
    ConsoleScript s("7\n");
    askChainLength();
    EXPECT_EQ(job.len3plus, 7);
  }
  {
    ui.lbuff = "5";  // a preset value is used without a question
    ConsoleScript s("9\n");
    askChainLength();
    EXPECT_EQ(job.len3plus, 5);
    EXPECT_EQ(s.output, "\tchain length = (5) ");
  }
}

TEST_F(Validation, SeriesLimitNamesTheLetter) {
  newJob(0, 2);
  job.MaxN = 50;
  job._nvalue = 60;
  ConsoleScript s("");
  EXPECT_FALSE(checkSeriesLimit());
  EXPECT_EQ(s.output, "The series cannot start: n = 60 is already above the limit n = 50.\n");
  job._nvalue = 50;
  EXPECT_TRUE(checkSeriesLimit());
}

TEST_F(Validation, FermatQuestionOnlyFor3And9TimesPowersOf2Plus1) {
  struct Case {
    int type;
    uint32_t base;
    int k;
    bool asked;
  } cases[] = {{16, 2, 3, true}, {16, 2, 9, true}, {16, 2, 5, false}, {17, 2, 3, false}, {16, 4, 3, false}};
  for (const auto& c : cases) {
    newJob(c.type, c.base);
    job._nvalue = c.k;
    ConsoleScript s("y\n");
    askFermatDivisor();
    EXPECT_EQ(!s.output.empty(), c.asked);
    EXPECT_EQ((job._mode & MODE_ODD_N) != 0, c.asked);
    if (c.asked) {
      EXPECT_EQ(s.output, "You are sieving " + std::to_string(c.k) +
                              ".2^n+1. Are you looking for a divisor of a Fermat number? \r\n(If you are then I will "
                              "ignore even values of n, as these can never divide a Fermat number by Morehead's "
                              "Theorem) (n) : ");
    }
  }
}

TEST_F(Validation, ExistingOutputFileChoices) {
  ScratchDir dir;
  job.outbuff = dir.file("out.txt");
  const std::string backup = job.outbuff + "~";
  auto reset = [&] {
    // New files each time: the backup may be a second link to the output file.
    std::remove(job.outbuff.c_str());
    std::remove(backup.c_str());
    writeFile(job.outbuff, "new");
    writeFile(backup, "old backup");
  };
  {
    reset();
    ConsoleScript s("n\n");
    EXPECT_FALSE(handleExistingOutputFile());
    EXPECT_EQ(s.output, "The output file " + job.outbuff + " already exists - continue? (y) : ");
  }
  {
    reset();
    job.TwoSaveFiles = true;
    ConsoleScript s("\nn\n");
    EXPECT_TRUE(handleExistingOutputFile());
    EXPECT_EQ(s.output, "The output file " + job.outbuff + " already exists.\nShall I save its contents to " +
                            job.outbuff + "~ ?\n\t0 : Save\n\t1 : Don't save\n\t2 : Cancel\nPlease, enter your "
                            "choice (0) : Don't show me this again, aways save it ?  (y) : ");
    EXPECT_EQ(readFile(backup), "new");
    EXPECT_FALSE(ui.DSM_DSMYNC);
  }
  {
    reset();
    ConsoleScript s("1\n\n");
    EXPECT_TRUE(handleExistingOutputFile());
    EXPECT_EQ(readFile(backup), "old backup");
    EXPECT_TRUE(ui.DSM_DSMYNC);
  }
  {
    reset();
    ConsoleScript s("");  // always save: no question
    EXPECT_TRUE(handleExistingOutputFile());
    EXPECT_EQ(s.output, "");
    EXPECT_EQ(readFile(backup), "new");
  }
  {
    reset();
    ui.DSM_DSMYNC = false;
    ConsoleScript s("2\n\n");
    EXPECT_FALSE(handleExistingOutputFile());
  }
  {
    reset();
    ui.Ready = true;
    ConsoleScript s("");
    EXPECT_TRUE(handleExistingOutputFile());
    EXPECT_EQ(readFile(backup), "new");
    reset();
    job.TwoSaveFiles = false;
    EXPECT_TRUE(handleExistingOutputFile());
    EXPECT_EQ(readFile(backup), "old backup");
    EXPECT_EQ(s.output, "");
  }
}

TEST_F(Validation, OutputFileTestKeepsAnExistingFile) {
  ScratchDir dir;
  job.outbuff = dir.file("keep.txt");
  writeFile(job.outbuff, "1000:P:1:2:1\n3 1000\n");
  EXPECT_TRUE(testOutputFile());
  EXPECT_EQ(readFile(job.outbuff), "1000:P:1:2:1\n3 1000\n");
  job.outbuff = dir.file("fresh.txt");
  EXPECT_TRUE(testOutputFile());
  FILE* f = std::fopen(job.outbuff.c_str(), "r");
  EXPECT_EQ(f, nullptr) << "a test file must not be left behind";
  job.outbuff = dir.file("no/such/folder/out.txt");
  ConsoleScript s("");
  EXPECT_FALSE(testOutputFile());
  EXPECT_EQ(s.output, "The output file could not be opened.\n");
}
