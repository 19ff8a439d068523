// The multi-machine recipe (scripts/share-sieve.sh) through GNU Parallel on this machine:
// its plumbing with a stand-in sieve, and end to end with the real sieve against one run.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/services/service_test_support.h"
#include "tests/support/run_binary.h"

namespace {

namespace fs = std::filesystem;

// The source tree from the build, not from __FILE__: a compiler cache may make that relative.
const std::string kScript = (fs::path(MORVANE_SOURCE_DIR) / "scripts" / "share-sieve.sh").string();
const std::string kBuild = fs::path(MORVANE_BINARY).parent_path().string();

bool haveParallel() { return std::system("command -v parallel >/dev/null 2>&1") == 0; }

// Runs the script with MORVANE naming the sieve program to use.
RunResult share(const std::string& morvane, const std::vector<std::string>& args, const std::string& dir) {
  std::vector<std::string> all = {"MORVANE=" + morvane, "MORVANE_SERVICES=" + kBuild + "/morvane-services",
                                  "bash", kScript};
  all.insert(all.end(), args.begin(), args.end());
  return runProgram("/usr/bin/env", all, dir);
}

// A stand-in for the sieve: takes the header to its limit minus one (minus `shortBy` more)
// and drops the k that are congruent to (limit / 1000) mod 7, as if a prime of its range
// divided them.
std::string writeStandIn(const ScratchDir& dir, int shortBy) {
  std::string path = dir.file("stand-in-" + std::to_string(shortBy));
  writeFile(path,
            "#!/usr/bin/env bash\n"
            "for a; do case $a in -ci=*) in=${a#-ci=};; -cp=*) out=${a#-cp=};; -osp=*) lim=${a#-osp=};; "
            "esac; done\n"
            "awk -v lim=\"$lim\" 'NR == 1 { sub(/^[0-9]+/, lim - 1 - " +
                std::to_string(shortBy) +
                "); print; next } ($1 % 7) != int(lim / 1000) % 7' \"$in\" > \"$out.new\"\n"
                "mv \"$out.new\" \"$out\"\n");
  chmod(path.c_str(), 0755);
  return path;
}

std::vector<long long> oddKs(int last) {
  std::vector<long long> ks;
  for (int k = 1; k <= last; k += 2) ks.push_back(k);
  return ks;
}

TEST(ShareSieve, DuplicatesSievesEachRangeAndMerges) {
  if (!haveParallel()) GTEST_SKIP() << "GNU Parallel is not installed";
  ScratchDir dir;
  writeFile(dir.file("work.txt"), sieveText("1000:P:1:2:1", oddKs(200)));
  RunResult run =
      share(writeStandIn(dir, 0), {"sieve", "work.txt", "3", "1000", "--", "-j", "3"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.output;
  std::vector<long long> kept;
  for (long long k : oddKs(200))
    if (k % 7 != 2 && k % 7 != 3 && k % 7 != 4) kept.push_back(k);
  EXPECT_EQ(readFile(dir.file("work.txt.share/merge/Merged.mrv")), sieveText("3999:P:1:2:1", kept));
  EXPECT_NE(run.output.find("contains " + std::to_string(kept.size()) + " k's"), std::string::npos)
      << run.output;
  // The work folder is never reused: a second run refuses rather than mixing results.
  EXPECT_NE(share(writeStandIn(dir, 0), {"sieve", "work.txt", "3", "1000"}, dir.path()).status, 0);
}

TEST(ShareSieve, ACopyThatStopsShortIsNotMerged) {
  if (!haveParallel()) GTEST_SKIP() << "GNU Parallel is not installed";
  ScratchDir dir;
  writeFile(dir.file("work.txt"), sieveText("1000:P:1:2:1", oddKs(50)));
  RunResult run = share(writeStandIn(dir, 5), {"sieve", "work.txt", "2", "1000"}, dir.path());
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("short of its limit"), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(dir.file("work.txt.share/merge/Merged.mrv")));
}

TEST(ShareSieve, SplitsForTestingAndHandsEveryLineToOneTester) {
  if (!haveParallel()) GTEST_SKIP() << "GNU Parallel is not installed";
  ScratchDir dir;
  std::string text = sieveText("5000:T:1:2:3", oddKs(999));
  writeFile(dir.file("done.txt"), text);
  // The tester here prints the data lines it was handed.
  RunResult run =
      share(MORVANE_BINARY, {"test", "done.txt", "tail -n +2 {}", "100", "300", "200", "--", "-j", "1"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.output;
  std::vector<std::string> tested, expected;
  std::istringstream out(run.output), in(text);
  for (std::string line; std::getline(out, line);) {
    size_t tab = line.find('\t');
    if (tab != std::string::npos) tested.push_back(line.substr(tab + 1));
  }
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) expected.push_back(line);
  std::sort(tested.begin(), tested.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(tested, expected);
}

// The recipe end to end: a real sieve file, three ranges of p sieved at once by the real
// sieve through GNU Parallel, merged, must equal one continuous run to the same p.
TEST(ShareSieve, ThreeRangesSievedAtOnceEqualOneContinuousRun) {
  if (!haveParallel()) GTEST_SKIP() << "GNU Parallel is not installed";
  ScratchDir dir;
  RunResult made = runMorvane(
      {"-w", "-wp=base.txt", "-t=0", "-base=2", "-n=200", "-kmin=1", "-kmax=20000", "-osp=1000"}, dir.path());
  ASSERT_TRUE(fs::exists(dir.file("base.txt"))) << made.output;
  std::string base = readFile(dir.file("base.txt"));
  ASSERT_EQ(base.rfind("1008:P:1:2:1\n", 0), 0u) << made.output;

  // Ranges of 4013 from 1008: limits 5021, 9034 and 13047. 5021 is a prime that alone
  // removes k = 12597 below 13047, so the second copy must start low enough to sieve it.
  fs::create_directory(dir.file("one"));
  fs::copy_file(dir.file("base.txt"), dir.file("one/base.txt"));
  RunResult one = runMorvane({"-c", "-ci=base.txt", "-cp=one.txt", "-osp=13047"}, dir.file("one"));
  ASSERT_EQ(one.status, 0) << one.output;
  std::string continuous = readFile(dir.file("one/one.txt"));
  ASSERT_EQ(continuous.rfind("13048:P:1:2:1\n", 0), 0u) << continuous.substr(0, 40);

  RunResult shared = share(MORVANE_BINARY, {"sieve", "base.txt", "3", "4013", "--", "-j", "3"}, dir.path());
  ASSERT_EQ(shared.status, 0) << shared.output;
  EXPECT_EQ(readFile(dir.file("base.txt.share/merge/Merged.mrv")), continuous);

  // Odd k <= 20000 with k*2^200+1 free of odd primes below 1009 number 1624 (counted
  // independently), so the start file is a real sieve and the equality above means something.
  EXPECT_EQ(std::count(base.begin(), base.end(), '\n') - 1, 1624);
  EXPECT_EQ(continuous.find("\n12597 200\n"), std::string::npos);
}

}  // namespace
