#include "number_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "blocks16.h"
#include "exception.h"
#include "platform.h"

namespace messwerte {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Powers of ten that extended precision holds exactly: 10^27 = 2^27 * 5^27 and 5^27 < 2^64.
constexpr int kMaxExactPow10 = 27;
constexpr int kMaxMantissaDigits = 19;  // 10^19 - 1 < 2^64

constexpr long double kPow10[kMaxExactPow10 + 1] = {
    1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
    1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L,
    1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};

// The program's arithmetic is x87 extended's: a number text is read as the text rounded once to
// a 64-bit significand. Where long double is wider, the platform layer rounds to that; on x87
// (and where long double is double) one operation is that rounding already.
constexpr bool kWiderThanExtended = std::numeric_limits<long double>::digits > 64;

[[gnu::always_inline]] inline long double Quotient(long double dividend, long double divisor) {
  if constexpr (kWiderThanExtended)
    return platform::ExtendedQuotient(dividend, divisor);
  else
    return dividend / divisor;
}

[[gnu::always_inline]] inline long double Product(long double factor, long double other) {
  if constexpr (kWiderThanExtended)
    return platform::ExtendedProduct(factor, other);
  else
    return factor * other;
}

// The numbers of a measurement file: [sign] then 4 to 16 bytes of digits with at most one
// separator among them, nothing else, not even blanks. True with `value` for those; false for
// all other texts, which the general reading decides.
[[gnu::always_inline]] inline bool ParseShort(std::string_view text, char separator,
                                              long double& value) {
  bool negative;
  std::uint64_t mantissa;
  unsigned fraction_digits;
  if (!blocks16::ShortNumber(text.data(), text.size(), separator, negative, mantissa,
                             fraction_digits))
    return false;
  if (mantissa == 0) {
    value = negative ? -0.0L : 0.0L;
    return true;
  }
  // At most 16 digits: exact as a signed integer, and rounding is symmetric in the sign. One
  // division of exact operands rounds once, correctly.
  const std::int64_t flip = -static_cast<std::int64_t>(negative);
  const auto m = static_cast<std::int64_t>(mantissa);
  value = Quotient(static_cast<long double>((m ^ flip) - flip), kPow10[fraction_digits]);
  return true;
}

// The text between blanks, already checked against the number grammar, handed to the C library
// with the separator mapped to '.'. Correctly rounded by the C library, to extended precision
// where long double is wider.
ParseResult ParseSlow(std::string_view number, char separator) {
  std::string c_text(number);
  for (char& c : c_text)
    if (c == separator) c = '.';
  const long double value = kWiderThanExtended ? platform::ReadExtendedDecimal(c_text).value
                                               : platform::ReadDecimal(c_text).value;
  if (std::isinf(value)) return {ParseStatus::kOutOfRange, 0};
  return {ParseStatus::kOk, value};
}

// Any text, by the grammar of ParseNumber. Inlined into both callers below, so that the value
// stays in a register: an extended value stored and loaded again costs more than the parsing.
[[gnu::always_inline]] inline ParseResult Parse(std::string_view text, char separator) {
  constexpr ParseResult kNotANumber{ParseStatus::kNotANumber, 0};
  std::size_t i = 0;
  std::size_t end = text.size();
  while (i < end && IsBlank(text[i])) ++i;
  while (end > i && IsBlank(text[end - 1])) --end;
  const std::string_view number = text.substr(i, end - i);

  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  // Digits with at most one separator between them, gathered in one pass; that is exact for up
  // to 19 digits in all. `scale` is the power of ten to apply to the mantissa.
  const std::size_t digits_begin = i;
  std::size_t separator_at = std::string_view::npos;
  std::uint64_t mantissa = 0;
  for (; i < end; ++i) {
    const unsigned digit = static_cast<unsigned char>(text[i]) - unsigned{'0'};
    if (digit < 10) {
      mantissa = mantissa * 10 + digit;
    } else if (text[i] == separator && separator_at == std::string_view::npos) {
      separator_at = i;
    } else {
      break;
    }
  }
  const bool has_separator = separator_at != std::string_view::npos;
  const std::size_t digit_count = i - digits_begin - (has_separator ? 1 : 0);
  if (digit_count == 0) return kNotANumber;
  long long scale = has_separator ? -static_cast<long long>(i - separator_at - 1) : 0;
  bool inexact = false;
  if (digit_count > kMaxMantissaDigits) {
    // Again, keeping the first 19 significant digits; leading zeros are not significant.
    mantissa = 0;
    scale = 0;
    int mantissa_digits = 0;
    for (std::size_t j = digits_begin; j < i; ++j) {
      if (j == separator_at) continue;
      const bool fraction = j > separator_at;
      if (mantissa_digits == 0 && text[j] == '0') {
        if (fraction) --scale;
      } else if (mantissa_digits < kMaxMantissaDigits) {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(text[j] - '0');
        ++mantissa_digits;
        if (fraction) --scale;
      } else {
        if (!fraction) ++scale;
        inexact |= text[j] != '0';
      }
    }
  }

  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative_exponent = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative_exponent = text[i++] == '-';
    if (i == end || !IsDigit(text[i])) return kNotANumber;
    long long exponent = 0;
    for (; i < end && IsDigit(text[i]); ++i)
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
    scale += negative_exponent ? -exponent : exponent;
  }
  if (i != end) return kNotANumber;

  if (mantissa == 0) return {ParseStatus::kOk, negative ? -0.0L : 0.0L};
  // Both operands exact, so one multiplication or division rounds once, correctly.
  if (!inexact && scale >= -kMaxExactPow10 && scale <= kMaxExactPow10) {
    const long double m = static_cast<long double>(mantissa);
    const long double value = scale >= 0 ? Product(m, kPow10[scale]) : Quotient(m, kPow10[-scale]);
    return {ParseStatus::kOk, negative ? -value : value};
  }
  return ParseSlow(number, separator);
}

// Out of line: the short numbers stay a small function without saved registers.
[[gnu::noinline]] ParseResult ParseGeneral(std::string_view text, char separator) {
  return Parse(text, separator);
}

[[gnu::noinline]] long double StrToFloatGeneral(std::string_view text, char separator) {
  const ParseResult result = Parse(text, separator);
  switch (result.status) {
    case ParseStatus::kOk:
      return result.value;
    case ParseStatus::kOutOfRange:
      throw Exception(QuoteForMessage(text) + " liegt außerhalb des Wertebereichs.");
    case ParseStatus::kNotANumber:
      break;
  }
  throw Exception(QuoteForMessage(text) + " ist kein gültiger Gleitkommawert.");
}

}  // namespace

ParseResult ParseNumber(std::string_view text, char separator) {
  long double value;
  if (ParseShort(text, separator, value)) return {ParseStatus::kOk, value};
  return ParseGeneral(text, separator);
}

std::size_t ParsePlainNumbers(std::span<const std::string_view> texts, char separator,
                              long double* values) {
  std::size_t n = 0;
  while (n < texts.size() && ParseShort(texts[n], separator, values[n])) ++n;
  return n;
}

long double StrToFloat(std::string_view text, char separator) {
  long double value;
  if (ParseShort(text, separator, value)) return value;
  return StrToFloatGeneral(text, separator);
}

std::string IntToStr(std::int32_t value) { return std::to_string(value); }

std::string FloatToStr(long double value, char separator) {
  if (!std::isfinite(value)) throw Exception("Das Ergebnis liegt außerhalb des Wertebereichs.");
  if (value == 0) return "0";

  // d.dddddddddddddde±x: 15 significant digits, correctly rounded.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14Le", value);
  const std::string_view formatted = buffer;
  const bool negative = formatted[0] == '-';
  const std::size_t first = negative ? 1 : 0;
  std::string digits;
  digits += formatted[first];
  const std::size_t e_pos = formatted.find('e');
  digits += formatted.substr(first + 2, e_pos - first - 2);
  const int exponent = std::atoi(buffer + e_pos + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  const int count = static_cast<int>(digits.size());
  if (exponent >= 15 || exponent < -5) {
    out += digits[0];
    if (count > 1) (out += separator).append(digits, 1);
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent >= 0) {
    const int integer_digits = exponent + 1;
    if (count <= integer_digits) {
      out += digits;
      out.append(static_cast<std::size_t>(integer_digits - count), '0');
    } else {
      out.append(digits, 0, static_cast<std::size_t>(integer_digits));
      (out += separator).append(digits, static_cast<std::size_t>(integer_digits));
    }
  } else {
    (out += '0') += separator;
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  }
  return out;
}

std::string QuoteForMessage(std::string_view text) {
  constexpr std::size_t kShownBytes = 60;
  std::string quoted = "'";
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // Stop on a character boundary, never inside a UTF-8 sequence.
    if (i >= kShownBytes && (byte & 0xC0) != 0x80) break;
    if (byte < 0x20) {
      // Control Pictures: U+2400 + byte, e.g. a tab shows as U+2409.
      quoted += "\xE2\x90";
      quoted += static_cast<char>(0x80 + byte);
    } else if (byte == 0x7F) {
      quoted += "\xE2\x90\xA1";
    } else {
      quoted += static_cast<char>(byte);
    }
  }
  if (i < text.size()) quoted += "…";
  return quoted + "'";
}

}  // namespace messwerte
