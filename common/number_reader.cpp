// The one text-to-number reader: whole-text parsing of the integer forms people type for
// primes and ranges, plain decimal for files, and reals for sizes and rates.
#include "common/number_reader.h"

#include <cmath>
#include <cstdlib>

namespace {

using u128 = unsigned __int128;
constexpr u128 MAX_VALUE = static_cast<u128>(INT64_MAX);
// Above this every intermediate is already too large; keeps the 128-bit products exact.
constexpr u128 SATURATED = static_cast<u128>(1) << 100;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

u128 saturatingMul(u128 a, u128 b) {
  if (a == 0 || b == 0) return 0;
  if (a >= SATURATED || b >= SATURATED || a > SATURATED / b) return SATURATED;
  return a * b;
}

// A run of digits with '_' only between two digits. Appends the digits to `digits`;
// returns false when the run is empty or an '_' is misplaced.
bool digitRun(std::string_view& s, std::string& digits) {
  size_t i = 0;
  bool lastWasDigit = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (isDigit(c)) {
      digits.push_back(c);
      lastWasDigit = true;
    } else if (c == '_' && lastWasDigit && i + 1 < s.size() && isDigit(s[i + 1])) {
      lastWasDigit = false;
    } else {
      break;
    }
  }
  if (i == 0 || !lastWasDigit) return false;
  s.remove_prefix(i);
  return true;
}

u128 valueOfDigits(const std::string& digits) {
  u128 v = 0;
  for (char c : digits) v = saturatingMul(v, 10) + static_cast<unsigned>(c - '0');
  return v >= SATURATED ? SATURATED : v;
}

// An unsigned decimal run (with groups) as a saturated 128-bit value.
bool unsignedPart(std::string_view& s, u128& value) {
  std::string digits;
  if (!digitRun(s, digits)) return false;
  value = valueOfDigits(digits);
  return true;
}

u128 power(u128 base, u128 exponent) {
  u128 result = 1;
  for (u128 i = 0; i < exponent; ++i) {
    result = saturatingMul(result, base);
    if (result >= SATURATED) return SATURATED;
    if (result == 0 || result == 1) return result;  // 0^e and 1^e end early
  }
  return result;
}

NumberError finish(u128 v, int64_t& value) {
  if (v > MAX_VALUE) return NumberError::TooLarge;
  value = static_cast<int64_t>(v);
  return NumberError::None;
}

}  // namespace

const char* NumberErrorText(NumberError error) {
  switch (error) {
    case NumberError::None: return "is a number";
    case NumberError::Empty: return "is empty";
    case NumberError::NotANumber: return "is not a number";
    case NumberError::NotWhole: return "is not a whole number";
    case NumberError::TooLarge: return "is too large";
  }
  return "is not a number";
}

NumberError ReadDecimal(std::string_view s, int64_t& value) {
  if (s.empty()) return NumberError::Empty;
  u128 v = 0;
  for (char c : s) {
    if (!isDigit(c)) return NumberError::NotANumber;
    v = saturatingMul(v, 10) + static_cast<unsigned>(c - '0');
    if (v > MAX_VALUE) return NumberError::TooLarge;
  }
  return finish(v, value);
}

NumberError ReadNumber(std::string_view text, int64_t& value) {
  std::string_view s = trimmed(text);
  if (s.empty()) return NumberError::Empty;
  std::string mantissa;
  if (!digitRun(s, mantissa)) return NumberError::NotANumber;
  if (s.empty()) return finish(valueOfDigits(mantissa), value);

  if (s[0] == '^') {  // base^exponent, then an optional +N or -N
    s.remove_prefix(1);
    u128 exponent;
    if (!unsignedPart(s, exponent)) return NumberError::NotANumber;
    u128 v = power(valueOfDigits(mantissa), exponent);
    if (!s.empty()) {
      char sign = s[0];
      s.remove_prefix(1);
      u128 offset;
      if ((sign != '+' && sign != '-') || !unsignedPart(s, offset) || !s.empty()) return NumberError::NotANumber;
      if (sign == '+') {
        v = v >= SATURATED || offset >= SATURATED ? SATURATED : v + offset;
      } else {
        if (v >= SATURATED) return NumberError::TooLarge;
        if (offset > v) return NumberError::NotANumber;  // a negative result
        v -= offset;
      }
    }
    return finish(v, value);
  }

  // mantissa[.fraction][e exponent]
  size_t fractionDigits = 0;
  if (s[0] == '.') {
    s.remove_prefix(1);
    size_t before = mantissa.size();
    if (!digitRun(s, mantissa)) return NumberError::NotANumber;
    fractionDigits = mantissa.size() - before;
  }
  u128 exponent = 0;
  if (!s.empty() && (s[0] == 'e' || s[0] == 'E')) {
    s.remove_prefix(1);
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (!unsignedPart(s, exponent)) return NumberError::NotANumber;
  } else if (fractionDigits == 0) {
    return NumberError::NotANumber;
  }
  if (!s.empty()) return NumberError::NotANumber;
  // Trailing zeros of the fraction do not make a value fractional.
  while (fractionDigits > 0 && mantissa.back() == '0') {
    mantissa.pop_back();
    --fractionDigits;
  }
  if (exponent < fractionDigits) return NumberError::NotWhole;
  u128 v = valueOfDigits(mantissa);
  if (v == 0) return finish(0, value);
  return finish(saturatingMul(v, power(10, exponent - fractionDigits)), value);
}

NumberError ReadReal(std::string_view text, double& value) {
  std::string_view s = trimmed(text);
  if (s.empty()) return NumberError::Empty;
  std::string clean;
  if (s[0] == '+' || s[0] == '-') {
    clean.push_back(s[0]);
    s.remove_prefix(1);
  }
  // Digits before the point may be absent (".5"), but not on both sides.
  bool any = false;
  if (!s.empty() && isDigit(s[0])) {
    if (!digitRun(s, clean)) return NumberError::NotANumber;
    any = true;
  }
  if (!s.empty() && s[0] == '.') {
    clean.push_back('.');
    s.remove_prefix(1);
    if (!s.empty() && isDigit(s[0])) {
      if (!digitRun(s, clean)) return NumberError::NotANumber;
      any = true;
    }
  }
  if (!any) return NumberError::NotANumber;
  if (!s.empty() && (s[0] == 'e' || s[0] == 'E')) {
    clean.push_back('e');
    s.remove_prefix(1);
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
      clean.push_back(s[0]);
      s.remove_prefix(1);
    }
    if (!digitRun(s, clean)) return NumberError::NotANumber;
  }
  if (!s.empty()) return NumberError::NotANumber;
  double v = std::strtod(clean.c_str(), nullptr);
  if (!std::isfinite(v)) return NumberError::TooLarge;
  value = v;
  return NumberError::None;
}

std::string NumberRefusal(const std::string& where, std::string_view text, NumberError error) {
  std::string line = where + " : \"";
  line.append(text.substr(0, 64));
  if (text.size() > 64) line += "...";
  line += "\" ";
  line += NumberErrorText(error);
  if (error == NumberError::TooLarge) line += " (the largest is 9223372036854775807)";
  line += ".";
  return line;
}
