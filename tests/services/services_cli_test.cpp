// The non-interactive services entry: exit codes, and the same split in every fresh process.
#include <filesystem>

#include "tests/services/service_test_support.h"
#include "tests/support/run_binary.h"

namespace {

std::string servicesBinary() {
  return (std::filesystem::path(MORVANE_BINARY).parent_path() / "morvane-services").string();
}

RunResult services(const std::vector<std::string>& args, const std::string& dir) {
  return runProgram(servicesBinary(), args, dir);
}

TEST(ServicesEntry, DuplicateThenMergeRoundTrips) {
  ScratchDir dir;
  std::string original = sieveText("1000:P:1:2:1", {3, 5, 9, 11});
  writeFile(dir.file("work.txt"), original);
  RunResult dup = services({"duplicate", "work.txt", "2", "500"}, dir.path());
  EXPECT_EQ(dup.status, 0) << dup.output;
  EXPECT_EQ(dup.output,
            "The output files have been created. They are called 1500_work.txt, and 2000_work.txt\n\n");
  std::filesystem::create_directory(dir.file("m"));
  std::filesystem::rename(dir.file("1500_work.txt"), dir.file("m/1500_work.txt"));
  std::filesystem::rename(dir.file("2000_work.txt"), dir.file("m/2000_work.txt"));
  RunResult merge = services({"merge", "m"}, dir.path());
  EXPECT_EQ(merge.status, 0) << merge.output;
  EXPECT_EQ(readFile(dir.file("m/Merged.mrv")), sieveText("1500:P:1:2:1", {3, 5, 9, 11}));
}

TEST(ServicesEntry, RefusalsExitWithOneAndBadUsageWithTwo) {
  ScratchDir dir;
  writeFile(dir.file("work.txt"), sieveText("1000:P:1:2:1", {3}));
  EXPECT_EQ(services({"duplicate", "work.txt", "26", "500"}, dir.path()).status, 1);
  EXPECT_EQ(services({"duplicate", "none.txt", "2", "500"}, dir.path()).output,
            "Cannot open file none.txt\n");
  EXPECT_EQ(services({"merge", "nowhere"}, dir.path()).status, 1);
  EXPECT_EQ(services({"split", "work.txt", "100", "49"}, dir.path()).status, 1);
  EXPECT_EQ(services({"split", "work.txt"}, dir.path()).status, 2);
  EXPECT_EQ(services({}, dir.path()).status, 2);
}

TEST(ServicesEntry, TheSameSplitInEveryFreshProcess) {
  ScratchDir a, b;
  std::vector<long long> ks;
  for (int k = 1; k < 600; k += 2) ks.push_back(k);
  for (const ScratchDir* d : {&a, &b}) {
    writeFile(d->file("input"), sieveText("2000:T:1:2:3", ks));
    RunResult run = services({"split", "input", "100", "300", "200"}, d->path());
    ASSERT_EQ(run.status, 0) << run.output;
  }
  for (const char* name : {"input_100_1", "input_300_2", "input_200_3"}) {
    EXPECT_EQ(readFile(a.file(name)), readFile(b.file(name))) << name;
    EXPECT_GT(readFile(a.file(name)).size(), 200u) << name;
  }
}

}  // namespace
