// A new file of each family created through the real binary with every default taken: the
// answers that insist (file name, type, base, fixed value, limits) are on standard input,
// the whole output is compared, run included, and the file is checked against the oracle.
#include <gtest/gtest.h>

#include <string>

#include "tests/console/session_texts.h"
#include "tests/console/sieved_file.h"
#include "tests/support/run_binary.h"

namespace {
const std::string NewFile =
    "Verify results ? (n) : Creating a new file ; Output file name = Using primorial mode ? (n) : "
    "What type of sieve do you want to do ?\nThe available types of sieve are :\n" +
    NormalTypeMenu;
const std::string StopAt1000 =
    "There is a stop criterion for this sieve:\n\nSieve up to p = 1000.\n\nDo you want to continue? (y) : "
    "Are you ready to start sieving ? (y) : ";
// The end of a run stopped at the first prime above 1000, then the main menu.
std::string runEnd(const std::string& file, int survivors, char letter) {
  return runClosing(file, survivors, letter) + MainMenu + "\n";
}

// Runs the dialogue with the stop at p = 1000 preset; the settings written are not the point.
RunResult dialogue(const ScratchDir& dir, const std::string& answers, std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {"-ou", "-own", "-osp=1000"};
  args.insert(args.end(), extra.begin(), extra.end());
  return runMorvane(args, dir.path(), answers);
}

}  // namespace

TEST(NewFileDialogue, KTimes2ToNPlus1WithTheStopFromTheOptionsMenu) {
  ScratchDir dir;
  // Options: sieve until, up to p = (1000), no series, no Ordax, no more; then a new file.
  RunResult r = runMorvane({"-ou", "-own"}, dir.path(), "2\n2\n1\n\n\n\n\n\n\nt0.txt\n\n\n2\n\n100\n1\n1000\n\n\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(normaliseRun(r.output),
            Banner + MainMenu + OptionsMenu + SieveUntilMenu +
                "\nSieve up to p = (1000) \nAutomatically increment n or k when complete ? (n) : "
                "\nPass the file to ORDAX for PRP testing when complete ? (n) : "
                "\nWould you change any more option ? (n) : " +
                MainMenu + NewFile + "Base = Include even k's ? (n) : n = kmin = kmax = Type : k.b^n+1\n" +
                StopAt1000 + runOpening("0.1Kb", 500, "31 to 34") + FixedNStart + runEnd("t0.txt", 69, 'k'));
  EXPECT_EQ(sievedFileProblem(dir.file("t0.txt"), "1008:P:1:2:1\n", OracleJob(0x1, 2, 100), 1, 1000), "");
}

TEST(NewFileDialogue, TwinsOnBase2) {
  ScratchDir dir;
  RunResult r = dialogue(dir, "\n\nt2.txt\n\n2\n2\n\n100\n1\n1000\n\n\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(normaliseRun(r.output),
            Banner + MainMenu + NewFile + "Base = Include even k's ? (n) : n = kmin = kmax = Type : Twin: k.b^n±1\n" +
                StopAt1000 + runOpening("0.1Kb", 500, "31 to 34") + FixedNStart + runEnd("t2.txt", 10, 'k'));
  EXPECT_EQ(sievedFileProblem(dir.file("t2.txt"), "1008:T:1:2:3\n", OracleJob(0x3, 2, 100), 1, 1000), "");
}

TEST(NewFileDialogue, SophieGermainOnBase3AsksAboutGeneralizedChains) {
  ScratchDir dir;
  RunResult r = dialogue(dir, "\n\nt3.txt\n\n3\n3\n\n100\n1\n1000\n\n\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(normaliseRun(r.output),
            Banner + MainMenu + NewFile +
                "Base = Generalized chains ? (n) : n = kmin = kmax = Type : SG: k.b^n-1 & 2k.b^n-1\n" + StopAt1000 +
                runOpening("0.1Kb", 500, "48 to 51") + FixedNStart + runEnd("t3.txt", 25, 'k'));
  EXPECT_EQ(sievedFileProblem(dir.file("t3.txt"), "1008:S:1:3:1034\n", OracleJob(0x40A, 3, 100), 1, 1000), "");
}

TEST(NewFileDialogue, ChainTypeTakesTheDefaultLength) {
  ScratchDir dir;
  RunResult r = dialogue(dir, "\n\nt10.txt\n\n10\n2\n\n100\n1\n1000\n\n\n\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(normaliseRun(r.output),
            Banner + MainMenu + NewFile +
                "Base = Include even k's ? (n) : n = kmin = kmax = Type : CC 1st kind\tchain length = (3) " +
                StopAt1000 + runOpening("0.1Kb", 500, "31 to 34") + FixedNStart + runEnd("t10.txt", 2, 'k'));
  EXPECT_EQ(sievedFileProblem(dir.file("t10.txt"), "1008:1:3:2:42\n", OracleJob(0x2A, 2, 100, 3), 1, 1000), "");
}

TEST(NewFileDialogue, PrimorialModeRoundsTheIndexDown) {
  ScratchDir dir;
  // -u makes primorial mode the default answer; the base is 2 without a question.
  RunResult r = dialogue(dir, "\n\ntp.txt\n\n\n100\n1\n1000\n\n\n5\n", {"-u"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(normaliseRun(r.output),
            Banner + MainMenu +
                "Verify results ? (n) : Creating a new file ; Output file name = Using primorial mode ? (y) : "
                "What type of sieve do you want to do ?\nThe available types of sieve are :\n" +
                PrimorialTypeMenu + "n = Prime value for n = 97\nkmin = kmax = Type : k.n#+1\n" + StopAt1000 +
                runOpening("0.1Kb", 1000, "37 to 40") + FixedNStart + runEnd("tp.txt", 668, 'k'));
  EXPECT_EQ(sievedFileProblem(dir.file("tp.txt"), "1008:P:1:2:65\n", OracleJob(0x41, 2, 97), 1, 1000), "");
}

TEST(NewFileDialogue, FixedKType16) {
  ScratchDir dir;
  RunResult r = dialogue(dir, "\n\nt16.txt\n\n16\n2\n5\n1\n300\n\n\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(normaliseRun(r.output),
            Banner + MainMenu + NewFile + "Base = k = nmin = nmax = Type : k.b^n+1 with k fixed\n" + StopAt1000 +
                runOpening("0.0Kb", 300, "1 to 92") + "k is tiny : 5*2^1 = 10\n" + FixedKStart +
                "HH:MM:SS 150 n's remaining. p=3 divides n=78\nHH:MM:SS 150 n's left\n" + runEnd("t16.txt", 28, 'n'));
  EXPECT_EQ(sievedFileProblem(dir.file("t16.txt"), "1008:P:1:2:257\n", OracleJob(0x101, 2, 5), 1, 300), "");
}

TEST(NewFileDialogue, BToTheNPlusKType19) {
  ScratchDir dir;
  RunResult r = dialogue(dir, "\n\nt19.txt\n\n19\n2\n5\n1\n300\n\n\n5\n");
  EXPECT_EQ(r.status, 0);
  // The small values are checked exactly while the primes pass them (a value equal to its
  // divisor stays).
  EXPECT_EQ(normaliseRun(r.output),
            Banner + MainMenu + NewFile + "Base = k = nmin = nmax = Type : b^n+k with k fixed\n" + StopAt1000 +
                runOpening("0.0Kb", 300, "1 to 91") + "k is tiny : 2^1+5 = 7\n" + FixedKStart +
                "firstremoved = 2, maxtiny = 9\nHH:MM:SS 150 n's remaining. p=3 divides n=290\n"
                "HH:MM:SS 150 n's left\nfirstremoved = 7, maxtiny = 9\n" +
                runEnd("t19.txt", 29, 'n'));
  EXPECT_EQ(sievedFileProblem(dir.file("t19.txt"), "1008:P:1:2:32769\n", OracleJob(0x8001, 2, 5), 1, 300), "");
}

TEST(NewFileDialogue, NormalisingKeepsTheFirstReportOfEachRun) {
  const std::string run = "CPU capabilities: CMOV: Unsupported. SSE2: Supported.\n01:02:03 Starting sieve \n"
                          "01:02:03 9 n's remaining. p=3 divides n=8\n01:02:03 9 n's left\n"
                          "Sieved up to 5\r01:02:04 7 n's remaining. p=5 divides n=4\n01:02:04 7 n's left\n"
                          "Rate: 1 n every 0.5 seconds\nSieved up to 9\r";
  EXPECT_EQ(normaliseRun(run + run),
            "CPU capabilities: <features>\nHH:MM:SS Starting sieve \nHH:MM:SS 9 n's remaining. p=3 divides n=8\n"
            "HH:MM:SS 9 n's left\nSieved up to 5\rSieved up to 9\r"
            "CPU capabilities: <features>\nHH:MM:SS Starting sieve \nHH:MM:SS 9 n's remaining. p=3 divides n=8\n"
            "HH:MM:SS 9 n's left\nSieved up to 5\rSieved up to 9\r");
}
