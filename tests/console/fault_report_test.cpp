// The one handler in main: a fault that escapes the session is named on standard error and
// ends with its own status; an ordinary return passes through untouched.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "console/front_end.h"
#include "console/startup.h"

namespace {

int Returns7(int, char**) { return 7; }
int RunsOutOfMemory(int, char**) { throw std::bad_alloc(); }
int BreaksAnInvariant(int, char**) { throw std::logic_error("slot table out of step"); }
int ThrowsSomethingElse(int, char**) { throw 42; }

std::string StderrOf(int (*body)(int, char**), int& status) {
  testing::internal::CaptureStderr();
  status = RunReportingFaults(body, 0, nullptr);
  return testing::internal::GetCapturedStderr();
}

TEST(FaultReport, OrdinaryStatusPassesThroughSilently) {
  int status = -1;
  EXPECT_EQ(StderrOf(Returns7, status), "");
  EXPECT_EQ(status, 7);
}

TEST(FaultReport, EscapedFaultsAreNamedAndEndWithTheirStatus) {
  struct Case {
    int (*body)(int, char**);
    const char* named;
  } cases[] = {{RunsOutOfMemory, "out of memory"},
               {BreaksAnInvariant, "slot table out of step"},
               {ThrowsSomethingElse, "an unknown fault"}};
  for (const Case& c : cases) {
    int status = -1;
    std::string err = StderrOf(c.body, status);
    EXPECT_EQ(status, EXIT_INTERNAL_ERROR) << c.named;
    EXPECT_NE(err.find(std::string("internal fault: ") + c.named + "."), std::string::npos) << err;
    EXPECT_NE(err.find("last saved sieve file is intact"), std::string::npos) << err;
  }
}

}  // namespace
