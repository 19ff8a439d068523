// Start-up order of the process (the full sequence is filled in as the subsystems land).
#include "console/startup.h"

#include <cstdio>

#include "primes/primetable.h"

int MorvaneMain(int, char**) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  FillPrimetable();
  std::puts("The interactive dialogue is not available yet.");
  return 0;
}
