// Sieve-file reader for the tester: strict about the header and the value lines it uses,
// lenient about blank or stray lines, never trusting sizes written in the file.
#include "ordax/sieve_input.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <string_view>

namespace {

void SkipBlanks(std::string_view& s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
}

// A decimal number with an optional minus sign; false on no digits or overflow.
bool TakeInt(std::string_view& s, int64_t& value) {
  bool negative = !s.empty() && s.front() == '-';
  if (negative) s.remove_prefix(1);
  if (s.empty() || s.front() < '0' || s.front() > '9') return false;
  uint64_t v = 0;
  const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  while (!s.empty() && s.front() >= '0' && s.front() <= '9') {
    v = v * 10 + static_cast<uint64_t>(s.front() - '0');
    if (v > limit) return false;
    s.remove_prefix(1);
  }
  value = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  return true;
}

bool TakeChar(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

bool IsBlank(std::string_view s) {
  SkipBlanks(s);
  return s.empty();
}

// "k n": two numbers separated by blanks, nothing else.
bool ParseValueLine(std::string_view s, SieveLine& line) {
  SkipBlanks(s);
  if (!TakeInt(s, line.first)) return false;
  if (s.empty() || (s.front() != ' ' && s.front() != '\t')) return false;
  SkipBlanks(s);
  if (!TakeInt(s, line.second)) return false;
  return IsBlank(s);
}

// "sievedTo:letter:len3plus:base:mode".
bool ParseFields(std::string_view s, SieveInput& in) {
  SkipBlanks(s);
  if (!TakeInt(s, in.sievedTo) || !TakeChar(s, ':') || s.empty()) return false;
  in.letter = s.front();
  s.remove_prefix(1);
  return TakeChar(s, ':') && TakeInt(s, in.len3plus) && TakeChar(s, ':') && TakeInt(s, in.base) &&
         TakeChar(s, ':') && TakeInt(s, in.mode) && IsBlank(s);
}

// "ABC f1*f2*...*b^$b+1 //Morvane:fields": the numbers followed by '*' are the factors of k.
bool ParseFactorHeader(std::string_view s, SieveInput& in) {
  constexpr std::string_view tag = "//Morvane:";
  size_t at = s.find(tag);
  if (s.substr(0, 4) != "ABC " || at == std::string_view::npos) return false;
  if (!ParseFields(s.substr(at + tag.size()), in)) return false;
  std::string_view expr = s.substr(4, at - 4);
  in.factors.clear();
  for (;;) {
    int64_t v = 0;
    if (expr.empty() || expr.front() == '-' || !TakeInt(expr, v)) return false;
    if (!TakeChar(expr, '*')) break;  // the number before "^$b" is the base, not a factor
    in.factors.push_back(static_cast<uint64_t>(v));
  }
  in.factorForm = true;
  return true;
}

void Fnv1a(uint64_t& h, std::string_view bytes) {
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
  h = (h ^ '\n') * 0x100000001b3ull;
}

}  // namespace

bool ParseSieveInput(std::istream& text, SieveInput& out, std::string& error) {
  out = SieveInput{};
  out.fingerprint = 0xcbf29ce484222325ull;
  bool haveHeader = false;
  size_t lineNumber = 0;
  std::string buffer;
  while (std::getline(text, buffer)) {
    std::string_view line(buffer);
    Fnv1a(out.fingerprint, line);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    SieveLine value;
    if (haveHeader) {
      if (ParseValueLine(line, value)) {
        out.lines.push_back(value);
      } else if (!IsBlank(line)) {
        ++out.ignoredLines;
      }
      continue;
    }
    if (ParseValueLine(line, value)) {
      error = "line " + std::to_string(lineNumber) + " is a value line, but no header line came before it";
      return false;
    }
    if (line.find(':') == std::string_view::npos) continue;  // text before the header
    if (!ParseFields(line, out) && !ParseFactorHeader(line, out)) {
      error = "The file does not appear to be valid (the first line is wrong!)";
      return false;
    }
    haveHeader = true;
  }
  if (text.bad()) {
    error = "the file could not be read to its end";
    return false;
  }
  if (!haveHeader) {
    error = "the file has no header line";
    return false;
  }
  return true;
}

bool ReadSieveInput(const std::string& path, SieveInput& out, std::string& error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = "Cannot read the input file " + path + ": it is a directory";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "Cannot open the input file " + path;
    return false;
  }
  return ParseSieveInput(in, out, error);
}
