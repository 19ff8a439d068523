// Auto-increment series set up in the options menu and run through the real binary: the
// whole dialogue and every run compared, and each file of the series checked against the
// oracle (its header names the depth of the stop prime 1009).
#include <gtest/gtest.h>

#include <string>

#include "tests/console/session_texts.h"
#include "tests/console/sieved_file.h"
#include "tests/support/run_binary.h"

namespace {
// Options: sieve up to p = (1000), increment by (1), stop at `limit`.
std::string seriesOptions(const std::string& limit) { return "2\n2\n1\n\ny\n\ny\n" + limit + "\n\n"; }

const std::string SeriesOptionsDialogue =
    MainMenu + OptionsMenu + SieveUntilMenu +
    "\nSieve up to p = (1000) \nAutomatically increment n or k when complete ? (n) : "
    "\nWhen complete, increment n or k by (1) : \nDo you want to stop when n or k gets a limit ? (n) : "
    "\nStop when n or k gets to (1) : \nWould you change any more option ? (n) : " +
    MainMenu;

std::string seriesConfirmation(char letter, const std::string& first, const std::string& second) {
  return std::string("The autoincrement '") + letter + "' flag is set.\r\nThis means that once this range has been " +
         "sieved, '" + letter + "' will be incremented and the sieving will start again.\r\nThe output files will " +
         "be called " + first + ", " + second + ", etc - is this okay? (y) : There is a stop criterion for this " +
         "sieve:\n\nSieve up to p = 1000.\n\nDo you want to continue? (y) : Are you ready to start sieving ? (y) : ";
}

// The fixed-k run of k.2^n+1 over n = 1..300: its tiny note and its first strike by 3.
std::string fixedKRun(int k, const std::string& digits, int lastStruckBy3, int survivors) {
  return runOpening("0.0Kb", 300, digits) + "k is tiny : " + std::to_string(k) + "*2^1 = " + std::to_string(2 * k) +
         "\n" + FixedKStart + "HH:MM:SS 150 n's remaining. p=3 divides n=" + std::to_string(lastStruckBy3) +
         "\nHH:MM:SS 150 n's left\n" + runClosing(std::to_string(k) + "_fk.txt", survivors, 'n');
}

std::string primorialRun(int n, const std::string& digits, int survivors) {
  return runOpening("0.1Kb", 500, digits) + FixedNStart + runClosing(std::to_string(n) + "_pr.txt", survivors, 'k');
}
}  // namespace

TEST(SeriesDialogue, FixedKStepsToOddKAndStopsAtTheLimit) {
  ScratchDir dir;
  RunResult r = runMorvane({"-ou", "-own"}, dir.path(),
                           seriesOptions("8") + "\n\nfk.txt\n\n16\n2\n5\n1\n300\n\n\n\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(normaliseRun(r.output),
            Banner + SeriesOptionsDialogue +
                "Verify results ? (n) : Creating a new file ; Output file name = Using primorial mode ? (n) : "
                "What type of sieve do you want to do ?\nThe available types of sieve are :\n" +
                NormalTypeMenu + "Base = k = nmin = nmax = Type : k.b^n+1 with k fixed\n" +
                seriesConfirmation('k', "5_fk.txt", "7_fk.txt") + fixedKRun(5, "1 to 92", 78, 28) +
                "Next value for k = 7\nnmin = 1\nnmax = 300\nType : k.b^n+1 with k fixed\n" +
                fixedKRun(7, "2 to 92", 39, 66) + "The sieve limit has been reached\n" + MainMenu + "\n");
  for (int k : {5, 7}) {
    const std::string name = std::to_string(k) + "_fk.txt";
    EXPECT_EQ(sievedFileProblem(dir.file(name), "1008:P:1:2:257\n", OracleJob(0x101, 2, k), 1, 300), "");
  }
  EXPECT_FALSE(fileExists(dir.file("9_fk.txt")));
  EXPECT_FALSE(fileExists(dir.file("fk.txt")));
}

TEST(SeriesDialogue, PrimorialSeriesFromN100) {
  ScratchDir dir;
  RunResult r = runMorvane({"-ou", "-own", "-u"}, dir.path(),
                           seriesOptions("103") + "\n\npr.txt\n\n\n100\n1\n500\n\n\n\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(normaliseRun(r.output),
            Banner + SeriesOptionsDialogue +
                "Verify results ? (n) : Creating a new file ; Output file name = Using primorial mode ? (y) : "
                "What type of sieve do you want to do ?\nThe available types of sieve are :\n" +
                PrimorialTypeMenu + "n = Prime value for n = 97\nkmin = kmax = Type : k.n#+1\n" +
                seriesConfirmation('n', "97_pr.txt", "101_pr.txt") + primorialRun(97, "37 to 40", 337) +
                "Next value for n = 101\nkmin = 1\nkmax = 500\nType : k.n#+1\n" + primorialRun(101, "39 to 42", 348) +
                "Next value for n = 103\nkmin = 1\nkmax = 500\nType : k.n#+1\n" + primorialRun(103, "41 to 44", 339) +
                "The sieve limit has been reached\n" + MainMenu + "\n");
  for (int n : {97, 101, 103}) {
    const std::string name = std::to_string(n) + "_pr.txt";
    EXPECT_EQ(sievedFileProblem(dir.file(name), "1008:P:1:2:65\n", OracleJob(0x41, 2, n), 1, 500), "");
  }
}
