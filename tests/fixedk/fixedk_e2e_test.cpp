// Fixed-k jobs run end to end through the morvane binary in full command-line mode, each
// file checked against the GMP oracle: types 16, 17, 19 and 20 on several bases, PrimoProth
// and product-form k, small n, forced "no CMOV", continuation and a window beyond 2^32.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

constexpr int64_t kDepth = 100000;

struct Job {
  int type = 16;
  uint32_t base = 2;
  std::string k = "3";
  int64_t nmin = 1, nmax = 5000;
  bool primorial = false;
};

std::vector<std::string> NewFileArgs(const Job& j, int64_t stop, const std::string& out) {
  std::vector<std::string> args = {"-w", "-wp=" + out, "-t=" + std::to_string(j.type),
                                   "-base=" + std::to_string(j.base), "-k=" + j.k,
                                   "-nmin=" + std::to_string(j.nmin), "-nmax=" + std::to_string(j.nmax),
                                   "-osp=" + std::to_string(stop)};
  if (j.primorial) args.push_back("-u");
  return args;
}

// Sieves a new file to stop and returns its text ("" after a failed run).
std::string Sieve(const ScratchDir& dir, const Job& j, int64_t stop, const std::string& out = "f.txt",
                  const std::string& extra = "") {
  std::vector<std::string> args = NewFileArgs(j, stop, out);
  if (!extra.empty()) args.push_back(extra);
  const RunResult r = runMorvane(args, dir.path());
  EXPECT_EQ(r.status, 0) << r.output;
  return readFile(dir.file(out));
}

std::string Continue(const ScratchDir& dir, const std::string& in, const std::string& out, int64_t stop) {
  const RunResult r = runMorvane({"-c", "-ci=" + in, "-cp=" + out, "-osp=" + std::to_string(stop)}, dir.path());
  EXPECT_EQ(r.status, 0) << r.output;
  return readFile(dir.file(out));
}

uint32_t ModeOf(const Job& j) {
  const uint32_t base[] = {0x0101, 0x0102, 0, 0x8001, 0x8002};
  uint32_t mode = base[j.type - 16];
  if (j.primorial || j.k.find('*') != std::string::npos) mode |= 0x40;
  return mode;
}

OracleJob OracleFor(const Job& j) {
  OracleJob o;
  o.mode = ModeOf(j);
  o.base = j.primorial ? 2 : j.base;
  if (j.k.find('*') != std::string::npos) {
    o.n = 1;
    size_t start = 0;
    for (size_t star; (star = j.k.find('*', start)) != std::string::npos; start = star + 1)
      o.kFactors.push_back(std::stoll(j.k.substr(start, star - start)));
    o.kFactors.push_back(std::stoll(j.k.substr(start)));
  } else {
    o.n = std::stoll(j.k);
  }
  return o;
}

std::string Check(const Job& j, const std::string& text) {
  if (text.empty()) return "no file";
  return checkSieveFile(text, OracleFor(j), j.nmin, j.nmax);
}

// Runs the job twice, normally and with conditional moves masked (so the sieve loop's
// procedures run instead of the base-2 sieve), checks one file and compares them.
void CheckBothWays(const Job& j) {
  ScratchDir dir;
  const std::string normal = Sieve(dir, j, kDepth, "a.txt");
  EXPECT_EQ(Check(j, normal), "") << "type " << j.type << " base " << j.base << " k " << j.k;
  setenv("MORVANE_CPU", "nocmov", 1);
  const std::string masked = Sieve(dir, j, kDepth, "b.txt");
  unsetenv("MORVANE_CPU");
  EXPECT_EQ(masked, normal) << "type " << j.type << " base " << j.base << " k " << j.k;
}

Job Make(int type, uint32_t base, const std::string& k, int64_t nmin, int64_t nmax, bool primorial = false) {
  Job j;
  j.type = type;
  j.base = base;
  j.k = k;
  j.nmin = nmin;
  j.nmax = nmax;
  j.primorial = primorial;
  return j;
}

TEST(FixedKEndToEnd, BaseTwoKFixed) {
  CheckBothWays(Make(16, 2, "3", 1, 6000));            // k mod 3 = 0; small n equal to primes
  CheckBothWays(Make(17, 2, "3", 1, 6000));
  CheckBothWays(Make(16, 2, "5", 2000, 8000));         // k mod 3 = 2
  CheckBothWays(Make(17, 2, "5", 2000, 8000));
  CheckBothWays(Make(16, 2, "1073741827", 100, 5000));  // k ≥ 2^30: no residue skip
  CheckBothWays(Make(17, 2, "1", 2, 4000));             // Mersenne numbers: 3, 7, 31, ... survive
}

TEST(FixedKEndToEnd, ShortRangeWidths) {
  // A width of 2999 walks one period of 2; 3000 searches. Both ways give the same files.
  CheckBothWays(Make(16, 2, "7", 1000, 3999));
  CheckBothWays(Make(16, 2, "7", 1000, 4000));
  CheckBothWays(Make(17, 2, "9", 1, 2000));
}

TEST(FixedKEndToEnd, PrimoProthAndProductK) {
  CheckBothWays(Make(16, 2, "11", 1, 5000, true));  // 11#·2^n+1
  CheckBothWays(Make(17, 2, "13", 1, 5000, true));
  CheckBothWays(Make(16, 2, "3*5*7", 1, 5000));
  CheckBothWays(Make(17, 2, "3*5*7", 1, 5000));
}

TEST(FixedKEndToEnd, OtherBases) {
  const Job jobs[] = {Make(16, 3, "2", 1, 4000), Make(17, 3, "4", 1, 4000), Make(16, 5, "6", 1, 4000),
                      Make(17, 5, "2", 1, 4000), Make(16, 10, "7", 1, 3000), Make(17, 10, "3", 1, 3000)};
  for (const Job& j : jobs) {
    ScratchDir dir;
    EXPECT_EQ(Check(j, Sieve(dir, j, kDepth)), "") << "type " << j.type << " base " << j.base << " k " << j.k;
  }
}

TEST(FixedKEndToEnd, PowersPlusMinusK) {
  CheckBothWays(Make(19, 2, "3", 1, 5000));
  CheckBothWays(Make(20, 2, "5", 1, 5000));        // 2^1 − 5 and 2^3 − 5 are ±3
  CheckBothWays(Make(20, 2, "1000003", 1, 5000));  // k beyond the primes sieved
  const Job odd[] = {Make(19, 3, "4", 1, 4000), Make(20, 3, "2", 1, 4000), Make(20, 3, "200002", 1, 4000),
                     Make(20, 3, "6", 1, 2000)};  // 3 divides 3^n − 6: only 3 and −3 survive it
  for (const Job& j : odd) {
    ScratchDir dir;
    EXPECT_EQ(Check(j, Sieve(dir, j, kDepth)), "") << "type " << j.type << " base " << j.base << " k " << j.k;
  }
}

TEST(FixedKEndToEnd, ContinuingEqualsOneRun) {
  const Job jobs[] = {Make(16, 2, "3", 1, 6000), Make(17, 3, "4", 1, 4000), Make(20, 2, "7", 1, 5000)};
  for (const Job& j : jobs) {
    ScratchDir dir;
    const std::string whole = Sieve(dir, j, 200000, "whole.txt");
    Sieve(dir, j, 2000, "part.txt");
    EXPECT_EQ(Continue(dir, "part.txt", "cont.txt", 200000), whole) << "type " << j.type << " base " << j.base;
  }
}

TEST(FixedKEndToEnd, RangeWiderThanTheBitmap) {
  // A bitmap of about 800 bits: the range goes through sub-ranges into the hash or array
  // store, and the file comes out the same.
  const Job jobs[] = {Make(16, 2, "3", 1, 5000), Make(17, 2, "5", 1000, 3999), Make(20, 3, "4", 1, 4000)};
  for (const Job& j : jobs) {
    ScratchDir dir;
    const std::string bitmap = Sieve(dir, j, kDepth, "a.txt");
    EXPECT_EQ(Sieve(dir, j, kDepth, "b.txt", "-ob=0.0001"), bitmap) << "type " << j.type << " base " << j.base;
    setenv("MORVANE_CPU", "nocmov", 1);
    EXPECT_EQ(Sieve(dir, j, kDepth, "c.txt", "-ob=0.0001"), bitmap) << "type " << j.type << " base " << j.base;
    unsetenv("MORVANE_CPU");
  }
}

TEST(FixedKEndToEnd, OddNOption) {
  // 3·2^n+1 for odd n only (the Fermat-divisor search), continued from a file that says so.
  ScratchDir dir;
  std::string text = "1:P:1:2:" + std::to_string(0x2101) + "\n";
  for (int n = 1; n <= 6001; n += 2) text += "3 " + std::to_string(n) + "\n";
  writeFile(dir.file("odd.txt"), text);
  Job j = Make(16, 2, "3", 1, 6001);
  OracleJob o = OracleFor(j);
  o.mode |= 0x2000;
  EXPECT_EQ(checkSieveFile(Continue(dir, "odd.txt", "out.txt", kDepth), o, 1, 6001), "");
}

TEST(FixedKEndToEnd, WindowBeyondTwoToThe32) {
  // A file sieved to just below 2^32 holding every n of the range, continued past
  // 2^32 + 10^6: every strike and every survivor is checked over that window of primes.
  const int64_t from = (int64_t{1} << 32) - 300000, to = (int64_t{1} << 32) + 1000000;
  for (const std::string& type : {std::string("257"), std::string("258")}) {
    ScratchDir dir;
    std::string before = std::to_string(from) + ":" + (type == "257" ? "P" : "M") + ":1:2:" + type + "\n";
    for (int n = 1000; n <= 4000; ++n) before += "3 " + std::to_string(n) + "\n";
    writeFile(dir.file("before.txt"), before);
    Job j = Make(type == "257" ? 16 : 17, 2, "3", 1000, 4000);
    EXPECT_EQ(checkWindow(before, Continue(dir, "before.txt", "after.txt", to), OracleFor(j)), "");
    setenv("MORVANE_CPU", "nocmov", 1);
    const std::string masked = Continue(dir, "before.txt", "masked.txt", to);
    unsetenv("MORVANE_CPU");
    EXPECT_EQ(masked, readFile(dir.file("after.txt")));
  }
}

}  // namespace
