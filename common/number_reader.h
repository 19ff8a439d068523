// The one text-to-number reader of the program: options, prompts, the settings file and the
// sieve-file reader all turn text into numbers here, so each accepts the same forms and
// refuses the same mistakes with a reason that the caller puts beside the option or question.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Why a text was refused; None when it was read.
enum class NumberError { None, Empty, NotANumber, NotWhole, TooLarge };

// The reason in a few words ("is not a number", "is too large", ...), for messages.
const char* NumberErrorText(NumberError error);

// Reads the whole text as a non-negative 64-bit integer. Accepted forms, with optional blanks
// around them and '_' between digits as a group separator:
//   1000, 0100 (decimal: a leading 0 does not mean octal), 1_000_000,
//   1e9, 2.5e12 (a decimal mantissa and exponent whose value is whole),
//   2^40, 2^40-1, 10^9+7 (a power, optionally plus or minus a decimal number).
// Anything else (signs, letters, "nan", a fraction, a value above 2^63-1) is refused.
NumberError ReadNumber(std::string_view text, int64_t& value);

// Plain decimal digits only, as the sieve file writes them (no blanks, no groups, no forms):
// the strict reading for files the program wrote itself.
NumberError ReadDecimal(std::string_view text, int64_t& value);

// A real number for sizes and rates: an optional sign, digits with an optional fraction and an
// optional exponent (0.25, 1e-3, 2.5E2), '_' allowed between digits. "nan", "inf" and hex
// forms are refused; a result that is not finite is refused as too large.
NumberError ReadReal(std::string_view text, double& value);

// One line for a refused value: `<where> : "<text>" <reason>.` where `where` names the option
// or the question the text was given for.
std::string NumberRefusal(const std::string& where, std::string_view text, NumberError error);
