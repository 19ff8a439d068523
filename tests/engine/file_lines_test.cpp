// The sieve file's line reader and number parser against plain character-by-character
// references: every line, its cut and mark, and every number's value or refusal must agree,
// wherever the blocks happen to end.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/file_lines.h"

namespace {

struct Line {
  std::string text;
  bool overlong;
  bool ended;
};

// The reference: one character at a time, the line end dropped, CR before it too, the line
// cut at the limit.
std::vector<Line> referenceLines(const std::string& data) {
  std::vector<Line> lines;
  size_t i = 0;
  while (i < data.size()) {
    Line line{"", false, false};
    for (; i < data.size(); ++i) {
      if (data[i] == '\n') {
        line.ended = true;
        ++i;
        break;
      }
      if (line.text.size() < SIEVE_FILE_MAX_LINE) line.text.push_back(data[i]);
      else line.overlong = true;
    }
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<Line> readerLines(const std::string& data, size_t blockBytes) {
  FILE* f = tmpfile();
  EXPECT_NE(f, nullptr);
  std::fwrite(data.data(), 1, data.size(), f);
  std::rewind(f);
  LineReader reader(f, blockBytes);
  std::vector<Line> lines;
  std::string_view text;
  bool overlong = true;
  while (reader.next(text, overlong)) lines.push_back({std::string(text), overlong, reader.lastLineEnded()});
  std::fclose(f);
  return lines;
}

void expectSameLines(const std::string& data, const std::string& what) {
  const std::vector<Line> expected = referenceLines(data);
  for (size_t block : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{4096}, SIEVE_FILE_MAX_LINE - 1,
                       SIEVE_FILE_MAX_LINE + 1, size_t{1} << 18}) {
    const std::vector<Line> got = readerLines(data, block);
    ASSERT_EQ(got.size(), expected.size()) << what << ", blocks of " << block;
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].text, expected[i].text) << what << ", blocks of " << block << ", line " << i + 1;
      ASSERT_EQ(got[i].overlong, expected[i].overlong) << what << ", blocks of " << block << ", line " << i + 1;
      ASSERT_EQ(got[i].ended, expected[i].ended) << what << ", blocks of " << block << ", line " << i + 1;
    }
  }
}

TEST(LineReader, LineEndsNulBytesAndTheLastLine) {
  expectSameLines("", "empty");
  expectSameLines("\n", "one empty line");
  expectSameLines("\n\n\r\n", "empty lines, LF and CRLF");
  expectSameLines("12 1000\r\n13 1000\n14 1000", "CRLF, LF and a last line without its end");
  expectSameLines("12 1000\r", "a last line ending in CR only");
  expectSameLines("a\rb\r\r\nc\n", "a CR inside the line is kept");
  expectSameLines(std::string("1\0002 3\n\0\n", 9), "NUL bytes");
  const std::vector<Line> nul = readerLines(std::string("1\0002\n", 4), 3);
  ASSERT_EQ(nul.size(), 1u);
  EXPECT_EQ(nul[0].text, std::string("1\0002", 3));
}

TEST(LineReader, LinesAtAndPastTheLimitAreCutAndMarked) {
  const size_t max = SIEVE_FILE_MAX_LINE;
  const std::string at(max, '7'), past(max + 1, '7');
  expectSameLines(at + "\n5 10\n", "a line exactly at the limit");
  expectSameLines(past + "\n5 10\n", "a line one byte past the limit");
  expectSameLines(at + "\r\n5 10\n", "a line at the limit with CRLF");
  expectSameLines(std::string(max - 1, ' ') + "\r\n5 10\n", "a line one short of the limit with CRLF");
  expectSameLines(std::string(3 * max + 5, 'x') + "\r\n" + past, "a long line, then one past the limit unended");
  const std::vector<Line> lines = readerLines(at + "\n" + past + "\n" + "5 10", 4096);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_FALSE(lines[0].overlong);
  EXPECT_EQ(lines[0].text.size(), max);
  EXPECT_TRUE(lines[1].overlong);
  EXPECT_EQ(lines[1].text.size(), max);
  EXPECT_EQ(lines[2].text, "5 10");
  EXPECT_FALSE(lines[2].ended);
}

TEST(LineReader, RandomTextsAgreeWithTheReferenceForEveryBlockSize) {
  std::mt19937_64 random(20261208);
  const char alphabet[] = {'1', '9', ' ', '\r', '\n', '\0', 'x', ':'};
  for (int round = 0; round < 60; ++round) {
    std::string data;
    const int pieces = static_cast<int>(random() % 40);
    for (int i = 0; i < pieces; ++i) {
      // Mostly short pieces of any characters, now and then a run near or past the limit.
      if (random() % 10 == 0) {
        data.append(SIEVE_FILE_MAX_LINE - 2 + random() % 5, alphabet[random() % 4]);
      } else {
        for (uint64_t j = random() % 30; j > 0; --j) data.push_back(alphabet[random() % sizeof alphabet]);
      }
    }
    expectSameLines(data, "random text " + std::to_string(round));
  }
}

// The reference: scanf's reading with 128-bit accumulation.
NumberParse referenceNumber(const std::string& text, size_t& consumed, int64_t& out) {
  const char* at = text.data();
  const char* end = at + text.size();
  while (at < end && (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\v' || *at == '\f' || *at == '\r')) ++at;
  consumed = static_cast<size_t>(at - text.data());
  bool negative = false;
  if (at < end && (*at == '+' || *at == '-')) negative = *at++ == '-';
  if (at == end || *at < '0' || *at > '9') return NumberParse::No;
  unsigned __int128 v = 0;
  bool big = false;
  for (; at < end && *at >= '0' && *at <= '9'; ++at) {
    if (!big) v = v * 10 + static_cast<unsigned>(*at - '0');
    if (v > static_cast<unsigned __int128>(INT64_MAX) + 1) big = true;
  }
  consumed = static_cast<size_t>(at - text.data());
  if (big || (!negative && v > INT64_MAX)) return NumberParse::OutOfRange;
  out = negative ? static_cast<int64_t>(-v) : static_cast<int64_t>(v);
  return NumberParse::Yes;
}

void expectSameNumber(const std::string& text) {
  size_t consumed = 0;
  int64_t expected = 0, got = 0;
  const NumberParse want = referenceNumber(text, consumed, expected);
  const char* at = text.data();
  const NumberParse have = ParseFileNumber(at, text.data() + text.size(), got);
  ASSERT_EQ(have, want) << '"' << text << '"';
  ASSERT_EQ(static_cast<size_t>(at - text.data()), consumed) << '"' << text << '"';
  if (want == NumberParse::Yes) {
    ASSERT_EQ(got, expected) << '"' << text << '"';
  }
}

TEST(FileNumber, EdgesOfSixtyFourBitsSignsAndBlanks) {
  for (const char* text :
       {"0", "-0", "+0", "7", " \t\v\f\r\n42 1000", "-", "+", "- 5", "+-5", "x5", "", "   ", "5x",
        "9223372036854775807", "9223372036854775808", "-9223372036854775808", "-9223372036854775809",
        "+9223372036854775807", "0009223372036854775807", "-0009223372036854775808", "00000000000000000000000000",
        "999999999999999999", "1000000000000000000", "9999999999999999999", "10000000000000000000",
        "18446744073709551615", "18446744073709551616", "99999999999999999999", "-99999999999999999999",
        "123456789012345678901234567890", "4294967296", "-2147483649"}) {
    expectSameNumber(text);
  }
  int64_t v = 1;
  const std::string low = "-9223372036854775808 3";
  const char* at = low.data();
  ASSERT_EQ(ParseFileNumber(at, low.data() + low.size(), v), NumberParse::Yes);
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_EQ(*at, ' ');
}

TEST(FileNumber, RandomDigitStringsAgreeWithTheReference) {
  std::mt19937_64 random(64);
  const char alphabet[] = "0123456789 +-";
  for (int round = 0; round < 200000; ++round) {
    std::string text;
    const size_t length = random() % 24;
    for (size_t i = 0; i < length; ++i)
      text.push_back(i > 1 && random() % 4 ? static_cast<char>('0' + random() % 10) : alphabet[random() % 13]);
    expectSameNumber(text);
  }
}

}  // namespace
