// A look inside a sieve file: files of every family made by the real sieve, their summary
// checked against member numbers built with GMP by the oracle, and the expected primes
// checked against the tester's actual finds.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "engine/file_info.h"
#include "tests/services/service_test_support.h"
#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

struct Family {
  std::string name;
  std::vector<std::string> options;  // the job, written to f.txt and sieved to p = 30000
  OracleJob job;                     // the same numbers for the oracle
  std::string words;                 // the form as the summary names it
};

const std::vector<Family>& families() {
  static const std::vector<Family> all = {
      {"twin", {"-t=2", "-base=2", "-n=200", "-kmin=1", "-kmax=20000"}, {0x0003, 2, 200}, "Twin: k.b^n±1, base 2, n = 200"},
      {"plus base 10", {"-t=0", "-base=10", "-n=60", "-kmin=1", "-kmax=20000"}, {0x0001, 10, 60}, "k.b^n+1, base 10"},
      {"SG generalized", {"-t=3", "-z", "-base=3", "-n=80", "-kmin=1", "-kmax=20000"}, {0x000A, 3, 80},
       "generalized chains"},
      {"CC 2nd kind", {"-t=11", "-l=4", "-base=2", "-n=100", "-kmin=1", "-kmax=200000"}, {0x0015, 2, 100, 4},
       "CC 2nd kind, base 2, n = 100, chain length 4"},
      {"Lucky plus", {"-t=8", "-base=2", "-n=90", "-kmin=1", "-kmax=200000"}, {0x001D, 2, 90}, "LP: "},
      {"4-tuple", {"-t=15", "-base=2", "-n=100", "-kmin=1", "-kmax=200000"}, {0x0883, 2, 100}, "4-tuple"},
      {"SG +3", {"-t=18", "-base=2", "-n=100", "-kmin=1", "-kmax=20000"}, {0x1001, 2, 100}, "2k.b^n+3"},
      {"progression", {"-t=13", "-base=2", "-n=100", "-kmin=1", "-kmax=20000"}, {0x0200, 2, 100}, "AP: "},
      {"primorial twin", {"-u", "-t=2", "-b", "-n=100", "-kmin=1", "-kmax=20000"}, {0x0043, 2, 97},
       "n# with n = 97, primorial mode"},
      {"fixed k", {"-t=16", "-base=2", "-k=3", "-nmin=1", "-nmax=3000"}, {0x0101, 2, 3}, "with k fixed, base 2, k = 3"},
      {"fixed k base 3", {"-t=17", "-base=3", "-k=4", "-nmin=1", "-nmax=2000"}, {0x0102, 3, 4}, "k = 4"},
      {"fixed product k", {"-t=16", "-base=2", "-k=3*5*7", "-nmin=1", "-nmax=2000"}, {0x0101, 2, 0, 1, {3, 5, 7}},
       "k = 3*5*7"},
      {"b^n+k", {"-t=19", "-base=2", "-k=5", "-nmin=1", "-nmax=3000"}, {0x8001, 2, 5}, "b^n+k with k fixed"},
  };
  return all;
}

// The expectation computed directly: every member built exactly, its size from GMP.
struct Direct {
  double expected = 0;
  size_t minDigits = SIZE_MAX, maxDigits = 0;
};

Direct directly(const std::string& text, const OracleJob& job) {
  SieveFileData data;
  std::string error;
  EXPECT_TRUE(parseSieveFile(text, data, error)) << error;
  Oracle oracle(job);
  const double lnP = std::log(static_cast<double>(data.depth));
  Direct d;
  for (int64_t v : fileValues(data, job)) {
    double chance = 1;
    for (const mpz_class& N : oracle.members(v)) {
      long exponent;
      const double mantissa = mpz_get_d_2exp(&exponent, N.get_mpz_t());
      const double lnN = std::log(mantissa) + exponent * std::log(2.0);
      chance *= lnN <= 2 * lnP ? 1.0 : std::min(1.0, std::exp(0.5772156649015329) * lnP / lnN);
      const size_t digits = N.get_str().size();
      d.minDigits = std::min(d.minDigits, digits);
      d.maxDigits = std::max(d.maxDigits, digits);
    }
    d.expected += chance;
  }
  return d;
}

class FileInfo : public ConsoleCapture {};

TEST_F(FileInfo, EveryFamilyAgreesWithTheMembersBuiltExactly) {
  for (const Family& f : families()) {
    SCOPED_TRACE(f.name);
    ScratchDir dir;
    std::vector<std::string> args = {"-w", "-wp=f.txt", "-osp=30000"};
    args.insert(args.end(), f.options.begin(), f.options.end());
    RunResult run = runMorvane(args, dir.path());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string text = readFile(dir.file("f.txt"));

    console.clear();
    SieveFileSummary s;
    ASSERT_TRUE(DescribeSieveFile(dir.file("f.txt"), &s)) << console;
    EXPECT_NE(console.find(f.words), std::string::npos) << console;
    EXPECT_NE(console.find("Sieved to    : p = 30"), std::string::npos) << console;

    const Direct d = directly(text, f.job);
    EXPECT_NEAR(s.expectedFinds, d.expected, 1e-6 * d.expected + 1e-9) << console;
    EXPECT_EQ(s.minDigits, d.minDigits) << console;
    EXPECT_EQ(s.maxDigits, d.maxDigits) << console;
    EXPECT_EQ(s.members, static_cast<int>(Oracle(f.job).members(1).size()));
    EXPECT_GT(s.primesPerRemovalAtTwice, 0);
  }
}

TEST_F(FileInfo, AFileTheReaderRefusesGetsItsMessage) {
  ScratchDir dir;
  writeFile(dir.file("bad.txt"), "not a sieve file\n");
  EXPECT_FALSE(DescribeSieveFile(dir.file("bad.txt")));
  EXPECT_NE(console.find("bad.txt: "), std::string::npos);
  EXPECT_GT(console.size(), std::string(dir.file("bad.txt: ")).size()) << console;
  console.clear();
  EXPECT_FALSE(DescribeSieveFile(dir.file("missing.txt")));
  EXPECT_NE(console.find("Cannot open the input file"), std::string::npos) << console;
}

// The expectation against the tester's real finds on a twin file: the same order of
// magnitude (the finds are a Poisson count, so only a wide band is safe).
TEST(FileInfoAgainstTheTester, ExpectedTwinsMatchOrdaxFinds) {
  ScratchDir dir;
  RunResult sieve = runMorvane({"-w", "-wp=tw.txt", "-t=2", "-base=2", "-n=100", "-kmin=1", "-kmax=1000000",
                                "-osp=1000000"},
                               dir.path());
  ASSERT_EQ(sieve.status, 0) << sieve.output;
  RunResult info = runProgram(MORVANE_SERVICES_BINARY, {"info", "tw.txt"}, dir.path());
  ASSERT_EQ(info.status, 0) << info.output;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(info.output, m, std::regex("Expected     : about ([0-9.e+]+) lines"))) << info.output;
  const double expected = std::stod(m[1]);
  RunResult tested = runProgram(ORDAX_BINARY, {"tw.txt"}, dir.path());
  ASSERT_TRUE(std::regex_search(tested.output, m, std::regex("Tested all [0-9]+ lines of tw.txt: ([0-9]+) found")))
      << tested.output;
  const double found = std::stod(m[1]);
  RecordProperty("expected", std::to_string(expected));
  RecordProperty("found", m[1]);
  EXPECT_GT(expected, 100);
  EXPECT_GT(found, expected / 2) << info.output << tested.output;
  EXPECT_LT(found, expected * 2) << info.output << tested.output;
}

TEST(FileInfoCommand, EveryFileInTurnAndAStatusForTheUnreadable) {
  ScratchDir dir;
  writeFile(dir.file("a.txt"), sieveText("1000:P:1:2:1", {3, 5, 9}));
  RunResult r = runProgram(MORVANE_SERVICES_BINARY, {"info", "a.txt", "none.txt"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("a.txt\n  Form         : k.b^n+1, base 2, n = 100\n  Sieved to    : p = 1000\n"
                          "  Values       : 3 k's, from k = 3 to 9\n  Size         : 31 to 32 decimal digits\n"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("none.txt: Cannot open the input file"), std::string::npos) << r.output;
}

}  // namespace
