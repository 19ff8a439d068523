// Sieving above 2^32: files whose header sits just below 2^32 or 2^46 are continued across
// the hand-overs of the work procedures, and every strike and every survivor is checked
// against the oracle over that window of primes. The runs with the processor features masked
// ("no CMOV", "no SSE2", "no IFMA", all three) must give the identical file.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>

#include "tests/support/oracle.h"
#include "tests/support/run_binary.h"

namespace {

const char* const kMasks[] = {"", "nocmov", "nosse2", "noifma", "nocmov,nosse2,noifma"};

// Runs the binary with MORVANE_CPU set to mask (empty: unset).
RunResult RunMasked(const std::string& mask, const std::vector<std::string>& args, const std::string& dir) {
  if (mask.empty()) unsetenv("MORVANE_CPU");
  else setenv("MORVANE_CPU", mask.c_str(), 1);
  RunResult r = runMorvane(args, dir);
  unsetenv("MORVANE_CPU");
  return r;
}

// Continues `before` to p = stop under every mask; checks the window and that all the
// files are the same.
void CheckWindowRuns(const std::string& before, const OracleJob& job, int64_t stop) {
  std::string first;
  for (const char* mask : kMasks) {
    SCOPED_TRACE(mask);
    ScratchDir dir;
    writeFile(dir.file("in.txt"), before);
    RunResult r = RunMasked(mask, {"-c", "-ci=in.txt", "-cp=out.txt", "-osp=" + std::to_string(stop)}, dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    std::string after = readFile(dir.file("out.txt"));
    SieveFileData parsed;
    std::string error;
    ASSERT_TRUE(parseSieveFile(after, parsed, error)) << error << "\n" << r.output;
    EXPECT_GE(parsed.depth, stop - 1);
    if (first.empty()) {
      first = after;
      EXPECT_EQ(checkWindow(before, after, job), "");
      SieveFileData was;
      ASSERT_TRUE(parseSieveFile(before, was, error));
      EXPECT_LT(parsed.lines.size(), was.lines.size()) << "the window struck nothing";
    } else {
      EXPECT_EQ(after, first) << "the file differs under mask " << mask;
    }
  }
}

// Every candidate of a small range, claimed sieved to just below 2^32: a BiTwin chain of six
// links strikes twelve classes per prime, so the window sees dozens of strikes.
TEST(WindowAbove2To32, DenseRangeAcrossTheHandOver) {
  const int64_t depth = (int64_t{1} << 32) - 100000, stop = (int64_t{1} << 32) + 1500000;
  OracleJob job(0x3F, 2, 200, 6);  // n as written is 201
  std::string before = std::to_string(depth) + ":3:6:2:63\n";
  for (int64_t k = 1; k <= 400000; k += 2) before += std::to_string(k) + " 201\n";
  CheckWindowRuns(before, job, stop);
}

// Values chosen so that window primes divide them, between random survivors: an array of
// k spread far and wide, across 2^32 (twins, with the inline twin procedure) and across
// 2^46 (where the six-prime procedures hand over to the collecting one).
std::string CraftedFile(int64_t depth, uint32_t n, int64_t windowEnd, unsigned seed, uint32_t base = 2) {
  std::set<int64_t> values;
  std::vector<uint64_t> primes = oddPrimesBetween(static_cast<uint64_t>(depth) + 1, static_cast<uint64_t>(windowEnd));
  std::mt19937_64 rng(seed);
  for (size_t i = 0; i < primes.size(); i += primes.size() / 150 + 1) {
    mpz_class x, b = base, q = static_cast<unsigned long>(primes[i]);
    mpz_powm_ui(x.get_mpz_t(), b.get_mpz_t(), n, q.get_mpz_t());
    mpz_invert(x.get_mpz_t(), x.get_mpz_t(), q.get_mpz_t());
    int64_t k = (i % 2) ? x.get_si() : static_cast<int64_t>(primes[i]) - x.get_si();  // -1 or +1 member
    if (k % 2 == int64_t{base % 2}) k += static_cast<int64_t>(primes[i]);  // odd k for even bases, even for odd
    values.insert(k);
  }
  for (int i = 0; i < 300; ++i) values.insert((static_cast<int64_t>(rng() % (uint64_t{1} << 44)) | 3) - int64_t{base % 2});
  std::string text = std::to_string(depth) + ":T:1:" + std::to_string(base) + ":3\n";
  for (int64_t k : values) text += std::to_string(k) + " " + std::to_string(n) + "\n";
  return text;
}

TEST(WindowAbove2To32, CraftedStrikesAcross2To32) {
  const int64_t depth = (int64_t{1} << 32) - 50000, stop = (int64_t{1} << 32) + 1200000;
  CheckWindowRuns(CraftedFile(depth, 1000, stop, 7), OracleJob(0x03, 2, 1000), stop);
}

TEST(WindowAbove2To32, CraftedStrikesAcross2To46) {
  const int64_t depth = (int64_t{1} << 46) - 300000, stop = (int64_t{1} << 46) + 1000000;
  CheckWindowRuns(CraftedFile(depth, 999, stop, 11), OracleJob(0x03, 2, 999), stop);
}

// Other bases through the sixteen-prime batches: across 2^32, and across 2^52 where a batch
// leaves the IFMA chains for the portable ones.
TEST(WindowAbove2To32, CraftedStrikesOtherBases) {
  for (uint32_t base : {3u, 5u, 10u, 12u}) {
    SCOPED_TRACE(base);
    const int64_t depth32 = (int64_t{1} << 32) - 20000, stop32 = (int64_t{1} << 32) + 300000;
    CheckWindowRuns(CraftedFile(depth32, 1000, stop32, base, base), OracleJob(0x03, base, 1000), stop32);
    const int64_t depth52 = (int64_t{1} << 52) - 100000, stop52 = (int64_t{1} << 52) + 200000;
    CheckWindowRuns(CraftedFile(depth52, 1001, stop52, base + 1, base), OracleJob(0x03, base, 1001), stop52);
  }
}

}  // namespace
