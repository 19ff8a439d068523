// Closing the service output files together: all kept when every write went through, all
// removed (with the notice) when one of them failed.
#include "services/output_files.h"

#include <filesystem>

#include "tests/services/service_test_support.h"
#include "tests/support/run_binary.h"

namespace {

class OutputFiles : public ConsoleCapture {
 protected:
  // Opens each name for writing and writes one line to it.
  void openAndWrite(const std::vector<std::string>& names) {
    for (const auto& name : names) {
      outs.push_back(std::make_unique<std::ofstream>(name, std::ios::binary | std::ios::trunc));
      ASSERT_TRUE(*outs.back()) << name;
      *outs.back() << "5000:T:1:2:3\n";
    }
  }
  ScratchDir dir;
  std::vector<std::unique_ptr<std::ofstream>> outs;
};

TEST_F(OutputFiles, EveryWriteWentThroughSoEveryFileStays) {
  std::vector<std::string> names = {dir.file("a"), dir.file("b")};
  openAndWrite(names);
  EXPECT_TRUE(closeAllOrRemove(outs, names));
  for (const auto& name : names) EXPECT_EQ(readFile(name), "5000:T:1:2:3\n");
  EXPECT_EQ(console, "");
}

TEST_F(OutputFiles, OneFailedWriteRemovesThemAll) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to fail a write";
  // The second name leads to a device where every write fails; removing it drops only the link.
  std::vector<std::string> names = {dir.file("a"), dir.file("full"), dir.file("c")};
  std::filesystem::create_symlink("/dev/full", names[1]);
  openAndWrite(names);
  EXPECT_FALSE(closeAllOrRemove(outs, names));
  for (const auto& name : names) EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(name))) << name;
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
  EXPECT_EQ(console, "The output files could not be written completely, so they have been removed!\n");
}

}  // namespace
