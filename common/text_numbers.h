// Small text-to-number helpers over the number reader, for the dialogue and the services.
#pragma once
#include <cstdint>
#include <string>

// The number reader's value of the text, or 0 when it refuses the text (callers check the
// text first).
int64_t _atoi64(const char* text);
inline int64_t _atoi64(const std::string& text) { return _atoi64(text.c_str()); }

// True when every character is a decimal digit (the empty text included).
bool isDigitString(const std::string& text);
// True when every character is a digit or '*' and no '*' is followed by '*' or the end.
bool isDigitStringorExpression(const std::string& text);
