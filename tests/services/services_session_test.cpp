// The services reached from the main menu of the real program with typed answers.
#include <filesystem>

#include "tests/services/service_test_support.h"
#include "tests/support/run_binary.h"

namespace {

// Main menu entry 3 opens the services menu; after the service, no more services, then
// entry 5 leaves the program.
RunResult viaMainMenu(const std::string& serviceAnswers, const std::string& dir) {
  return runMorvane({}, dir, "3\n" + serviceAnswers + "n\n5\n");
}

TEST(ServicesFromTheMainMenu, DuplicateThenMergeTheCopiesBack) {
  ScratchDir dir;
  writeFile(dir.file("Twin.txt"), sieveText("1000000000:T:1:2:3", {3, 9, 15}));
  RunResult dup = viaMainMenu("0\nTwin.txt\n2\n5000000000\n", dir.path());
  ASSERT_EQ(dup.status, 0) << dup.output;
  EXPECT_NE(dup.output.find("a range of p's\n\nThe output files have been created. They are called "
                            "6000000000_Twin.txt, and 11000000000_Twin.txt\n\n"),
            std::string::npos)
      << dup.output;
  std::filesystem::create_directory(dir.file("m"));
  for (const char* name : {"6000000000_Twin.txt", "11000000000_Twin.txt"})
    std::filesystem::rename(dir.file(name), dir.file(std::string("m/") + name));
  RunResult merge = viaMainMenu("1\nm\n", dir.path());
  EXPECT_NE(merge.output.find("Merged file m/Merged.mrv generated, contains 3 k's\n\n"), std::string::npos)
      << merge.output;
  EXPECT_EQ(readFile(dir.file("m/Merged.mrv")), sieveText("6000000000:T:1:2:3", {3, 9, 15}));
}

TEST(ServicesFromTheMainMenu, EveryFreshProcessSplitsTheSameWay) {
  std::vector<long long> ks;
  for (int k = 1; k < 2000; k += 2) ks.push_back(k);
  ScratchDir a, b;
  for (const ScratchDir* d : {&a, &b}) {
    writeFile(d->file("input"), sieveText("5000:T:1:2:3", ks));
    RunResult run = viaMainMenu("2\ninput\n2\n100\n300\n\n", d->path());
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("could be called 'input_100_1'\n"), std::string::npos) << run.output;
  }
  for (const char* name : {"input_100_1", "input_300_2"}) {
    EXPECT_EQ(readFile(a.file(name)), readFile(b.file(name))) << name;
    EXPECT_EQ(readFile(a.file(name)).rfind("5000:T:1:2:3\n", 0), 0u) << name;
  }
}

}  // namespace

namespace {

TEST(ServicesFromTheMainMenu, AMistypedMergeFolderIsAskedForAgain) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.file("m"));
  writeFile(dir.file("m/a.txt"), sieveText("1000:T:1:2:3", {3, 9}));
  writeFile(dir.file("m/b.txt"), sieveText("2000:T:1:2:3", {3, 15}));
  // A merge of a folder that does not exist, then another service: the merge again.
  RunResult r = runMorvane({}, dir.path(), "3\n1\nnot-there\ny\n1\nm\nn\n5\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("The directory is invalid!\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Merged file m/Merged.mrv generated, contains 1 k's\n\n"), std::string::npos) << r.output;
  EXPECT_EQ(readFile(dir.file("m/Merged.mrv")), sieveText("2000:T:1:2:3", {3}));
}

}  // namespace
