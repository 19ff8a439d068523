// Closing the output files of the duplicate and split services together.
#include "services/output_files.h"

#include <cstdio>

#include "common/print.h"

bool closeAllOrRemove(std::vector<std::unique_ptr<std::ofstream>>& outs, const std::vector<std::string>& names) {
  bool written = true;
  for (auto& out : outs) {
    out->close();
    written = written && !out->fail();
  }
  if (written) return true;
  for (const auto& name : names) std::remove(name.c_str());
  printRaw("The output files could not be written completely, so they have been removed!\n");
  return false;
}
