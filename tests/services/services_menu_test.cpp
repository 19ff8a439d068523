// The services driven through the services menu with scripted console answers.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "console/menus.h"
#include "console/prompts.h"
#include "services/merge.h"
#include "tests/services/service_test_support.h"
#include "tests/support/run_binary.h"

namespace {

class Dialogue : public ConsoleCapture {
 protected:
  void TearDown() override {
    ConsoleCapture::TearDown();
    Directory.clear();
  }
  // Chooses one service from the services menu, gives it the answers, then answers no to
  // "Any more Service ?"; `console` keeps what the service itself printed.
  void run(int choice, const std::string& answers) {
    session(std::to_string(choice) + "\n" + answers + "n\n");
    const std::string chosen = "Please, enter your choice (0) : \n";
    const std::string more = "Any more Service ? (n) : ";
    size_t from = console.find(chosen);
    size_t to = console.rfind(more);
    ASSERT_NE(from, std::string::npos) << console;
    ASSERT_NE(to, std::string::npos) << console;
    console = console.substr(from + chosen.size(), to - from - chosen.size());
  }
  // The services menu with a whole script of answers.
  void session(const std::string& script) {
    console.clear();
    writeFile(answersFile.file("answers"), script);
    int fd = open(answersFile.file("answers").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    setConsoleInput(fd);
    getService();
    setConsoleInput(-1);
    close(fd);
  }
  size_t count(const std::string& text) const {
    size_t n = 0;
    for (size_t at = console.find(text); at != std::string::npos; at = console.find(text, at + 1)) ++n;
    return n;
  }
  bool ends(const std::string& tail) const {
    return console.size() >= tail.size() &&
           console.compare(console.size() - tail.size(), tail.size(), tail) == 0;
  }
  ScratchDir dir, answersFile;
};

TEST_F(Dialogue, DuplicateHelpExample) {
  writeFile(dir.file("Twin.txt"), sieveText("1000000000:T:1:2:3", {3, 9}));
  run(0, dir.file("Twin.txt") + "\n2\n5000000000\n");
  EXPECT_EQ(console.rfind("Duplicating a file up allows", 0), 0u);
  EXPECT_TRUE(
      ends("\r\nOnce the entire range has been sieved, use the 'Merge' service to merge the data back "
           "together.\n\nMorvane file to split : Split into files, and sieve over\na range of p's\n\n"
           "The output files have been created. They are called " +
           dir.file("6000000000_Twin.txt") + ", and " + dir.file("11000000000_Twin.txt") + "\n\n"))
      << console;
  EXPECT_EQ(readFile(dir.file("11000000000_Twin.txt")), sieveText("6000000000:T:1:2:3", {3, 9}));
}

TEST_F(Dialogue, DuplicateRefusesBadCountsAndRanges) {
  writeFile(dir.file("Twin.txt"), sieveText("1000:T:1:2:3", {3}));
  const std::pair<std::string, std::string> cases[] = {
      {"1\n10\n", "a range of This number must be at least 2 and at most 25\n"},
      {"26\n10\n", "a range of This number must be at least 2 and at most 25\n"},
      {"\n10\n", "a range of This number must be at least 2 and at most 25\n"},
      {"two\n10\n", "a range of two : Invalid number\n"},
      {"2\n1\n", "p's\n\nThe range must be at least 2 p's\n"},
      {"2\n\n", "p's\n\nThe range must be at least 2 p's\n"},
      {"2\n1e3x\n", "p's\n\n1e3x : Invalid number\n"},
  };
  for (const auto& [answers, tail] : cases) {
    run(0, dir.file("Twin.txt") + "\n" + answers);
    EXPECT_TRUE(ends(tail)) << answers << console;
  }
  std::filesystem::remove(dir.file("Twin.txt"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  run(0, dir.file("none.txt") + "\n");
  EXPECT_TRUE(ends("Morvane file to split : Cannot open file " + dir.file("none.txt") + "\n"));
}

TEST_F(Dialogue, MergeKeepsItsDirectoryForTheSession) {
  writeFile(dir.file("a"), sieveText("5000:T:1:2:3", {1, 3, 5, 7}));
  writeFile(dir.file("b"), sieveText("9000:T:1:2:3", {3, 5, 7, 9}));
  writeFile(dir.file("c"), sieveText("7000:T:1:2:3", {1, 3, 7}));
  run(1, dir.path() + "\n");
  EXPECT_TRUE(ends("Directory containing files to merge : Merged file " + dir.path() +
                   "/Merged.mrv generated, contains 2 k's\n\n"))
      << console;
  EXPECT_EQ(readFile(dir.file("Merged.mrv")), "9000:T:1:2:3\n3 100\n7 100\n");
  // The second merge asks nothing: it shows the kept directory and finds the first result.
  run(1, "");
  EXPECT_TRUE(ends("Directory containing files to merge : " + dir.path() +
                   "/\nThere is already a file called Merged.mrv present in the directory!\n"))
      << console;
}

TEST_F(Dialogue, MergeWithAnEmptyAnswerEndsSilently) {
  run(1, "\n");
  EXPECT_TRUE(ends("Directory containing files to merge : "));
  EXPECT_TRUE(Directory.empty());
}

TEST_F(Dialogue, SplitGoesBackOnAnEmptySpeedAndAsksAgainBelowFifty) {
  writeFile(dir.file("input"), sieveText("5000:T:1:2:3", {1, 3, 5, 7, 9, 11}));
  // Machine 1: 100; machine 2: empty (back); machine 1: 120; machine 2: 49, letters, 300.
  run(2, dir.file("input") + "\n2\n100\n\n120\n49\nabc\n300\n\n");
  EXPECT_EQ(count("\rSpeed of machine 1 in Mhz (Min. = 50) : "), 2u);
  EXPECT_EQ(count("\rSpeed of machine 2 in Mhz (Min. = 50) : "), 4u);
  EXPECT_TRUE(
      ends("\nThe output files will be created - are you sure ? (y) : All done. The output files have "
           "the speed appended to them, then a number - for example a 120 MHz machine's file could be "
           "called '" +
           dir.file("input") + "_120_1'\n"))
      << console;
  std::string both = readFile(dir.file("input_120_1")) + readFile(dir.file("input_300_2"));
  EXPECT_EQ(both.size(), sieveText("5000:T:1:2:3", {1, 3, 5, 7, 9, 11}).size() + 13);  // header twice
}

TEST_F(Dialogue, SplitRefusalsMakeNoFiles) {
  writeFile(dir.file("input"), sieveText("5000:T:1:2:3", {1, 3}));
  const std::pair<std::string, std::string> cases[] = {
      {"0\n", "Illegal number : 0\n"},
      {"101\n", "Illegal number : 101\n"},
      {"many\n", "Illegal number : many\n"},
      {"\n", "Illegal number : \n"},
      {"2\n\n", "\rSpeed of machine 1 in Mhz (Min. = 50) : "},  // empty for machine 1 ends
      {"2\n100\n200\nn\n", "are you sure ? (y) : "},            // not confirmed
  };
  for (const auto& [answers, tail] : cases) {
    run(2, dir.file("input") + "\n" + answers);
    EXPECT_TRUE(ends(tail)) << answers << console;
  }
  writeFile(dir.file("empty"), "");
  run(2, dir.file("empty") + "\n3\n");
  EXPECT_TRUE(ends("The file " + dir.file("empty") + " has no line at all - there is nothing to split!\n"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(Dialogue, MergeCopiesOneFileAndRefusesMismatchedHeaders) {
  struct Case {
    std::string second;  // beside a file "a"; empty: "a" alone
    std::string tail;
  };
  const Case cases[] = {
      {"", "Merged.mrv generated, contains 3 k's\n\n"},
      {sieveText("1000:T:1:5:3", {1}),
       "One of the input files was for a different type of sieve (the top line differed)!\n"},
      {sieveText("1000:P:1:2:1", {1}),
       "One of the input files was for a different type of sieve (the top line differed)!\n"},
      {sieveText("ABC 3*5*7*2^$b+1 //Morvane:1000:T:1:2:3", {1}),
       "One of the input files contained a bad first line!\n"},
  };
  for (const auto& c : cases) {
    ScratchDir d;
    writeFile(d.file("a"), sieveText("1234:T:1:2:3", {1, 5, 9}));
    if (!c.second.empty()) writeFile(d.file("b"), c.second);
    Directory.clear();  // the kept directory would otherwise be used again
    run(1, d.path() + "\n");
    EXPECT_TRUE(ends(c.tail)) << console;
    if (c.second.empty())
      EXPECT_EQ(readFile(d.file("Merged.mrv")), sieveText("1234:T:1:2:3", {1, 5, 9}));
    else
      EXPECT_FALSE(std::filesystem::exists(d.file("Merged.mrv")));
  }
}

TEST_F(Dialogue, SplitDealsAQuarterToTheSlowerMachineTheSameWayInEveryFreshProcess) {
  std::vector<long long> ks;
  for (int k = 1; k < 8000; k += 2) ks.push_back(k);
  const std::string text = sieveText("5000:T:1:2:3", ks);
  ScratchDir again;
  for (const ScratchDir* d : {&dir, &again}) {
    writeFile(d->file("input"), text);
    std::srand(1);  // the generator as a fresh process has it: never seeded
    run(2, d->file("input") + "\n2\n100\n300\n\n");
    ASSERT_TRUE(ends("could be called '" + d->file("input") + "_100_1'\n")) << console;
  }
  std::string slow = readFile(dir.file("input_100_1"));
  std::string fast = readFile(dir.file("input_300_2"));
  EXPECT_EQ(slow, readFile(again.file("input_100_1")));
  EXPECT_EQ(fast, readFile(again.file("input_300_2")));
  // Both keep the header; between them every data line once, each file in input order.
  ASSERT_EQ(slow.rfind("5000:T:1:2:3\n", 0), 0u);
  ASSERT_EQ(fast.rfind("5000:T:1:2:3\n", 0), 0u);
  std::istringstream a(slow.substr(13)), b(fast.substr(13));
  std::string la, lb;
  bool haveA = static_cast<bool>(std::getline(a, la)), haveB = static_cast<bool>(std::getline(b, lb));
  size_t inSlow = 0;
  for (long long k : ks) {
    std::string line = std::to_string(k) + " 100";
    if (haveA && la == line) {
      ++inSlow;
      haveA = static_cast<bool>(std::getline(a, la));
    } else {
      ASSERT_TRUE(haveB && lb == line) << line;
      haveB = static_cast<bool>(std::getline(b, lb));
    }
  }
  EXPECT_FALSE(haveA || haveB);
  double share = inSlow / static_cast<double>(ks.size());
  EXPECT_GT(share, 0.21);
  EXPECT_LT(share, 0.29);
}

}  // namespace
