// The options, help and services menus: every choice and its follow-up questions.
#include "console/menus.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <functional>

#include "console/help_texts.h"
#include "tests/console/console_script.h"
#include "tests/support/run_binary.h"

namespace {
const std::string OptionsMenu =
    "\nWhat option do you want to change ?\n"
    "\t0 : Worker thread priority\n"
    "\t1 : Automatically continue sieving the last file on startup\n"
    "\t2 : Sieve until...\n"
    "\t3 : Set max Mb RAM to store values...\n"
    "\t4 : Minutes between automatic saves...\n"
    "\t5 : Log the numbers removed\n"
    "\t6 : Use two save files\n"
    "\t7 : Number of sieving threads\n"
    "Please, enter your choice (0) : ";
const std::string SieveUntil =
    "\nSieve until :\n"
    "\t0 : Sieve until manually stopped\n"
    "\t1 : Sieve up to p = (1000)\n"
    "\t2 : Sieve until there are (1000) k's or n's remaining\n"
    "\t3 : Sieve for (24) hours\n"
    "\t4 : Sieve until the rate is (0.1) seconds per k or n\n"
    "Please, enter your choice (0) : ";
const std::string MoreOptions = "\nWould you change any more option ? (n) : ";

// Runs the options menu in dir (for the "./ordax" checks) with the answers.
std::string options(const std::string& answers, const std::string& dir = ".") {
  std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  ConsoleScript s(answers);
  getOptions();
  std::filesystem::current_path(cwd);
  return s.output;
}
}  // namespace

TEST(OptionsMenu, PriorityAndAutoStart) {
  freshState();
  EXPECT_EQ(options("0\n0\n"), OptionsMenu +
                                   "\nChanging the Worker thread priority :\n\t0 : Normal\n\t1 : Lowest\n"
                                   "Please, enter your choice (1) : " + MoreOptions);
  EXPECT_EQ(ui.WorkerThreadPriority, 0);
  options("0\n\n");
  EXPECT_EQ(ui.WorkerThreadPriority, 20);
  EXPECT_EQ(options("1\ny\n"),
            OptionsMenu + "Automatically continue sieving the last file on startup ? (n) : " + MoreOptions);
  EXPECT_TRUE(ui.fAutoStartRequired);
  freshState();
}

TEST(OptionsMenu, StopCriteriaAndSeries) {
  struct Case {
    const char* answers;
    std::function<bool()> holds;
    const char* what;
  } cases[] = {
      {"2\n1\n500\n\n\n\n",
       [] { return job.StopCriterion == STOP_AT_P && job.StopValue == 1000 && !job.fAutoIncrement && !job.fOrdax; },
       "p below 1000"},
      {"2\n1\n\n\n\n\n", [] { return job.StopValue == 1000; }, "p default"},
      {"2\n1\n02000\n\n\n\n", [] { return job.StopValue == 2000; }, "p with a leading 0 is decimal"},
      {"2\n1\n1e9\n\n\n\n", [] { return job.StopValue == 1000000000; }, "p as 1e9"},
      {"2\n3\n3000000000000000\n\n\n\n", [] { return job.StopValue == MAX_STOP_HOURS; }, "hours bounded"},
      {"2\n2\n0\n\n\n\n", [] { return job.StopCriterion == STOP_AT_COUNT && job.StopValue == 1000; }, "count 0"},
      {"2\n3\n0\n\n\n\n", [] { return job.StopCriterion == STOP_AFTER_HOURS && job.StopValue == 24; }, "hours 0"},
      {"2\n3\n5\n\n\n\n", [] { return job.StopValue == 5; }, "hours"},
      {"2\n4\n\n\n\n\n", [] { return job.StopCriterion == STOP_AT_RATE && job.StopValue == 1; }, "rate default"},
      {"2\n4\n0.25\n\n\n\n", [] { return job.StopValue == 2; }, "rate truncated"},
      {"2\n4\n0\n\n\n\n", [] { return job.StopValue == 1; }, "rate 0"},
      {"2\n4\n-1e30\n\n\n\n", [] { return job.StopValue == 1; }, "rate far below range"},
      {"2\n4\n1e30\n\n\n\n", [] { return job.StopValue == 1000000000000000000LL; }, "rate far above range"},
      {"2\n1\n\ny\n0\ny\n0\n\n",
       [] { return job.fAutoIncrement && job.AutoIncrementAmount == 1 && job.MaxN == 1; }, "series floors"},
      {"2\n1\n\ny\n4\ny\n90\n\n", [] { return job.AutoIncrementAmount == 4 && job.MaxN == 90; }, "series"},
      {"2\n1\n\ny\n\n\n\n", [] { return job.fAutoIncrement && job.MaxN == 0; }, "series without limit"},
  };
  for (const auto& c : cases) {
    freshState();
    options(c.answers);
    EXPECT_TRUE(c.holds()) << c.what;
  }
  freshState();
  job.StopCriterion = STOP_AT_P;
  job.fAutoIncrement = true;
  // Criterion 0 clears the series and asks nothing more.
  EXPECT_EQ(options("2\n0\n\n"), OptionsMenu + SieveUntil + MoreOptions);
  EXPECT_EQ(job.StopCriterion, STOP_NONE);
  EXPECT_FALSE(job.fAutoIncrement);
  EXPECT_EQ(options("2\n1\n\ny\n3\ny\n\n\n"),
            OptionsMenu + SieveUntil +
                "\nSieve up to p = (1000) \nAutomatically increment n or k when complete ? (n) : "
                "\nWhen complete, increment n or k by (1) : \nDo you want to stop when n or k gets a limit ? (n) : "
                "\nStop when n or k gets to (1) : " + MoreOptions);
  freshState();
}

TEST(OptionsMenu, OrdaxChecks) {
  ScratchDir dir;
  freshState();
  const std::string ask = OptionsMenu + SieveUntil +
                          "\nSieve up to p = (1000) \nAutomatically increment n or k when complete ? (n) : "
                          "\nPass the file to ORDAX for PRP testing when complete ? (n) : ";
  job.OrdaxParameters = "-old";
  EXPECT_EQ(options("2\n1\n\n\ny\n\n", dir.path()),
            ask + "I cannot find \"ordax\" in the current directory.\nTo automatically call ORDAX, it must be in the "
                  "current directory." + MoreOptions);
  EXPECT_FALSE(job.fOrdax);
  EXPECT_EQ(job.OrdaxParameters, "");
  writeFile(dir.file("ordax"), "#!/bin/sh\n");
  chmod(dir.file("ordax").c_str(), 0644);
  EXPECT_EQ(options("2\n1\n\n\ny\n\n", dir.path()), ask + "\"ordax\" is not an executable file.\n" + MoreOptions);
  EXPECT_FALSE(job.fOrdax);
  chmod(dir.file("ordax").c_str(), 0755);
  EXPECT_EQ(options("2\n1\n\n\ny\n  -n  -x 5 \t\n\n", dir.path()),
            ask + "Enter additionnal ORDAX parameters, e.g. -n for low priority : " + MoreOptions);
  EXPECT_TRUE(job.fOrdax);
  EXPECT_EQ(job.OrdaxParameters, "-n  -x 5");
  options("2\n1\n\n\ny\n" + std::string(500, 'q') + "\n\n", dir.path());
  EXPECT_EQ(job.OrdaxParameters.size(), ORDAX_PARAMETERS_MAX);
  freshState();
}

TEST(OptionsMenu, BitmapAndMinutes) {
  freshState();
  struct Case {
    const char* answers;
    int64_t bits;
  } cases[] = {{"3\n\n\n", 400000000}, {"3\n485\n\n", 4068474880LL}, {"3\n0\n\n", MIN_BITMAP_BITS},
               {"3\n0.0\n\n", MIN_BITMAP_BITS}, {"3\n0.0000001\n\n", MIN_BITMAP_BITS}, {"3\n100\n\n", 838860800}};
  for (const auto& c : cases) {
    options(c.answers);
    EXPECT_EQ(job.BitMapThreshold, c.bits) << c.answers;
  }
  const std::string prompt = "\nMax RAM to use for the bitmap, Mb (47.7) : ";
  EXPECT_EQ(options("3\n485.1\n-1\n1\n\n"),
            OptionsMenu + prompt + "That is not a valid size!\nThe allowable range is 0 to 485.0 Mb\n" + prompt +
                "That is not a valid size!\nThe allowable range is 0 to 485.0 Mb\n" + prompt + MoreOptions);
  EXPECT_EQ(job.BitMapThreshold, 8388608);
  options("4\n\n\n");
  EXPECT_EQ(job.WriteIterations, 30u);
  EXPECT_EQ(options("4\n0\n45\n\n"), OptionsMenu + "\nMinutes between saves (30) : That is not a valid number of "
                                                   "minutes!\n\nMinutes between saves (30) : " + MoreOptions);
  EXPECT_EQ(job.WriteIterations, 45u);
  freshState();
}

TEST(OptionsMenu, LogAndTwoSaveFilesExplanations) {
  freshState();
  const std::string logText =
      "The removed k's or n's will be appended to the file MORVANE.DEL, one per line.\nNote that this will only be "
      "done once p exceeds 2^32 (~4.3 billion), for the sake of performance.\nShow me this again ?  (n) : ";
  EXPECT_EQ(options("5\ny\n\n\n"), OptionsMenu + "Log the numbers deleted ? (n) : " + logText + MoreOptions);
  EXPECT_TRUE(job.LogDeleted);
  EXPECT_EQ(ui.LogDefault, 'y');
  EXPECT_TRUE(ui.DSM_LogDeleted);
  EXPECT_EQ(options("5\n\n\n"), OptionsMenu + "Log the numbers deleted ? (y) : " + MoreOptions);  // not shown again
  options("5\nn\n\n");
  EXPECT_FALSE(job.LogDeleted);
  EXPECT_EQ(ui.LogDefault, 'n');

  const std::string saveText =
      "Before the output file is written, the previous contents will be saved to a file with the same name followed "
      "by a tilde\r\n(For example, work.dat would be saved to work.dat~).\nShow me this again ?  (n) : ";
  EXPECT_EQ(options("6\n\ny\n\n"), OptionsMenu + "Use two save files ? (y) : " + saveText + MoreOptions);
  EXPECT_TRUE(job.TwoSaveFiles);
  EXPECT_FALSE(ui.DSM_TwoSaveFiles);  // "show me again": yes
  options("6\nn\n\n");
  EXPECT_FALSE(job.TwoSaveFiles);
  EXPECT_EQ(ui.SaveDefault, 'n');
  freshState();
}

TEST(OptionsMenu, RepeatsWhileAnsweredYes) {
  freshState();
  options("0\n0\ny\n1\ny\nn\n");
  EXPECT_EQ(ui.WorkerThreadPriority, 0);
  EXPECT_TRUE(ui.fAutoStartRequired);
  freshState();
}

TEST(HelpMenu, PrintsTheChosenText) {
  const std::string menu =
      "\nWhat kind of help do you want to get ?\n\t0 : Usage\n\t1 : About\n\t2 : Contents\n"
      "\t3 : What's new in this release\n\t4 : Types of sieve\n\t5 : Options\nPlease, enter your choice (0) : \n";
  const std::string more = "Would you get any more help ? (n) : ";
  ConsoleScript s("\ny\n1\ny\n5\n\n");
  getHelp();
  EXPECT_EQ(s.output, menu + UsageText + "\n" + more + menu + AboutText + "\n" + more + menu + OptionsText + more);
}

TEST(ServicesMenu, LookInsideAFile) {
  freshState();
  ScratchDir dir;
  writeFile(dir.file("a.txt"), "1000:P:1:2:1\n3 100\n5 100\n");
  ConsoleScript s("3\n" + dir.file("a.txt") + "\n");
  getService();
  EXPECT_NE(s.output.find("Sieve file to look inside : " + dir.file("a.txt") + "\n  Form         : k.b^n+1, base 2, "
                          "n = 100\n  Sieved to    : p = 1000\n  Values       : 2 k's, from k = 3 to 5\n"),
            std::string::npos)
      << s.output;
  freshState();
}

TEST(ServicesMenu, ServiceRunsThenResets) {
  freshState();
  ui.tbuff = "3";
  job.StopCriterion = STOP_AT_P;
  ConsoleScript s("2\n\n");  // the split, given no file name
  getService();
  const std::string menu =
      "\nAvailable Services are :\n\t0 : Sieve across multiple machines - Duplicate.\n"
      "\t1 : Sieve across multiple machines - Merge.\n\t2 : Primality test on several machines - Split.\n"
      "\t3 : Look inside a sieve file.\nPlease, enter your choice (0) : \nThis will split a Morvane output file";
  const std::string tail = "\n\nMorvane file to split : Cannot open file \nAny more Service ? (n) : ";
  EXPECT_EQ(s.output.rfind(menu, 0), 0u) << s.output;
  ASSERT_GE(s.output.size(), tail.size());
  EXPECT_EQ(s.output.substr(s.output.size() - tail.size()), tail);
  EXPECT_EQ(ui.tbuff, "");
  EXPECT_EQ(job.StopCriterion, STOP_NONE);
  freshState();
}
