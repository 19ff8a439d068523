// Timing a sample of lines: evenly spread over the file, because later lines (larger k or n)
// cost more; tested one at a time on one thread, in processor time, and stopped early once the
// sample has taken long enough to say something.
#include "ordax/timing.h"

#include <time.h>

#include <cmath>

#include "common/print.h"
#include "ordax/forms.h"
#include "ordax/run.h"
#include "ordax/sieve_input.h"
#include "ordax/tester.h"

namespace {

constexpr size_t kSampleLines = 8;
constexpr double kEnoughSeconds = 30;

// Processor time of this thread: a busy shared machine stretches wall time, not this.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

}  // namespace

double AdvisedRate(double wallSecondsPerLine) {
  const double tenths = std::round(wallSecondsPerLine * 10);
  return (tenths < 1 || !std::isfinite(tenths)) ? 0.1 : tenths / 10;
}

int TimeOrdax(const OrdaxOptions& options, TimingResult* result) {
  if (ordaxInterrupt == 0) ordaxStop.store(false);
  SieveInput input;
  FormSpec spec;
  if (!LoadSieveFile(options.file, input, spec, "Timing")) return ORDAX_FAILED;
  const size_t total = input.lines.size();
  if (total == 0) {
    print("The file holds no values to time.");
    return ORDAX_OK;
  }
  const size_t sample = total < kSampleLines ? total : kSampleLines;
  LineTester tester(spec);
  double seconds = 0;
  size_t done = 0;
  for (size_t j = 0; j < sample && (done == 0 || seconds < kEnoughSeconds); ++j) {
    const size_t i = j * total / sample;
    const double start = ThreadSeconds();
    const LineResult r = tester.Test(input.lines[i], &ordaxStop);
    if (r.cancelled) {
      print("Interrupted: no timing.");
      return 128 + ordaxInterrupt;
    }
    seconds += ThreadSeconds() - start;
    ++done;
  }
  const int threads = options.threads > 0 ? options.threads : OnlineProcessors();
  const double perLine = seconds / static_cast<double>(done);
  const double wall = perLine / threads;
  const double rate = AdvisedRate(wall);
  fprint("Tested %zu of %zu lines: %.4f seconds per line on one thread, %.4f with -t=%d", done, total, perLine, wall,
         threads);
  fprint("Sieve on while removing a candidate takes less time than testing one: stop the sieve with");
  fprint("-osr=%.1f", rate);
  if (result) *result = TimingResult{done, perLine, wall, rate * 10};
  return ORDAX_OK;
}
