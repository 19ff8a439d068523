// The session through the real binary with scripted answers on standard input: the main
// menu, the validation messages and their re-asks, full command-line refusals and their exit
// statuses, and the end of input. These jobs are abandoned or refused before they run.
#include <gtest/gtest.h>

#include "console/help_texts.h"
#include "tests/console/session_texts.h"
#include "tests/support/run_binary.h"

TEST(SessionDialogue, MainMenuExitWritesSettings) {
  ScratchDir dir;
  RunResult r = runMorvane({}, dir.path(), "5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, Recommendation + Banner + MainMenu + "\n");
  EXPECT_EQ(readFile(dir.file("Morvane.ini")), DefaultSettings);
}

TEST(SessionDialogue, EndOfInputAtTheMainMenuEndsLikeExit) {
  ScratchDir dir;
  RunResult r = runMorvane({"-ou"}, dir.path(), "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, Banner + MainMenu + InputEnded);
  EXPECT_NE(readFile(dir.file("Morvane.ini")).find("TwoSaveFiles = 1\n"), std::string::npos);
}

TEST(SessionDialogue, EndOfInputAtAQuestionWithoutDefault) {
  ScratchDir dir;
  RunResult r = runMorvane({"-ou"}, dir.path(), "\n\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, Banner + MainMenu + "Verify results ? (n) : Creating a new file ; Output file name = " +
                          InputEnded);
  EXPECT_TRUE(fileExists(dir.file("Morvane.ini")));
}

TEST(SessionDialogue, NoFileNameIsTheWayBackToTheMainMenu) {
  ScratchDir dir;
  // A new file without a name, an old file without an input name, one without an output name.
  RunResult r = runMorvane({"-ou"}, dir.path(), "\n\n\n1\n\n\n1\n\nin.txt\n\n5\n");
  EXPECT_EQ(r.status, 0);
  const std::string back = "\nBack to the main menu.\n";
  EXPECT_EQ(r.output, Banner + MainMenu + "Verify results ? (n) : Creating a new file ; Output file name = " + back +
                          MainMenu + "Verify results ? (n) : Sieving an old file ; Input file name = " + back +
                          MainMenu + "Verify results ? (n) : Sieving an old file ; Input file name = "
                          "Output file name = " + back + MainMenu + "\n");
}

TEST(SessionDialogue, OptionsHelpAndServicesReturnToTheMainMenu) {
  ScratchDir dir;
  RunResult r = runMorvane({"-ou"}, dir.path(), "2\n0\n0\n\n4\n1\n\n3\n2\n\n5\n");
  EXPECT_EQ(r.status, 0);
  std::string expected = Banner + MainMenu + OptionsMenu +
                         "\nChanging the Worker thread priority :\n\t0 : Normal\n\t1 : Lowest\n"
                         "Please, enter your choice (1) : \nWould you change any more option ? (n) : " +
                         MainMenu + HelpMenu + "\n" + AboutText + "\nWould you get any more help ? (n) : " + MainMenu +
                         ServicesMenu + "\n";
  ASSERT_EQ(r.output.substr(0, expected.size()), expected);
  // The service's own dialogue (or its absence) follows, then the main menu again and exit.
  EXPECT_NE(r.output.find("Any more Service ? (n) : " + MainMenu + "\n", expected.size()), std::string::npos);
  EXPECT_NE(readFile(dir.file("Morvane.ini")).find("WorkerThreadPriorityLowest = 0\n"), std::string::npos);
}

TEST(SessionDialogue, NewFileQuestionsWithDefaultsThenDecline) {
  ScratchDir dir;
  // Menu, verify, name, primorial, type, base, even k, n, kmin, kmax, then "not ready".
  RunResult r = runMorvane({"-ou"}, dir.path(), "\n\nout.txt\n\n\n2\n\n100\n1\n1000\nn\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, Banner + MainMenu + "Verify results ? (n) : Creating a new file ; Output file name = " +
                          "Using primorial mode ? (n) : What type of sieve do you want to do ?\n"
                          "The available types of sieve are :\n" + NormalTypeMenu +
                          "Base = Include even k's ? (n) : n = kmin = kmax = Type : k.b^n+1\n"
                          "Are you ready to start sieving ? (y) : " + MainMenu + "\n");
  EXPECT_FALSE(fileExists(dir.file("out.txt")));
}

TEST(SessionDialogue, EachValidationMessageAndItsReask) {
  ScratchDir dir;
  // Type 15 with base 35 (refused for 5, then 21 for 7), a product on a fixed-n type, a low
  // limit of 0, limits in the wrong order, a range too large for the bitmap, then decline.
  RunResult r = runMorvane({"-ou", "-w"}, dir.path(),
                           "\no.txt\n\n15\nx\n35\n3*5\n\n100\n21\n11\n0\n5\n4\n5\n1000000000\nn\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output,
            Banner + "Verify results ? (n) : Creating a new file ; Output file name = Using primorial mode ? (n) : "
                     "What type of sieve do you want to do ?\nThe available types of sieve are :\n" + NormalTypeMenu +
                "Base = Invalid number ; Base = "
                "n = This ought to be a k.2^n fixed k sieve...\nn = Invalid number ; n = "
                "5 will always divide k.35^n+5 - choose a different base.\nBase = "
                "7 will always divide k.21^n+7 - choose a different base.\nBase = "
                "kmin = The low limit must be at least 1.\nkmin = kmax = High limit must be >= Low limit !\n"
                "kmin = kmax = The range of k that you have specified (999999996) is too large to fit into the bitmap, "
                "which can hold 400000000 k's.\nThis is not too much of a problem, as Morvane will break this up into 3 "
                "smaller ranges and sieve each in turn up to 1 billion before combining them and sieving together.\n"
                "However, you might like to consider increasing the bitmap size. Do you wish to continue? (y) : " +
                MainMenu + "\n");
}

TEST(SessionDialogue, ChainLengthAndPrimorialIndex) {
  ScratchDir dir;
  // Without -kmax the dialogue runs, echoing the preset answers and asking the rest.
  RunResult r = runMorvane({"-ou", "-w", "-wp=c.txt", "-t=10", "-b", "-n=50", "-kmin=1", "-z"}, dir.path(),
                           "\n\n\n99\n2\nx\n4\nn\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, Banner + "Verify results ? (n) : Creating a new file ; Output file name = c.txt\n"
                               "Using primorial mode ? (n) : Base = 2\nInclude even k's ? (n) : n = 50\n"
                               "kmin = 1\nkmax = Type : CC 1st kind\tchain length = (3) "
                               "Too small value ; chain length = (3) Invalid number ; chain length = (3) "
                               "Are you ready to start sieving ? (y) : " + MainMenu + InputEnded);

  RunResult p = runMorvane({"-ou", "-u", "-w", "-wp=p.txt", "-t=2", "-n=300000", "-kmin=1"}, dir.path(),
                           "\n\n100\n99\nn\n");
  EXPECT_EQ(p.status, 0);
  EXPECT_NE(p.output.find("Using primorial mode ? (y) : n = 300000\nThe maximum value for a primorial is 274579#.\n"
                          "What are you thinking of? That has got about 119248 decimal digits!\n"),
            std::string::npos);
  EXPECT_NE(p.output.find("n = Prime value for n = 97\nkmin = 1\nkmax = Type : Twin: k.n#±1\n"),
            std::string::npos);
}

TEST(SessionDialogue, FermatQuestionAndSeriesConfirmation) {
  ScratchDir dir;
  RunResult r = runMorvane({"-ou", "-w", "-wp=f.txt", "-t=16", "-base=2", "-k=3", "-nmin=1", "-osp=2000"}, dir.path(),
                           "\n\n500\n\ny\nn\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, Banner + "Verify results ? (n) : Creating a new file ; Output file name = f.txt\n"
                               "Using primorial mode ? (n) : Base = 2\nk = 3\nnmin = 1\nnmax = "
                               "Type : k.b^n+1 with k fixed\n"
                               "There is a stop criterion for this sieve:\n\nSieve up to p = 2000.\n\n"
                               "Do you want to continue? (y) : "
                               "You are sieving 3.2^n+1. Are you looking for a divisor of a Fermat number? \r\n"
                               "(If you are then I will ignore even values of n, as these can never divide a Fermat "
                               "number by Morehead's Theorem) (n) : Are you ready to start sieving ? (y) : " +
                               MainMenu + InputEnded);

  RunResult s = runMorvane({"-ou", "-w", "-wp=res/s.txt", "-t=0", "-b", "-n=100", "-kmin=1", "-osu=10", "-osw=2"},
                           dir.path(), "\n\n\n99\nn\n5\n");
  EXPECT_NE(s.output.find("The autoincrement 'n' flag is set.\r\nThis means that once this range has been sieved, 'n' "
                          "will be incremented and the sieving will start again.\r\nThe output files will be called "
                          "res/100_s.txt, res/102_s.txt, etc - is this okay? (y) : " + MainMenu),
            std::string::npos)
      << s.output;
}

TEST(SessionDialogue, ExistingOutputFileWithAndWithoutTwoSaveFiles) {
  ScratchDir dir;
  writeFile(dir.file("x.txt"), "old contents\n");
  const std::vector<std::string> job = {"-w", "-wp=x.txt", "-t=0", "-b", "-n=100", "-kmin=1"};
  std::vector<std::string> args = job;
  args.push_back("-ou");
  RunResult r = runMorvane(args, dir.path(), "\n\n\n99\n2\nn\n");
  EXPECT_NE(r.output.find("Type : k.b^n+1\nThe output file x.txt already exists.\nShall I save its contents to "
                          "x.txt~ ?\n\t0 : Save\n\t1 : Don't save\n\t2 : Cancel\nPlease, enter your choice (0) : "
                          "Don't show me this again, aways save it ?  (y) : " + MainMenu),
            std::string::npos)
      << r.output;
  EXPECT_EQ(readFile(dir.file("x.txt")), "old contents\n");
  EXPECT_NE(readFile(dir.file("Morvane.ini")).find("DSM_AlwaysSave = 0\n"), std::string::npos);

  writeFile(dir.file("Morvane.ini"), "TwoSaveFiles = 0\n");
  RunResult plain = runMorvane(job, dir.path(), "\n\n\n99\nn\n");
  EXPECT_NE(plain.output.find("Type : k.b^n+1\nThe output file x.txt already exists - continue? (y) : " + MainMenu),
            std::string::npos);
  EXPECT_EQ(readFile(dir.file("x.txt")), "old contents\n");
}

TEST(FullCommandLine, RefusalsAndTheirStatuses) {
  ScratchDir dir;
  const std::string base = "-base=2";
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
    bool settingsWritten = false;  // refusals after the session started still write them
  } cases[] = {
      {{"-t=21", base, "-n=100", "-kmin=1", "-kmax=9"}, 1, "21 : Invalid type of sieve.\n", true},
      {{"-t=0", base, "-n=100", "-kmin=9", "-kmax=1"}, 1, "High limit must be >= Low limit !\n"},
      {{"-t=0", base, "-n=100", "-kmin=0", "-kmax=1"}, 1, "The low limit must be at least 1.\n"},
      {{"-t=17", "-base=3", "-k=7", "-kmin=1", "-kmax=9"}, 1, "k ought to be even for that fixed k sieve.\n"},
      {{"-t=0", base, "-k=3*5", "-kmin=1", "-kmax=9"}, 1, "This ought to be a k.2^n fixed k sieve...\n"},
      {{"-t=16", base, "-k=2147483648", "-kmin=1", "-kmax=9"}, 1, "k must be at most 2147483647.\n"},
      {{"-t=0", "-base=1", "-n=100", "-kmin=1", "-kmax=9"}, 1, "The base must be a number from 2 to 2147483647.\n"},
      {{"-t=14", "-base=10", "-n=100", "-kmin=1", "-kmax=9"}, 1,
       "5 will always divide k.10^n+5 - choose a different base.\n", true},
      {{"-u", "-t=0", base, "-n=300000", "-kmin=1", "-kmax=9"}, 1, "The maximum value for a primorial is 274579#.",
       true},
      {{"-u", "-t=0", base, "-n=2", "-kmin=1", "-kmax=9"}, 1, "The primorial index must be at least 3.\n"},
      {{"-t=0", base, "-n=100", "-kmin=1", "-kmax=9", "-osp", "-osw", "-osn=50"}, 1,
       "The series cannot start: n = 100 is already above the limit n = 50.\n", true},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"-ou", "-w", "-wp=r.txt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::remove(dir.file("Morvane.ini").c_str());
    RunResult r = runMorvane(args, dir.path(), "");
    EXPECT_EQ(r.status, c.status) << c.message;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_EQ(fileExists(dir.file("Morvane.ini")), c.settingsWritten) << c.message;
    EXPECT_FALSE(fileExists(dir.file("r.txt")));
  }
  RunResult unwritable = runMorvane({"-ou", "-w", "-wp=no/such/dir/o.txt", "-t=0", base, "-n=100", "-kmin=1",
                                     "-kmax=9"},
                                    dir.path(), "");
  EXPECT_EQ(unwritable.status, 3);
  EXPECT_NE(unwritable.output.find("The output file could not be opened.\n"), std::string::npos);
}

TEST(CommandLine, HelpTextsAndInvalidOption) {
  ScratchDir dir;
  RunResult h = runMorvane({"-h", "-ou"}, dir.path(), "5\n");
  EXPECT_EQ(h.output, "\n" + std::string(UsageText) + "\n" + Banner + MainMenu + "\n");
  RunResult x = runMorvane({"-xyz", "-ou"}, dir.path(), "5\n");
  EXPECT_EQ(x.output, "yz : Invalid option (-xyz)\n" + std::string(UsageText) + "\n" + Banner + MainMenu + "\n");
  RunResult t = runMorvane({"-ht", "-ou"}, dir.path(), "5\n");
  EXPECT_EQ(t.output.substr(0, 60), "\nThe available types of sieve are :\n\n     - If not using pri");
  EXPECT_NE(t.output.find("3 : SG: k.b^n-1 & k.b^(n+1)-1 if genzed chains, k.b^n-1 & 2k.b^n-1 if not.\n"),
            std::string::npos);
}

TEST(SessionDialogue, ContinuedFileEchoesTheJob) {
  ScratchDir dir;
  writeFile(dir.file("in.txt"), "1000:P:1:2:1\n3 100\n5 100\n");
  RunResult r = runMorvane({"-ou"}, dir.path(), "1\n\nin.txt\nin.txt\n1\nn\nn\n5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, Banner + MainMenu +
                          "Verify results ? (n) : Sieving an old file ; Input file name = Output file name = "
                          "Opened the input file - counting the number of k's and finding the range of k...\n"
                          "The file contains 2 k's - using bitmap : allocating 0.0Kb of RAM...\n...succeeded\n"
                          "base = 2, n = 100, kmin =3, kmax = 5\nType : k.b^n+1\nUse normal mode\n"
                          "The output file in.txt already exists.\nShall I save its contents to in.txt~ ?\n"
                          "\t0 : Save\n\t1 : Don't save\n\t2 : Cancel\nPlease, enter your choice (0) : "
                          "Don't show me this again, aways save it ?  (y) : Are you ready to start sieving ? (y) : " +
                          MainMenu + "\n");
  EXPECT_EQ(readFile(dir.file("in.txt")), "1000:P:1:2:1\n3 100\n5 100\n");

  writeFile(dir.file("c.txt"), "2000:3:4:5:42\n6 21\n");
  RunResult chain = runMorvane({"-ou", "-c", "-ci=c.txt"}, dir.path(), "\nc2.txt\nn\n");
  EXPECT_NE(chain.output.find("base = 5, n = 20, kmin =6, kmax = 6\nType : CC 1st kind\tchain length = 4\n"
                              "Use normal mode\nAre you ready"),
            std::string::npos)
      << chain.output;
  writeFile(dir.file("sg.txt"), "2000:S:1:5:1034\n6 20\n");
  RunResult sg = runMorvane({"-ou", "-c", "-ci=sg.txt"}, dir.path(), "\nsg2.txt\nn\n");
  EXPECT_NE(sg.output.find("Type : SG: k.b^n-1 & 2k.b^n-1\nUse normal mode, No Generalized chains\n"),
            std::string::npos)
      << sg.output;
  RunResult missing = runMorvane({"-ou", "-c", "-ci=none.txt", "-cp=o.txt"}, dir.path(), "");
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.output.find("Type :"), std::string::npos);
}

TEST(ScriptAnswers, HelpAndVersionPrintAndEndWithoutTheSettingsFile) {
  ScratchDir dir;
  RunResult version = runMorvane({"--version"}, dir.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.output, std::regex("morvane [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.output;
  RunResult help = runMorvane({"-w", "--help"}, dir.path(), "5\n");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind("Usage :\n", 0), 0u) << help.output;
  EXPECT_NE(help.output.find("-osp[=nnnn] : Sieve up to p=nnnn(default=1000).\n"), std::string::npos) << help.output;
  EXPECT_EQ(help.output.find("What do you want to do now ?"), std::string::npos) << help.output;
  EXPECT_FALSE(fileExists(dir.file("Morvane.ini")));
  // An existing settings file is left exactly as it was.
  writeFile(dir.file("Morvane.ini"), "Odd = 1\n");
  EXPECT_EQ(runMorvane({"--version"}, dir.path()).status, 0);
  EXPECT_EQ(readFile(dir.file("Morvane.ini")), "Odd = 1\n");
}
