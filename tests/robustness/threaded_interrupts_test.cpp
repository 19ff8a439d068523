// Runs on several threads stopped at random moments, by SIGINT and by kill -9: every file left
// is whole and honest (the GMP oracle agrees with the depth its header claims), an interrupt
// ends the run promptly with status 130, and no save temporary outlives the next start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

using Clock = std::chrono::steady_clock;

// Twins k.2^1000±1 over 3·10^6 k: long enough at the small primes and the large to be stopped
// anywhere, and cheap for the oracle to check to its depth.
const OracleJob kTwins(0x03, 2, 1000);
const int64_t kWindow = 300000;  // the oracle checks the k up to this
std::vector<std::string> JobArgs(unsigned threads) {
  return {"-w", "-wp=out.txt", "-t=2", "-base=2", "-n=1000", "-kmin=1", "-kmax=3000000", "-osp=100000000",
          "-ot=" + std::to_string(threads)};
}

pid_t Start(const std::string& dir, const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    if (!freopen("/dev/null", "r", stdin) || !freopen(".log", "w", stdout) || !freopen(".log", "a", stderr)) _exit(127);
    std::vector<char*> argv{const_cast<char*>("morvane")};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(MORVANE_BINARY, argv.data());
    _exit(127);
  }
  return pid;
}

// The exit status (128 + signal when killed), or -1 if the program still runs after `limit`.
int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    int st = 0;
    if (waitpid(pid, &st, WNOHANG) == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

// The header and the value lines with k up to kWindow: what the oracle checks.
std::string Window(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  std::getline(in, line);
  out = line + "\n";
  while (std::getline(in, line)) {
    if (std::stoll(line) <= kWindow) out += line + "\n";
  }
  return out;
}

std::vector<std::string> SaveTemporaries(const std::string& dir) {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().find(".saving") != std::string::npos) found.push_back(e.path().filename());
  return found;
}

TEST(ThreadedInterrupts, AFileLeftAtAnyMomentIsWholeAndHonest) {
  // One whole run first: its length spreads the moments over the run, whatever the build's speed.
  ScratchDir whole;
  const auto start = Clock::now();
  ASSERT_EQ(runMorvane(JobArgs(3), whole.path()).status, 0);
  const auto length = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed) + ", whole run " + std::to_string(length.count()) + " ms");
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int64_t> moment(0, length.count() * 11 / 10);

  for (int trial = 0; trial < 12; ++trial) {
    const bool hard = trial % 2 == 1;
    const unsigned threads = 2 + trial % 3 * 3;  // 2, 5 and 8 threads
    // This job is dense throughout, so the run would keep it on its own thread: half the trials
    // hand over to the workers at 2·10^7, so that moments fall on either side of the switch,
    // half give them the whole run.
    const char* from = trial % 4 < 2 ? "20000000" : "1";
    setenv("MORVANE_TEST_THREADS_FROM", from, 1);
    const auto delay = std::chrono::milliseconds(moment(rng));
    SCOPED_TRACE(std::string(hard ? "kill -9" : "SIGINT") + " after " + std::to_string(delay.count()) + " ms, -ot=" +
                 std::to_string(threads) + ", workers from " + from);
    ScratchDir dir;
    const pid_t pid = Start(dir.path(), JobArgs(threads));
    // The moments are counted from the start of sieving: before it, a run has no file to save
    // (and a loaded machine can take a while to get there).
    const auto waitEnd = Clock::now() + std::chrono::seconds(60);
    while (readFile(dir.file(".log")).find("Starting sieve") == std::string::npos && Clock::now() < waitEnd)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(delay);
    kill(pid, hard ? SIGKILL : SIGINT);
    const auto signalled = Clock::now();
    // Every thread must stop well under a second; the allowance is for slow sanitizer builds.
    const int status = WaitFor(pid, std::chrono::seconds(20));
    ASSERT_NE(status, -1) << "still running 20 s after the signal\n" << readFile(dir.file(".log"));
    if (hard) {
      EXPECT_TRUE(status == 128 + SIGKILL || status == 0) << status;
    } else {
      EXPECT_TRUE(status == 130 || status == 0) << status << "\n" << readFile(dir.file(".log"));
      EXPECT_LT(Clock::now() - signalled, std::chrono::seconds(10));
    }

    const std::string file = readFile(dir.file("out.txt"));
    if (file.empty()) {
      // Only a run killed before its first save may leave nothing.
      EXPECT_TRUE(hard) << readFile(dir.file(".log"));
    } else {
      EXPECT_EQ(checkSieveFile(Window(file), kTwins, 1, kWindow), "");
    }
    if (!hard) {
      EXPECT_EQ(SaveTemporaries(dir.path()), std::vector<std::string>{});
    }
    // A temporary of a killed save is removed by the next start, and the file is left as it was.
    if (hard && !file.empty()) {
      const RunResult next = runMorvane({"-c", "-ci=out.txt", "-cp=out.txt", "-osp=1", "-ot=2"}, dir.path());
      EXPECT_EQ(SaveTemporaries(dir.path()), std::vector<std::string>{}) << next.output;
      EXPECT_EQ(readFile(dir.file("out.txt")), file);
    }
  }
  unsetenv("MORVANE_TEST_THREADS_FROM");
}

}  // namespace
