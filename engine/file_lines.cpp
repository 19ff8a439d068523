// The block line reader and the number parser of the sieve-file reader.
#include "engine/file_lines.h"

#include <algorithm>
#include <cstring>

LineReader::LineReader(FILE* f, size_t blockBytes)
    : f_(f), capacity_(blockBytes ? blockBytes : 1), block_(new char[capacity_]) {}

bool LineReader::refill() {
  begin_ = 0;
  end_ = atEnd_ ? 0 : std::fread(block_.get(), 1, capacity_, f_);
  if (end_ == 0) atEnd_ = true;
  return end_ != 0;
}

bool LineReader::next(std::string_view& line, bool& overlong) {
  lastLineEnded_ = false;
  carry_.clear();
  size_t length = 0;  // of the whole line, beyond what is kept
  bool any = false;
  for (;;) {
    if (begin_ == end_ && !refill()) break;
    any = true;
    const char* from = block_.get() + begin_;
    const size_t available = end_ - begin_;
    const char* lineEnd = static_cast<const char*>(std::memchr(from, '\n', available));
    const size_t part = lineEnd ? static_cast<size_t>(lineEnd - from) : available;
    if (lineEnd && length == 0) {
      // The common case: the whole line lies in the block and is handed out in place.
      begin_ += part + 1;
      lastLineEnded_ = true;
      size_t kept = part < SIEVE_FILE_MAX_LINE ? part : SIEVE_FILE_MAX_LINE;
      overlong = part > SIEVE_FILE_MAX_LINE;
      if (kept > 0 && from[kept - 1] == '\r') --kept;
      line = std::string_view(from, kept);
      return true;
    }
    if (carry_.size() < SIEVE_FILE_MAX_LINE) carry_.append(from, std::min(part, SIEVE_FILE_MAX_LINE - carry_.size()));
    length += part;
    if (lineEnd) {
      begin_ += part + 1;
      lastLineEnded_ = true;
      break;
    }
    begin_ = end_;
  }
  overlong = length > SIEVE_FILE_MAX_LINE;
  if (!carry_.empty() && carry_.back() == '\r') carry_.pop_back();
  line = carry_;
  return any;
}

namespace {
bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
}  // namespace

NumberParse ParseFileNumber(const char*& at, const char* end, int64_t& out) {
  while (at < end && IsFileSpace(*at)) ++at;
  const char* s = at;
  bool negative = false;
  if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
  if (s == end || !isDigit(*s)) return NumberParse::No;
  while (s < end && *s == '0') ++s;  // leading zeros carry no value
  const char* first = s;
  uint64_t v = 0;
  // Up to 19 significant digits cannot wrap 64 bits; more never fit, whatever v became.
  for (; s < end && isDigit(*s); ++s) v = v * 10 + static_cast<unsigned>(*s - '0');
  at = s;
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (s - first > 19 || v > limit) return NumberParse::OutOfRange;
  out = static_cast<int64_t>(negative ? 0 - v : v);
  return NumberParse::Yes;
}
