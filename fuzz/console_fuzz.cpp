// Fuzz target: arbitrary bytes as a settings file and as console answers to the options and
// help menus and the job questions (fixed value, limits, chain length). Output is dropped.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "console/front_end.h"
#include "console/menus.h"
#include "console/prompts.h"
#include "console/settings.h"
#include "console/validation.h"
#include "common/print.h"
#include "engine/sieve_job.h"
#include "primes/primetable.h"

namespace {
// A memory-backed file holding the input, readable from its start.
int memoryFile(const uint8_t* data, size_t size) {
  int fd = memfd_create("console_fuzz", 0);
  if (fd < 0) return -1;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool tables = (FillPrimetable(), true);
  (void)tables;
  int fd = memoryFile(data, size);
  if (fd < 0) return 0;
  job = SieveJob{};
  ui = FrontEnd{};
  std::string sink;
  setPrintCapture(&sink);

  // The bytes as a settings file.
  ReadSettings(("/proc/self/fd/" + std::to_string(fd)).c_str());

  // The same bytes as console answers. The first two pick the job's type and base.
  lseek(fd, 0, SEEK_SET);
  setConsoleInput(fd);
  int type = size > 0 ? data[0] % NUM_TYPES : 0;
  job._base = size > 1 ? 2u + data[1] % 12 : 2u;
  job._mode = BuildMode(type, false, false, false, job._base);
  try {
    getOptions();
    getHelp();
    getNorK();
    if ((job._mode & MODE_PRIMORIAL) && !job.fMyPrimorial) checkPrimorialIndex(true);
    getLimits();
    confirmBitmapRange();
    askChainLength();
  } catch (const ConsoleInputEnded&) {
  } catch (const ProgramExit&) {
  }
  setConsoleInput(-1);
  setPrintCapture(nullptr);
  close(fd);
  return 0;
}
