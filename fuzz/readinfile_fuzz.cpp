// Fuzz target for the sieve-file reader: any bytes, written to a file and read back, give a
// correct read or a refusal message, never a crash or an access out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/print.h"
#include "engine/sieve_file.h"
#include "engine/sieve_job.h"
#include "fixedn/bitmap.h"
#include "fixedn/candidate_set.h"
#include "primes/primetable.h"

namespace {
// One scratch file for the whole session, removed at exit.
struct ScratchFile {
  std::string path;
  ScratchFile() {
    char pattern[] = "/tmp/readinfile-fuzz-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    path = pattern;
  }
  ~ScratchFile() {
    std::remove(path.c_str());
    std::remove((path + "~").c_str());
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ScratchFile scratch;
  const std::string& path = scratch.path;
  static std::string sink;
  static bool ready = false;
  if (!ready) {
    FillPrimetable();
    initialise();
    setPrintCapture(&sink);
    ready = true;
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  job = SieveJob{};
  job.BitMapThreshold = 1 << 20;  // keeps every store small enough for fast iterations
  sink.clear();
  readinfile(path);
  FreeCandidateSet();
  return 0;
}
