// The merge service: the intersection, the kept header, refusals, and no partial result left.
#include "services/merge.h"

#include <sys/stat.h>

#include <filesystem>

#include "tests/services/service_test_support.h"
#include "tests/support/run_binary.h"

namespace {

class Merge : public ConsoleCapture {
 protected:
  void put(const std::string& name, const std::string& text) { writeFile(dir.file(name), text); }
  std::string merged() const { return readFile(dir.file("Merged.mrv")); }
  bool hasMerged() const { return std::filesystem::exists(dir.file("Merged.mrv")); }
  std::string done(int count, char letter = 'k') const {
    return "Merged file " + dir.path() + "/Merged.mrv generated, contains " + std::to_string(count) + " " +
           letter + "'s\n\n";
  }
  ScratchDir dir;
};

TEST_F(Merge, KeepsTheValuesOfEveryFileUnderTheLargestP) {
  put("a", sieveText("5000:T:1:2:3", {1, 3, 5, 7}));
  put("b", sieveText("9000:T:1:2:3", {3, 5, 7, 9}));
  put("c", sieveText("7000:T:1:2:3", {1, 3, 7}));
  ASSERT_TRUE(MergeDirectory(dir.path()));
  EXPECT_EQ(merged(), "9000:T:1:2:3\n3 100\n7 100\n");
  EXPECT_EQ(console, done(2));
}

TEST_F(Merge, OneFileAloneIsCopiedWithItsOwnP) {
  put("only", sieveText("1234:P:1:2:1", {2, 4, 8, 16}, 77));
  ASSERT_TRUE(MergeDirectory(dir.path() + "/"));
  EXPECT_EQ(merged(), sieveText("1234:P:1:2:1", {2, 4, 8, 16}, 77));
  EXPECT_EQ(console, done(4));
}

TEST_F(Merge, FixedKFilesIntersectOnTheirSecondColumn) {
  // _mode 257 is k*2^n+1 with k fixed: lines are "k n", the candidate is n.
  put("a", "1000:P:1:2:257\n3 10\n3 12\n3 20\n");
  put("b", "2000:P:1:2:257\n3 12\n3 15\n3 20\n3 21\n");
  ASSERT_TRUE(MergeDirectory(dir.path()));
  EXPECT_EQ(merged(), "2000:P:1:2:257\n3 12\n3 20\n");
  EXPECT_EQ(console, done(2, 'n'));
}

TEST_F(Merge, LongHeadersAndLargeValuesPassThrough) {
  std::string rest = ":P:1:2:1" + std::string(2000, 'x');
  put("a", "10" + rest + "\n5 9\n4611686018427387904 9\n");
  put("b", "20" + rest + "\n4611686018427387904 9\n");
  ASSERT_TRUE(MergeDirectory(dir.path()));
  EXPECT_EQ(merged(), "20" + rest + "\n4611686018427387904 9\n");
}

TEST_F(Merge, AnExistingMergedFileIsRefusedAlsoOnASecondRun) {
  put("a", sieveText("1000:P:1:2:1", {1, 2}));
  ASSERT_TRUE(MergeDirectory(dir.path()));
  std::string first = merged();
  console.clear();
  EXPECT_FALSE(MergeDirectory(dir.path()));
  EXPECT_EQ(console, "There is already a file called Merged.mrv present in the directory!\n");
  EXPECT_EQ(merged(), first);
}

TEST_F(Merge, RefusalsBeforeWritingLeaveNoOutput) {
  struct Case {
    std::string second;
    std::string message;
  };
  const Case cases[] = {
      {sieveText("1000:P:1:3:1", {1}),
       "One of the input files was for a different type of sieve (the top line differed)!\n"},
      {sieveText("1000:P:2:2:1", {1}),
       "One of the input files was for a different type of sieve (the top line differed)!\n"},
      {sieveText("ABC 3*5*7*2^$b+1 //Morvane:1000:P:1:2:321", {1}),
       "One of the input files contained a bad first line!\n"},
      {"1000:P:1:2:1\n", "One of the input files is empty, so the output file will be empty!\n"},
      {"", "One of the input files is empty, so the output file will be empty!\n"},
      {"1000:P:1:2:1\nseven 100\n", "One of the input files contained an invalid line!\n"},
  };
  for (const auto& c : cases) {
    ScratchDir d;
    writeFile(d.file("a"), sieveText("1000:P:1:2:1", {1, 2}));
    writeFile(d.file("b"), c.second);
    console.clear();
    EXPECT_FALSE(MergeDirectory(d.path())) << c.second;
    EXPECT_EQ(console, c.message) << c.second;
    EXPECT_FALSE(std::filesystem::exists(d.file("Merged.mrv"))) << c.second;
  }
}

TEST_F(Merge, AnInvalidLineMetWhileIntersectingRemovesThePartialFile) {
  put("a", "1000:P:1:2:1\n1 100\n3 100\nx\n");
  put("b", "1000:P:1:2:1\n1 100\n5 100\n");
  EXPECT_FALSE(MergeDirectory(dir.path()));
  EXPECT_EQ(console, "One of the input files contained an invalid line!\nThe partial file " + dir.path() +
                         "/Merged.mrv has been removed.\n");
  EXPECT_FALSE(hasMerged());
}

TEST_F(Merge, AFileThatGoesBackIsInvalid) {
  put("a", "1000:P:1:2:1\n1 100\n5 100\n3 100\n9 100\n");
  put("b", "1000:P:1:2:1\n1 100\n5 100\n9 100\n");
  EXPECT_FALSE(MergeDirectory(dir.path()));
  EXPECT_EQ(console.rfind("One of the input files contained an invalid line!\n", 0), 0u);
  EXPECT_FALSE(hasMerged());
}

TEST_F(Merge, SubdirectoriesAndPipesAreSkipped) {
  put("a", sieveText("1000:P:1:2:1", {1, 2, 3}));
  std::filesystem::create_directory(dir.file("sub"));
  writeFile(dir.file("sub/inner"), sieveText("1000:P:1:2:1", {2}));
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  ASSERT_TRUE(MergeDirectory(dir.path()));
  EXPECT_EQ(merged(), sieveText("1000:P:1:2:1", {1, 2, 3}));
}

TEST_F(Merge, EmptyAndMissingDirectoriesAreRefused) {
  std::filesystem::create_directory(dir.file("sub"));
  EXPECT_FALSE(MergeDirectory(dir.path()));
  EXPECT_EQ(console, "The directory is empty!\n");
  console.clear();
  EXPECT_FALSE(MergeDirectory(dir.file("nowhere")));
  EXPECT_EQ(console, "The directory is invalid!\n");
}

TEST_F(Merge, ManyFilesMerge) {
  // Far more than a fixed table of 256 would hold.
  for (int i = 0; i < 400; ++i) put("f" + std::to_string(i), sieveText("1000:P:1:2:1", {1, 2, 3 + i % 2, 5}));
  ASSERT_TRUE(MergeDirectory(dir.path()));
  EXPECT_EQ(merged(), sieveText("1000:P:1:2:1", {1, 2, 5}));
}

}  // namespace
