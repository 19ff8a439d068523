// Fuzz target: the command-line parser on arbitrary argument lists, one argument per
// NUL-separated piece of the input; console output is captured and dropped.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "console/options.h"
#include "common/print.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args{"morvane", ""};
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      args.emplace_back();
    else
      args.back() += char(data[i]);
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string sink;
  setPrintCapture(&sink);
  ProcessOptions(int(args.size()), argv.data());
  setPrintCapture(nullptr);
  return 0;
}
