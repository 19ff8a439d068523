// The one number reader: every accepted form gives its exact value, everything else is refused
// with the right reason, and the strict decimal and real readings keep to their own forms.
#include "common/number_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace {

struct IntCase {
  const char* text;
  NumberError error;
  int64_t value;
};

TEST(NumberReader, IntegerFormsAndRefusals) {
  const IntCase cases[] = {
      {"0", NumberError::None, 0},
      {"1000", NumberError::None, 1000},
      {"0100", NumberError::None, 100},  // decimal, never octal
      {"0999", NumberError::None, 999},
      {"  42\t", NumberError::None, 42},
      {"1_000_000", NumberError::None, 1000000},
      {"1e9", NumberError::None, 1000000000},
      {"1E9", NumberError::None, 1000000000},
      {"1e+3", NumberError::None, 1000},
      {"2.5e12", NumberError::None, 2500000000000},
      {"1.50e1", NumberError::None, 15},
      {"1.0", NumberError::None, 1},
      {"0e999999", NumberError::None, 0},
      {"2^40", NumberError::None, INT64_C(1) << 40},
      {"2^63-1", NumberError::None, INT64_MAX},
      {"2^32+15", NumberError::None, (INT64_C(1) << 32) + 15},
      {"10^0", NumberError::None, 1},
      {"1^99999999999999999999", NumberError::None, 1},
      {"9223372036854775807", NumberError::None, INT64_MAX},
      {"9.223372036854775807e18", NumberError::None, INT64_MAX},
      {"9223372036854775808", NumberError::TooLarge, 0},
      {"18446744073709551616", NumberError::TooLarge, 0},
      {"99999999999999999999999999999999999999999", NumberError::TooLarge, 0},
      {"2^63", NumberError::TooLarge, 0},
      {"2^99999999999999999999", NumberError::TooLarge, 0},
      {"1e19", NumberError::TooLarge, 0},
      {"2.5", NumberError::NotWhole, 0},
      {"1e-3", NumberError::NotANumber, 0},
      {"", NumberError::Empty, 0},
      {"   ", NumberError::Empty, 0},
      {"abc", NumberError::NotANumber, 0},
      {"12abc", NumberError::NotANumber, 0},
      {"-2", NumberError::NotANumber, 0},
      {"+2", NumberError::NotANumber, 0},
      {"0x10", NumberError::NotANumber, 0},
      {"nan", NumberError::NotANumber, 0},
      {"inf", NumberError::NotANumber, 0},
      {"1__000", NumberError::NotANumber, 0},
      {"_1", NumberError::NotANumber, 0},
      {"1_", NumberError::NotANumber, 0},
      {"1 000", NumberError::NotANumber, 0},
      {"2^", NumberError::NotANumber, 0},
      {"^2", NumberError::NotANumber, 0},
      {"2^3-9", NumberError::NotANumber, 0},  // negative
      {"2^3*5", NumberError::NotANumber, 0},
      {"1.", NumberError::NotANumber, 0},
      {".5e1", NumberError::NotANumber, 0},
      {"1e", NumberError::NotANumber, 0},
  };
  for (const auto& c : cases) {
    int64_t v = -1;
    EXPECT_EQ(ReadNumber(c.text, v), c.error) << c.text;
    if (c.error == NumberError::None) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  int64_t v;
  EXPECT_EQ(ReadNumber(std::string_view("1\0" "2", 3), v), NumberError::NotANumber);
}

TEST(NumberReader, DecimalAgreesWithToStringOverRandomValues) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    int64_t x = static_cast<int64_t>(rng() >> (1 + rng() % 63));
    int64_t v = -1, w = -1;
    ASSERT_EQ(ReadDecimal(std::to_string(x), v), NumberError::None);
    ASSERT_EQ(v, x);
    ASSERT_EQ(ReadNumber(std::to_string(x), w), NumberError::None);
    ASSERT_EQ(w, x);
  }
}

TEST(NumberReader, StrictDecimalForFiles) {
  int64_t v;
  EXPECT_EQ(ReadDecimal("0123", v), NumberError::None);
  EXPECT_EQ(v, 123);
  for (const char* bad : {" 1", "1 ", "1_0", "1e3", "2^4", "-1", "+1", "x"})
    EXPECT_EQ(ReadDecimal(bad, v), NumberError::NotANumber) << bad;
  EXPECT_EQ(ReadDecimal("", v), NumberError::Empty);
  EXPECT_EQ(ReadDecimal("9223372036854775808", v), NumberError::TooLarge);
}

TEST(NumberReader, Reals) {
  struct {
    const char* text;
    NumberError error;
    double value;
  } cases[] = {
      {"0.25", NumberError::None, 0.25},  {"-4", NumberError::None, -4},     {"1e-3", NumberError::None, 1e-3},
      {".5", NumberError::None, 0.5},     {"5.", NumberError::None, 5},      {"2.5E2", NumberError::None, 250},
      {"1_000.5", NumberError::None, 1000.5}, {"0.0000001", NumberError::None, 1e-7},
      {"nan", NumberError::NotANumber, 0}, {"inf", NumberError::NotANumber, 0}, {"-inf", NumberError::NotANumber, 0},
      {"0x1p3", NumberError::NotANumber, 0}, {"1e999", NumberError::TooLarge, 0}, {".", NumberError::NotANumber, 0},
      {"", NumberError::Empty, 0},        {"1.2.3", NumberError::NotANumber, 0},
  };
  for (const auto& c : cases) {
    double v = -99;
    EXPECT_EQ(ReadReal(c.text, v), c.error) << c.text;
    if (c.error == NumberError::None) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
}

TEST(NumberReader, RefusalNamesWhereTheTextCameFrom) {
  EXPECT_EQ(NumberRefusal("-osp", "abc", NumberError::NotANumber), "-osp : \"abc\" is not a number.");
  EXPECT_EQ(NumberRefusal("-kmax", "18446744073709551616", NumberError::TooLarge),
            "-kmax : \"18446744073709551616\" is too large (the largest is 9223372036854775807).");
  std::string longText(200, '7');
  EXPECT_EQ(NumberRefusal("x", longText, NumberError::TooLarge).find(std::string(65, '7')), std::string::npos);
}

}  // namespace
