// Small text-to-number helpers over the number reader.
#include "common/text_numbers.h"

#include "common/number_reader.h"

int64_t _atoi64(const char* text) {
  int64_t value = 0;
  ReadNumber(text, value);  // callers check the text first; a refused one reads as 0
  return value;
}

bool isDigitString(const std::string& text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

bool isDigitStringorExpression(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '*') {
      if (i + 1 == text.size() || text[i + 1] == '*') return false;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return true;
}
