// Bad command lines and bad input files through the real binary: each one ends with its
// documented status and a message naming what was wrong, and nothing is written on refusal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/run_binary.h"

namespace {

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// A complete new-file job in full command-line mode, with `extra` replacing or adding options.
std::vector<std::string> job(std::vector<std::string> extra) {
  std::vector<std::string> args = {"-ou", "-w", "-wp=out.txt", "-t=0", "-base=2", "-n=100", "-kmin=1", "-kmax=1000",
                                    "-osp=2000"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

struct Case {
  std::vector<std::string> args;
  int status;
  std::string message;
};

TEST(ExitStatus, RefusedCommandLinesEndWithStatus1BeforeAnythingIsWritten) {
  const Case cases[] = {
      {job({"-t=abc"}), 1, "-t : \"abc\" is not a number."},
      {job({"-base=-2"}), 1, "-base : \"-2\" is not a number."},
      {job({"-osp=abc"}), 1, "-osp : \"abc\" is not a number."},
      {job({"-ob=nan"}), 1, "-ob : \"nan\" is not a number."},
      {job({"-osr=inf"}), 1, "-osr : \"inf\" is not a number."},
      {job({"-t=16", "-k=99999999999999999999*3"}), 1, "-k : \"99999999999999999999\" is too large"},
      {job({"-kmax=18446744073709551616"}), 1, "-kmax : \"18446744073709551616\" is too large"},
      {job({"-n=3*5"}), 1, "-n : \"3*5\" is not a number."},
      {job({"-x"}), 1, " : Invalid option (-x)"},
      {job({"--"}), 1, " : Invalid option (--)"},
      {job({"-"}), 1, " : Invalid option (-)"},
      {job({"-t=16", "-k=0"}), 1, "k must be at least 1."},
      {job({"-t=16", "-k=0*0"}), 1, "Each factor of k must be a number of at least 1"},
      {job({"-t=10", "-l=1000000"}), 1, "The chain length 1000000 is too large: at most 10000 is supported."},
      {job({"-t=21"}), 1, "21 : Invalid type of sieve."},
      {job({"-kmin=9", "-kmax=1"}), 1, "High limit must be >= Low limit !"},
      {{"-ou", "-w", "-wp=no/such/folder/out.txt", "-t=0", "-base=2", "-n=100", "-kmin=1", "-kmax=9"}, 3,
       "The output file could not be opened."},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    RunResult r = runMorvane(c.args, dir.path(), "");
    EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(exists(dir.file("out.txt"))) << c.message;
  }
}

TEST(ExitStatus, RefusedValuesAreAskedAgainInTheDialogue) {
  ScratchDir dir;
  // Without a low limit the command line is not complete, so the dialogue runs and asks for
  // the high limit that -kmax=abc could not give.
  RunResult r = runMorvane({"-ou", "-w", "-wp=out.txt", "-t=0", "-base=2", "-n=100", "-kmax=abc", "-osp=2000"},
                           dir.path(), "n\nn\nn\n1\nabc\n1e3\n\n\n5\n");
  EXPECT_TRUE(exists(dir.file("out.txt"))) << r.output;
  EXPECT_NE(r.output.find("-kmax : \"abc\" is not a number."), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("kmax = Invalid number ; kmax = "), std::string::npos) << r.output;
  EXPECT_EQ(r.status, 0) << r.output;  // interactive sessions end with 0
}

TEST(ExitStatus, NumbersInTheFormsPeopleType) {
  ScratchDir dir;
  RunResult r = runMorvane(job({"-kmin=0100", "-kmax=0999", "-osp=1e4"}), dir.path(), "");
  ASSERT_EQ(r.status, 0) << r.output;
  std::string text = readFile(dir.file("out.txt"));
  EXPECT_EQ(text.substr(0, text.find('\n')), "10006:P:1:2:1");  // sieved to 1e4, not to 1000
  EXPECT_EQ(text.substr(text.find('\n') + 1, 8), "127 100\n");   // from 100, not octal 64
  RunResult low = runMorvane(job({"-osp=500"}), dir.path(), "");
  EXPECT_EQ(low.status, 0);
  EXPECT_NE(low.output.find("-osp=500 : p must be at least 1000; 1000 is used."), std::string::npos) << low.output;
}

TEST(ExitStatus, RefusedInputFilesEndWithStatus2) {
  struct FileCase {
    const char* name;
    std::string text;
    std::string message;
  } cases[] = {
      {"missing", "", "Cannot open the input file (in.txt: No such file or directory)"},
      {"empty", "", "The file is empty"},
      {"header only", "1000:P:1:2:1\n", "The file is empty"},
      {"garbage", "hello world\nthis is not a sieve file\n", "The file does not appear to be valid"},
      {"bad header", "1000:P:1:2:99999\n3 100\n", "The file does not appear to be valid (the first line is wrong!)"},
      {"unsorted", "1000:P:1:2:1\n5 100\n3 100\n", "The numbers in the file are not strictly increasing : I saw 5 followed by 3!"},
      {"another n", "1000:P:1:2:1\n3 1000\n5 1000\n7 999\n9 1000\n",
       "Line 4: the fixed number differs from the first value line's (1000): 7 999"},
      {"unreadable line", "1000:P:1:2:1\n3 1000\n205x 1000\n7 1000\n", "Line 3 cannot be read: 205x 1000"},
      {"NUL byte", std::string("1000:P:1:2:1\n3 1000\n5\0 1000\n7 1000\n", 35), "Line 3 cannot be read: 5?"},
      {"depth at the limit", "9223372036854775790:P:1:2:1\n3 100\n",
       "at or above the largest p this sieve handles (1152921504606846976 = 2^60)"},
      {"primorial index past the table", "1000:P:1:2:65\n3 99999999\n5 99999999\n",
       "The maximum value for a primorial is 274579#."},
      {"primorial index 0", "1000:P:1:2:65\n3 0\n5 0\n", "The primorial index must be at least 3."},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    if (std::string(c.name) != "missing") writeFile(dir.file("in.txt"), c.text);
    RunResult r = runMorvane({"-ou", "-c", "-ci=in.txt", "-cp=out.txt"}, dir.path(), "");
    EXPECT_EQ(r.status, 2) << c.name << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.name << "\n" << r.output;
    EXPECT_FALSE(exists(dir.file("out.txt"))) << c.name;
  }
  ScratchDir dir;
  std::filesystem::create_directory(dir.file("in.txt"));
  RunResult r = runMorvane({"-ou", "-c", "-ci=in.txt", "-cp=out.txt"}, dir.path(), "");
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("Cannot open the input file (in.txt is not a file)"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("The file is empty"), std::string::npos) << r.output;
}

TEST(ExitStatus, FinishedRunsEndWith0) {
  ScratchDir dir;
  EXPECT_EQ(runMorvane(job({}), dir.path(), "").status, 0);
  // Continuing the file that was just written also finishes.
  RunResult r = runMorvane({"-ou", "-c", "-ci=out.txt", "-cp=out.txt", "-osp=3000"}, dir.path(), "");
  EXPECT_EQ(r.status, 0) << r.output;
  // The interactive session ends with 0 whatever happened in it.
  RunResult menu = runMorvane({"-ou"}, dir.path(), "1\n\nnone.txt\nx.txt\n5\n");
  EXPECT_EQ(menu.status, 0) << menu.output;
}

TEST(ExitStatus, APartialLastLineIsIgnoredAndSaid) {
  ScratchDir dir;
  writeFile(dir.file("in.txt"), "1000:P:1:2:1\n3 1000\n5 1000\n7 10");
  RunResult r = runMorvane({"-ou", "-c", "-ci=in.txt", "-cp=out.txt", "-osp=2000"}, dir.path(), "");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Line 4 has no line end and another fixed number, so it was ignored: 7 10"),
            std::string::npos) << r.output;
  // The file keeps its n: the damaged line did not re-sieve it with n = 10.
  std::string out = readFile(dir.file("out.txt"));
  EXPECT_NE(out.find(" 1000\n"), std::string::npos) << out;
  EXPECT_EQ(out.find(" 10\n"), std::string::npos) << out;
}

}  // namespace
