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

namespace {

// The script with its programs beside it and nothing named by the environment: it finds
// them itself, says which, sieves, merges and tests.
TEST(ShareSieve, FindsItsProgramsBesideItselfAndRunsEveryStep) {
  if (!haveParallel()) GTEST_SKIP() << "GNU Parallel is not installed";
  ScratchDir dir;
  fs::create_directory(dir.file("bin"));
  fs::copy_file(kScript, dir.file("bin/share-sieve.sh"));
  fs::create_symlink(MORVANE_BINARY, dir.file("bin/morvane"));
  fs::create_symlink(MORVANE_SERVICES_BINARY, dir.file("bin/morvane-services"));
  fs::create_symlink(ORDAX_BINARY, dir.file("bin/ordax"));
  RunResult made = runMorvane({"-w", "-wp=w.txt", "-t=2", "-base=2", "-n=100", "-kmin=1", "-kmax=20000",
                               "-osp=100000"},
                              dir.path());
  ASSERT_EQ(made.status, 0) << made.output;
  const std::vector<std::string> clean = {"-u", "MORVANE", "-u", "MORVANE_SERVICES", "-u", "ORDAX", "bash",
                                          dir.file("bin/share-sieve.sh")};
  auto script = [&](std::vector<std::string> args) {
    std::vector<std::string> all = clean;
    all.insert(all.end(), args.begin(), args.end());
    return runProgram("/usr/bin/env", all, dir.path());
  };
  RunResult sieved = script({"sieve", "w.txt", "2", "100000", "--", "-j", "2"});
  ASSERT_EQ(sieved.status, 0) << sieved.output;
  EXPECT_NE(sieved.output.find("Using morvane: " + dir.file("bin/morvane")), std::string::npos) << sieved.output;
  EXPECT_NE(sieved.output.find("Using morvane-services: " + dir.file("bin/morvane-services")), std::string::npos);
  const std::string merged = readFile(dir.file("w.txt.share/merge/Merged.mrv"));
  EXPECT_GE(std::stoll(merged), 299999) << merged.substr(0, 40);  // the last copy's limit
  EXPECT_NE(merged.find(":T:1:2:3\n"), std::string::npos) << merged.substr(0, 40);
  RunResult tested = script({"test", "w.txt.share/merge/Merged.mrv", "ordax", "100", "300"});
  ASSERT_EQ(tested.status, 0) << tested.output;
  EXPECT_NE(tested.output.find("Using ordax: " + dir.file("bin/ordax")), std::string::npos) << tested.output;
  EXPECT_NE(tested.output.find("Tested all"), std::string::npos) << tested.output;
}

TEST(ShareSieve, AFailedStepMovesItsFolderAsideAndProductFormsAreRefused) {
  if (!haveParallel()) GTEST_SKIP() << "GNU Parallel is not installed";
  ScratchDir dir;
  writeFile(dir.file("work.txt"), sieveText("1000:P:1:2:1", oddKs(50)));
  RunResult failed = share("/bin/false", {"sieve", "work.txt", "2", "1000", "--", "-j", "2"}, dir.path());
  EXPECT_NE(failed.status, 0);
  EXPECT_FALSE(fs::exists(dir.file("work.txt.share"))) << "a retry must not be blocked";
  EXPECT_NE(failed.output.find("the work folder is kept as work.txt.share.failed."), std::string::npos)
      << failed.output;
  writeFile(dir.file("abc.txt"), "ABC 3*5*2^$b+1 //Morvane:1000:P:1:2:257\n7 3\n");
  RunResult abc = share(MORVANE_BINARY, {"sieve", "abc.txt", "2", "1000"}, dir.path());
  EXPECT_EQ(abc.status, 1);
  EXPECT_NE(abc.output.find("not duplicated or merged"), std::string::npos) << abc.output;
  EXPECT_FALSE(fs::exists(dir.file("abc.txt.share")));
}

}  // namespace
