#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace messwerte {

enum class ParseStatus { kOk, kNotANumber, kOutOfRange };

struct ParseResult {
  ParseStatus status;
  long double value;  // meaningful only with kOk
};

// Reads `text` as [blanks][sign]digits[separator digits][(E|e)[sign]digits][blanks], where the
// digits may also stand only after the separator and blanks are spaces and tabs. The value is
// correctly rounded to extended precision; kOutOfRange when it exceeds extended's range. Long texts
// (more than 19 digits, or a large exponent) are copied for the C library to read, so that reading
// can throw std::bad_alloc; nothing else throws.
ParseResult ParseNumber(std::string_view text, char separator);

// Reads the texts from the first on, as long as each is a plain number (a sign, then at most 16
// digits with at most one separator among them, nothing else), into `values`, as ParseNumber
// reads them; returns how many it read. Such a number is exact to read and within single
// precision's range: a file's usual lines go this way without a call each.
std::size_t ParsePlainNumbers(std::span<const std::string_view> texts, char separator,
                              long double* values);

// ParseNumber that throws Exception for anything but kOk; the message quotes the text.
long double StrToFloat(std::string_view text, char separator);

std::string IntToStr(std::int32_t value);

// General format: at most 15 significant digits, no trailing zeros, plain notation from 1E-5 up
// to 15 integer digits, else d.dddE[-]x. Zero is "0" (either sign). Throws for inf and NaN.
std::string FloatToStr(long double value, char separator);

// `text` in single quotes, shortened and with control characters made visible, for messages.
std::string QuoteForMessage(std::string_view text);

}  // namespace messwerte
