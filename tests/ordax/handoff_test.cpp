// The whole pipeline: a full command-line sieve that ends by handing its file to "./ordax",
// which finds the twin primes of the range. The expectation is computed here with GMP over
// every odd k of the range, sieved or not.
#include <gtest/gtest.h>
#include <gmpxx.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "tests/support/run_binary.h"

namespace {

std::string TwinPrimeLines(long kmax, unsigned n) {
  std::string lines;
  for (long k = 1; k <= kmax; k += 2) {
    mpz_class x = mpz_class(k) << n;
    if (mpz_probab_prime_p(mpz_class(x - 1).get_mpz_t(), 30) && mpz_probab_prime_p(mpz_class(x + 1).get_mpz_t(), 30))
      lines += std::to_string(k) + "·2^" + std::to_string(n) + "±1 is a twin prime pair (proven)\n";
  }
  return lines;
}

TEST(OrdaxHandOff, TheSieveReplacesItselfWithOrdaxWhichFindsThePrimes) {
  ScratchDir dir;
  ASSERT_EQ(symlink(ORDAX_BINARY, dir.file("ordax").c_str()), 0);
  RunResult r = runMorvane({"-w", "-wp=twins.txt", "-t=2", "-base=2", "-n=500", "-kmin=1", "-kmax=100000",
                            "-osp=1000000", "-osg=-n -q"},
                           dir.path());
  const std::string expected = TwinPrimeLines(100000, 500);
  ASSERT_EQ(expected,
            "52305·2^500±1 is a twin prime pair (proven)\n55545·2^500±1 is a twin prime pair (proven)\n");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("*** SIEVING COMPLETE - CALLING ORDAX..."), std::string::npos) << r.output;
  // The user's words reach ordax: -n is obeyed, -q is reported and ignored.
  EXPECT_NE(r.output.find("Running at the lowest priority"), std::string::npos);
  EXPECT_NE(r.output.find("Ignoring the unknown word '-q'"), std::string::npos);
  EXPECT_NE(r.output.find("Testing twins.txt:"), std::string::npos);
  // Line by line: on a busy machine the status line may show between two results.
  for (const std::string line : {"52305·2^500±1 is a twin prime pair (proven)\n", "55545·2^500±1 is a twin prime pair (proven)\n"})
    EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
  EXPECT_EQ(readFile(dir.file("ordax_results.txt")), expected);
  // The sieve did strike: ordax tested far fewer lines than the 50000 odd k of the range.
  const std::string sieved = readFile(dir.file("twins.txt"));
  EXPECT_LT(std::count(sieved.begin(), sieved.end(), '\n'), 5000);
}

}  // namespace
