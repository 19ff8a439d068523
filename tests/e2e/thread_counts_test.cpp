// Every thread count writes the file of one thread, byte for byte: new files of several forms,
// a count stop, an all-removed ending, and continued files whose window crosses 2^32 in the
// bitmap and in a sparse store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/run_binary.h"

namespace {

struct Job {
  const char* name;
  std::vector<std::string> args;  // without -wp/-cp and -ot
  std::string input;              // a file to continue ("" for a new file)
};

std::string SieveWith(const Job& job, unsigned threads) {
  ScratchDir dir;
  std::vector<std::string> args = job.args;
  if (job.input.empty()) {
    args.insert(args.begin(), {"-w", "-wp=out.txt"});
  } else {
    writeFile(dir.file("in.txt"), job.input);
    args.insert(args.begin(), {"-c", "-ci=in.txt", "-cp=out.txt"});
  }
  args.push_back("-ot=" + std::to_string(threads));
  const RunResult r = runMorvane(args, dir.path());
  EXPECT_EQ(r.status, 0) << job.name << " -ot=" << threads << "\n" << r.output;
  return readFile(dir.file("out.txt"));
}

// Odd k from first, every step, to last, as the value lines of a file with n fixed.
std::string Values(int64_t first, int64_t step, int64_t last, int n) {
  std::string s;
  for (int64_t k = first; k <= last; k += step) s += std::to_string(k) + " " + std::to_string(n) + "\n";
  return s;
}

TEST(ThreadCounts, EveryCountWritesTheFileOfOneThread) {
  const std::vector<Job> jobs = {
      {"twins base 2", {"-t=2", "-base=2", "-n=1000", "-kmin=1", "-kmax=300000", "-osp=30000000"}, ""},
      {"k.3^500+1", {"-t=0", "-base=3", "-n=500", "-kmin=1", "-kmax=100000", "-osp=20000000"}, ""},
      {"primorial twins", {"-t=2", "-u", "-base=2", "-n=101", "-kmin=1", "-kmax=100000", "-osp=20000000"}, ""},
      {"CC 1st kind, 3 links", {"-t=10", "-l=3", "-base=2", "-n=200", "-kmin=1", "-kmax=200000", "-osp=5000000"},
       ""},
      {"count stop", {"-t=2", "-base=2", "-n=1000", "-kmin=1", "-kmax=300000", "-osu=2000"}, ""},
      {"all removed", {"-t=9", "-base=7", "-n=20", "-kmin=1", "-kmax=30000", "-osp=100000"}, ""},
      {"window across 2^32, bitmap",
       {"-osp=4295200000"},
       "4294900000:T:1:2:3\n" + Values(1, 2, 40001, 1000)},
      {"window across 2^32, sparse store",
       {"-osp=4295200000"},
       "4294900000:P:1:2:1\n" + Values(1, 2002, 20000001, 700)},
  };
  for (const Job& job : jobs) {
    const std::string one = SieveWith(job, 1);
    ASSERT_GT(one.size(), 0u) << job.name;
    for (unsigned threads : {2u, 3u, 8u}) EXPECT_EQ(SieveWith(job, threads), one) << job.name << " -ot=" << threads;
  }
}

}  // namespace
