// The file services on arbitrary sieve files: the bytes, cut at the first NUL, become two
// files that are merged, then the first is duplicated and split. Console output is dropped.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/print.h"
#include "services/duplicate.h"
#include "services/merge.h"
#include "services/test_split.h"

namespace {

// Held for the whole process (never destroyed), so the exit handler can still remove it.
const std::string& scratch() {
  static const std::string* dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "services-fuzz-XXXXXX").string();
    auto* made = new std::string(mkdtemp(pattern.data()));
    std::atexit([] { std::filesystem::remove_all(scratch()); });
    return made;
  }();
  return *dir;
}

void clean() {
  for (const auto& entry : std::filesystem::directory_iterator(scratch())) std::filesystem::remove_all(entry);
}

void put(const std::string& name, const std::string& text) {
  std::ofstream(scratch() + "/" + name, std::ios::binary) << text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  size_t cut = bytes.find('\0');
  std::string first = bytes.substr(0, cut);
  std::string second = cut == std::string::npos ? first : bytes.substr(cut + 1);
  std::string console;
  setPrintCapture(&console);

  clean();
  put("a", first);
  put("b", second);
  MergeDirectory(scratch());

  clean();
  std::istringstream toCopy(first);
  DuplicateSieveFile(toCopy, scratch() + "/in", 3, 1001);

  clean();
  std::istringstream toSplit(second);
  SplitForTesting(toSplit, scratch() + "/in", {50, 400});

  setPrintCapture(nullptr);
  return 0;
}
