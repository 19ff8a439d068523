// Jobs that run through the real binary: series of files, continued files, the automatic
// continuation from the settings file, the hand-off to a test "./ordax", and interrupts in
// full command-line mode.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <regex>

#include "console/session.h"
#include "tests/console/session_texts.h"
#include "tests/console/sieved_file.h"
#include "tests/console/terminal.h"
#include "tests/support/run_binary.h"

namespace {
// A stand-in for the tester: records its arguments, one per line.
void installRecordingOrdax(const ScratchDir& dir) {
  writeFile(dir.file("ordax"), "#!/bin/sh\nprintf '%s\\n' \"$@\" > ordax_args.txt\n");
  chmod(dir.file("ordax").c_str(), 0755);
}
}  // namespace

TEST(SeriesNames, DirectoryPartThenNumberThenName) {
  EXPECT_EQ(getnewfilename(17, "work.txt"), "17_work.txt");
  EXPECT_EQ(getnewfilename(17, "res/work.txt"), "res/17_work.txt");
  EXPECT_EQ(getnewfilename(5, "a/b/c"), "a/b/5_c");
  EXPECT_EQ(getnewfilename(123456789012LL, "/x/"), "/x/123456789012_");
  EXPECT_EQ(getnewfilename(1, std::string(2000, 'n')).size(), 1023u);
}

TEST(OrdaxHandOff, ArgumentListSplitsTheWords) {
  EXPECT_EQ(OrdaxArguments("out.txt", ""), (std::vector<std::string>{"ordax", "out.txt"}));
  EXPECT_EQ(OrdaxArguments("o", "  -n \t-x\n5  "), (std::vector<std::string>{"ordax", "o", "-n", "-x", "5"}));
}

TEST(OrdaxHandOff, FullCommandLineReplacesTheProcess) {
  ScratchDir dir;
  installRecordingOrdax(dir);
  RunResult r = runMorvane({"-ou", "-w", "-wp=h.txt", "-t=0", "-b", "-n=100", "-kmin=1", "-kmax=200", "-osp=1000",
                            "-osg=-n  -x"},
                           dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("\n*** SIEVING COMPLETE - CALLING ORDAX...\n"), std::string::npos) << r.output;
  EXPECT_EQ(readFile(dir.file("ordax_args.txt")), "h.txt\n-n\n-x\n");
  EXPECT_FALSE(fileExists(dir.file("Morvane.ini"))) << "the hand-off ends the program without the settings write";
  // The tester gets the finished file, sieved to the stop prime 1009.
  EXPECT_EQ(sievedFileProblem(dir.file("h.txt"), "1008:P:1:2:1\n", OracleJob(0x1, 2, 100), 1, 200), "");
}

TEST(OrdaxHandOff, MissingTesterFails) {
  ScratchDir dir;
  RunResult r = runMorvane({"-ou", "-w", "-wp=h.txt", "-t=0", "-b", "-n=100", "-kmin=1", "-kmax=200", "-osp=1000",
                            "-osg"},
                           dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("\n*** SIEVING COMPLETE - CALLING ORDAX...\n...failed!\n"), std::string::npos) << r.output;
  EXPECT_TRUE(fileExists(dir.file("Morvane.ini")));
}

TEST(OrdaxHandOff, InteractiveChecksThenHandOff) {
  ScratchDir dir;
  const std::string setOrdax = "2\n2\n1\n\n\ny\n";  // options: sieve up to p = 1000, no series, Ordax
  RunResult missing = runMorvane({"-ou"}, dir.path(), setOrdax + "\n5\n");
  EXPECT_NE(missing.output.find("I cannot find \"ordax\" in the current directory.\nTo automatically call ORDAX, it "
                                "must be in the current directory.\nWould you change any more option ? (n) : "),
            std::string::npos);
  writeFile(dir.file("ordax"), "#!/bin/sh\n");
  RunResult plain = runMorvane({"-ou"}, dir.path(), setOrdax + "\n5\n");
  EXPECT_NE(plain.output.find("\"ordax\" is not an executable file.\n"), std::string::npos);
  installRecordingOrdax(dir);
  RunResult r = runMorvane({"-ou", "-t", "-b", "-n=100", "-kmin=1"}, dir.path(),
                           setOrdax + " -q  \n\n0\n\ni.txt\n\n\n200\n\n\n");
  EXPECT_NE(r.output.find("Enter additionnal ORDAX parameters, e.g. -n for low priority : "), std::string::npos);
  EXPECT_NE(r.output.find("There is a stop criterion for this sieve:\n\nSieve up to p = 1000.\n\nDo you want to "
                          "continue? (y) : "),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("\n*** SIEVING COMPLETE - CALLING ORDAX...\n"), std::string::npos) << r.output;
  EXPECT_EQ(readFile(dir.file("ordax_args.txt")), "i.txt\n-q\n");
  EXPECT_EQ(sievedFileProblem(dir.file("i.txt"), "1008:P:1:2:1\n", OracleJob(0x1, 2, 100), 1, 200), "");
}

TEST(OrdaxHandOff, InterruptedRunInFullCommandLineMode) {
  ScratchDir dir;
  installRecordingOrdax(dir);
  Terminal t(dir.path(), {"-ou", "-w", "-wp=long.txt", "-t=0", "-b", "-n=1000", "-kmin=1", "-kmax=10000000",
                          "-osp=100000000000000", "-osg=-n"});
  ASSERT_TRUE(t.waitFor("candidates")) << t.screen;
  usleep(300000);
  t.type("\x03");
  ASSERT_TRUE(t.waitFor("Stopping...")) << t.screen;
  ASSERT_TRUE(t.waitFor("The sieving was stopped before the Stop Criterion was reached, Program terminated.\r\n"))
      << t.screen;
  EXPECT_EQ(t.exitStatus(), 130);
  EXPECT_FALSE(fileExists(dir.file("ordax_args.txt")));
  EXPECT_TRUE(isSavedKTimes2To1000Plus1(readFile(dir.file("long.txt"))));
}

TEST(OrdaxHandOff, InterruptedInteractiveRunAsksFirst) {
  ScratchDir dir;
  installRecordingOrdax(dir);
  Terminal t(dir.path(), {"-ou", "-w", "-wp=long.txt", "-t=0", "-b", "-n=1000", "-kmin=1", "-osp=100000000000000",
                          "-osg=-n"});
  ASSERT_TRUE(t.answer("Verify results ? (n) : ", ""));
  ASSERT_TRUE(t.answer("Using primorial mode ? (n) : ", ""));
  ASSERT_TRUE(t.answer("Include even k's ? (n) : ", ""));
  ASSERT_TRUE(t.answer("kmax = ", "10000000"));
  ASSERT_TRUE(t.answer("Do you want to continue? (y) : ", ""));
  ASSERT_TRUE(t.answer("Are you ready to start sieving ? (y) : ", ""));
  ASSERT_TRUE(t.waitFor("candidates")) << t.screen;
  usleep(300000);
  t.type("\x03");
  ASSERT_TRUE(t.answer("The sieving was stopped before the Stop Criterion was reached.\r\nDo you want to send the "
                       "data to ORDAX anyway ?  (y) : ",
                       ""))
      << t.screen;
  ASSERT_TRUE(t.waitFor("*** SIEVING COMPLETE - CALLING ORDAX...")) << t.screen;
  EXPECT_EQ(t.exitStatus(), 0);
  EXPECT_EQ(readFile(dir.file("ordax_args.txt")), "long.txt\n-n\n");
}

TEST(Series, FixedKStepsToOddKUntilTheLimit) {
  ScratchDir dir;
  RunResult r = runMorvane({"-ou", "-w", "-wp=fk.txt", "-t=16", "-b", "-k=5", "-nmin=1", "-nmax=300", "-osp=2000",
                            "-osw", "-osk=8"},
                           dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("The output files will be called 5_fk.txt, 7_fk.txt, etc...\n"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("Next value for k = 7\nnmin = 1\nnmax = 300\nType : k.b^n+1 with k fixed\n"),
            std::string::npos);
  EXPECT_NE(r.output.find("The sieve limit has been reached\n"), std::string::npos);
  for (int k : {5, 7}) {
    const std::string name = std::to_string(k) + "_fk.txt";
    EXPECT_EQ(sievedFileProblem(dir.file(name), "2002:P:1:2:257\n", OracleJob(0x101, 2, k), 1, 300), "");
  }
  EXPECT_FALSE(fileExists(dir.file("6_fk.txt")));
  EXPECT_FALSE(fileExists(dir.file("9_fk.txt")));
}

TEST(Series, FixedKOnAnOddBaseStepsToEvenK) {
  ScratchDir dir;
  RunResult r = runMorvane({"-ou", "-w", "-wp=o.txt", "-t=16", "-base=3", "-k=4", "-nmin=1", "-nmax=100",
                            "-osp=2000", "-osw", "-osk=7"},
                           dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("Next value for k = 6\n"), std::string::npos) << r.output;
  for (int k : {4, 6}) {
    const std::string name = std::to_string(k) + "_o.txt";
    EXPECT_EQ(sievedFileProblem(dir.file(name), "2002:P:1:3:257\n", OracleJob(0x101, 3, k), 1, 100), "");
  }
  EXPECT_FALSE(fileExists(dir.file("8_o.txt")));
}

TEST(Series, PrimorialStepsThroughTablePrimes) {
  ScratchDir dir;
  RunResult r = runMorvane({"-ou", "-u", "-w", "-wp=pr.txt", "-t=0", "-b", "-n=100", "-kmin=1", "-kmax=500",
                            "-osp=2000", "-osw", "-osn=103"},
                           dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("n = 100\nPrime value for n = 97\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("The output files will be called 97_pr.txt, 101_pr.txt, etc...\n"), std::string::npos);
  EXPECT_NE(r.output.find("Next value for n = 101\n"), std::string::npos);
  EXPECT_NE(r.output.find("Next value for n = 103\n"), std::string::npos);
  EXPECT_NE(r.output.find("The sieve limit has been reached\n"), std::string::npos);
  for (int n : {97, 101, 103}) {
    const std::string name = std::to_string(n) + "_pr.txt";
    EXPECT_EQ(sievedFileProblem(dir.file(name), "2002:P:1:2:65\n", OracleJob(0x41, 2, n), 1, 500), "");
  }
}

TEST(Settings, AutoStartContinuesTheFileOnce) {
  ScratchDir dir;
  RunResult first = runMorvane({"-ou", "-oa", "-w", "-wp=auto.txt", "-t=0", "-b", "-n=100", "-kmin=1",
                                "-kmax=500", "-osp=1000"},
                               dir.path());
  EXPECT_EQ(first.status, 0);
  EXPECT_NE(readFile(dir.file("Morvane.ini")).find("InputFileName = auto.txt\n"), std::string::npos);
  // The stop criterion is not part of the file, so the continued run gets its own.
  RunResult again = runMorvane({"-osp=2000"}, dir.path());
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.output.find("Sieving an old file ; Input file name = auto.txt\nOutput file name = auto.txt\n"),
            std::string::npos)
      << again.output;
  EXPECT_EQ(readFile(dir.file("Morvane.ini")).find("InputFileName"), std::string::npos);
  RunResult third = runMorvane({}, dir.path(), "5\n");
  EXPECT_EQ(third.output, Banner + MainMenu + "\n");
}

TEST(Settings, MissingAutoStartFileFallsBackToTheMenu) {
  ScratchDir dir;
  writeFile(dir.file("Morvane.ini"), "TwoSaveFiles = 1\nInputFileName = gone.txt\n");
  RunResult r = runMorvane({}, dir.path(), "5\n");
  EXPECT_EQ(r.output, "\nMorvane 2.82 - Use Control-C to manually stop the current sieving.\n"
                      "The sieve could not continue sieving the previous file!\n" + MainMenu + "\n");
}

TEST(Settings, OptionsOverrideTheFile) {
  ScratchDir dir;
  writeFile(dir.file("Morvane.ini"), "WorkerThreadPriorityLowest = 1\nBitmapThreshold = 5\nMinutesBetweenWrites = 50\n");
  RunResult r = runMorvane({"-own", "-ob=100", "-ou"}, dir.path(), "5\n");
  EXPECT_EQ(r.status, 0);
  std::string ini = readFile(dir.file("Morvane.ini"));
  EXPECT_NE(ini.find("WorkerThreadPriorityLowest = 0\n"), std::string::npos);
  EXPECT_NE(ini.find("BitmapThreshold = 838860800\n"), std::string::npos);
  EXPECT_NE(ini.find("MinutesBetweenWrites = 50\n"), std::string::npos);
  EXPECT_NE(ini.find("TwoSaveFiles = 1\n"), std::string::npos);
}

TEST(FullCommandLine, OneJobAsksNothingAndEndsAtTheStopValue) {
  ScratchDir dir;
  RunResult r = runMorvane({"-w", "-wp=out.txt", "-t=0", "-base=2", "-n=1000", "-kmin=1", "-kmax=1000", "-osp=1000"},
                           dir.path());
  EXPECT_EQ(r.status, 0);
  // The dialogue part is fixed; the run's own lines belong to the file run, so only their
  // shape is checked here: through a pipe status lines are plain lines, the run ends at the first prime
  // not below 1000, and the closing line names the file.
  const std::string dialogue = Recommendation + Banner +
                               "Creating a new file ; Output file name = out.txt\nBase = 2\nn = 1000\nkmin = 1\n"
                               "kmax = 1000\nType : k.b^n+1\nThere is a stop criterion for this sieve:\n\n"
                               "Sieve up to p = 1000.\n\n";
  EXPECT_EQ(r.output.substr(0, dialogue.size()), dialogue);
  EXPECT_NE(r.output.find("\nSieved up to 1009\n"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find('\r'), std::string::npos) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("\nOutput file 'out.txt' generated, contains [0-9]+ k's\n\n$")))
      << r.output;
  std::string file = readFile(dir.file("out.txt"));
  EXPECT_EQ(file.substr(0, file.find('\n') + 1), "1008:P:1:2:1\n");
  EXPECT_EQ(readFile(dir.file("Morvane.ini")), DefaultSettings);
}
