// A save killed by SIGKILL at any instant leaves a complete sieve file with the old or the
// new content under the output name, with or without a backup.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "common/print.h"
#include "engine/report.h"
#include "engine/sieve_file.h"
#include "engine/sieve_job.h"
#include "fixedn/bitmap.h"
#include "tests/support/run_binary.h"

namespace {

constexpr int64_t kValues = 1000000;

// Round r keeps every k of 1..kValues except those with k % 7 == r % 7, header r + 999.
bool kept(int64_t k, int round) { return k % 7 != round % 7; }

std::string expectedText(int round) {
  std::string s = std::to_string(round + 999) + ":P:1:10:1\n";
  for (int64_t k = 1; k <= kValues; ++k)
    if (kept(k, round)) s += std::to_string(k) + " 50\n";
  return s;
}

void setUpJob(int round, bool twoFiles) {
  initialise();
  job = SieveJob{};
  job._base = 10;
  job._mode = 1;
  job._nvalue = 50;
  job.modechar = 'P';
  job.TwoSaveFiles = twoFiles;
  job.fUseBitMap = true;
  job.MinNum = 1;
  job.MaxNum = kValues;
  range = kValues;
  AllocateBitmap(range);
  for (int64_t k = 1; k <= kValues; ++k)
    if (kept(k, round)) SetBit(static_cast<uint32_t>(k - 1));
}

[[noreturn]] void saveForever(const std::string& name, int round, bool twoFiles) {
  std::string sink;
  setPrintCapture(&sink);
  setUpJob(round, twoFiles);
  for (;;) {
    sink.clear();
    outputandtidyvals(round + 1000, name, false);
  }
}

TEST(CrashSafety, KilledSavesLeaveAWholeOldOrNewFile) {
  ScratchDir dir;
  const std::string name = dir.file("sieve.txt");
  writeFile(name, expectedText(0));
  // Kill moments spread over about one and a half set-ups and saves.
  auto t0 = std::chrono::steady_clock::now();
  {
    std::string sink;
    setPrintCapture(&sink);
    setUpJob(0, true);
    outputandtidyvals(999, dir.file("probe.txt"), false);
    setPrintCapture(nullptr);
  }
  auto saveMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  // The delay adapts (shorter after a kill that came late, longer after an early one), so the
  // kills keep landing inside saves however loaded the machine is.
  double delayMs = static_cast<double>(saveMs) + 1;
  std::mt19937 rng(2024);
  std::string previous = expectedText(0);
  int sawNew = 0, sawOld = 0;
  for (int round = 1; round <= 12 || ((sawNew == 0 || sawOld == 0) && round <= 40); ++round) {
    bool twoFiles = round % 2 == 0;
    std::string next = expectedText(round);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) saveForever(name, round, twoFiles);
    std::this_thread::sleep_for(std::chrono::microseconds(
        static_cast<int64_t>(delayMs * 1000 * (0.5 + (rng() % 1000) / 1000.0))));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    // The output name is present at every instant, with or without the backup.
    ASSERT_TRUE(std::filesystem::exists(name)) << "round " << round << (twoFiles ? " (with backup)" : "");
    std::string found = readFile(name);
    if (twoFiles && std::filesystem::exists(name + "~")) {
      // The backup is some earlier complete file (a kill before this round's link keeps an older one).
      std::string backup = readFile(name + "~");
      bool whole = backup == found;
      for (int r = 0; r <= round && !whole; ++r) whole = backup == expectedText(r);
      EXPECT_TRUE(whole) << "round " << round << ": a partial backup";
    }
    ASSERT_TRUE(found == previous || found == next) << "round " << round << ": a partial file of "
                                                    << found.size() << " bytes";
    (found == next ? sawNew : sawOld)++;
    delayMs = found == next ? delayMs * 0.7 : delayMs * 1.4 + 1;
    previous = found;
  }
  // Varied moments: kills landed both before and after a save completed.
  EXPECT_GT(sawNew, 0);
  EXPECT_GT(sawOld, 0);
}

}  // namespace
