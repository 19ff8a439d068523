// Reading a sieve file's text: lines taken from large blocks, and its decimal numbers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// Lines of a text file without their line ends (LF, or CRLF). A line longer than
// `SIEVE_FILE_MAX_LINE` is cut there and marked overlong, so it is never taken for a valid
// line and memory stays bounded; NUL bytes are kept in the line.
constexpr size_t SIEVE_FILE_MAX_LINE = 1 << 16;

class LineReader {
 public:
  // Reads `f` from where it stands, `blockBytes` at a time.
  explicit LineReader(FILE* f, size_t blockBytes = 1 << 18);
  // The next line; false at the end of the file. The view holds until the next call.
  bool next(std::string_view& line, bool& overlong);
  // Whether the line last read ended with its line end: only a last line can lack it, the
  // usual trace of a save cut short.
  bool lastLineEnded() const { return lastLineEnded_; }

 private:
  bool refill();

  FILE* f_;
  size_t capacity_;
  std::unique_ptr<char[]> block_;
  size_t begin_ = 0, end_ = 0;
  bool atEnd_ = false;
  bool lastLineEnded_ = true;
  std::string carry_;  // a line that spans blocks, at most SIEVE_FILE_MAX_LINE bytes of it
};

// The blanks scanf skips before a number.
inline bool IsFileSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

enum class NumberParse { No, Yes, OutOfRange };

// A decimal number as scanf reads one: blanks, an optional sign, at least one digit; `at`
// moves past the digits. OutOfRange when it does not fit 64 bits signed.
NumberParse ParseFileNumber(const char*& at, const char* end, int64_t& out);
