// Whole-line reading and the header and data-line parsing shared by the file services.
#include "services/sieve_lines.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "engine/sieve_forms.h"

bool readWholeLine(std::istream& in, std::string& line, bool* hadNewline) {
  if (!std::getline(in, line)) return false;
  if (hadNewline) *hadNewline = !in.eof();
  return true;
}

namespace {
// strtoll with base 0 is exactly the "%qi" conversion; out-of-range numbers are refused
// rather than clamped, so a corrupt file never passes as a valid one.
bool readInt64(const char*& s, int64_t& value) {
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s, &end, 0);
  if (end == s || errno == ERANGE) return false;
  value = v;
  s = end;
  return true;
}
}  // namespace

bool parseHeaderLine(const std::string& line, SieveHeader& header) {
  const char* s = line.c_str();
  int64_t p = 0;
  if (!readInt64(s, p)) return false;
  while (std::isspace(static_cast<unsigned char>(*s))) ++s;
  const char* start = s;
  while (*s && !std::isspace(static_cast<unsigned char>(*s))) ++s;
  if (s == start || *start != ':') return false;
  header.p = p;
  header.rest.assign(start, s);
  return true;
}

bool parseDataLine(const std::string& line, int64_t& first, int& second) {
  const char* s = line.c_str();
  int64_t k = 0;
  if (!readInt64(s, k)) return false;
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(s, &end, 10);
  if (end == s || errno == ERANGE || n < INT_MIN || n > INT_MAX) return false;
  first = k;
  second = static_cast<int>(n);
  return true;
}

bool headerIsFixedK(const std::string& rest) {
  size_t colon = rest.rfind(':');
  long mode = std::strtol(rest.c_str() + (colon == std::string::npos ? 0 : colon + 1), nullptr, 10);
  return (static_cast<unsigned long>(mode) & MODE_N_VARIES) != 0;
}
