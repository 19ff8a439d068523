// Fuzzes the one number reader: no input may crash it, and what it accepts must agree with
// plain decimal (a value read back from its own decimal text, and digits-only text as strtoll
// reads it).
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/number_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  int64_t v = 0;
  NumberError e = ReadNumber(text, v);
  if (e == NumberError::None) {
    int64_t back = -1;
    if (v < 0 || ReadDecimal(std::to_string(v), back) != NumberError::None || back != v) __builtin_trap();
  }
  int64_t d = 0;
  if (ReadDecimal(text, d) == NumberError::None) {
    errno = 0;
    long long ref = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || ref != d || e != NumberError::None || v != d) __builtin_trap();
  }
  double r = 0;
  ReadReal(text, r);
  NumberRefusal("fuzz", text, e);
  return 0;
}
