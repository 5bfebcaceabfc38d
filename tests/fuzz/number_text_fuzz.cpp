// libFuzzer target for the number texts. For any bytes, under either separator, ParseNumber
// rejects them or gives exactly what the C library's strtold in the C locale gives for the same
// text with the separator written as '.'; a text that strtold reads whole and that holds nothing
// but digits, signs, exponent letters and the separator must not be rejected as no number. Any four
// bytes taken as a float print with FloatToStr and read back to the same float; NaN and infinities
// are refused.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "exception.h"
#include "number_text.h"
#include "platform.h"
#include "same_bits.h"

namespace {

using messwerte::SameBits;

[[noreturn]] void Fail(const char* what, std::string_view text, char separator) {
  std::fprintf(stderr, "%s: separator '%c', text (%zu bytes):", what, separator, text.size());
  for (const char c : text) std::fprintf(stderr, " %02x", static_cast<unsigned char>(c));
  std::fprintf(stderr, "\n");
  std::abort();
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void CheckParse(std::string_view text, char separator) {
  const messwerte::ParseResult ours = messwerte::ParseNumber(text, separator);

  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::string c_text(text.substr(begin, end - begin));
  bool number_characters = true;
  for (char& c : c_text) {
    const bool digit = c >= '0' && c <= '9';
    if (!digit && c != '+' && c != '-' && c != 'e' && c != 'E' && c != separator)
      number_characters = false;
    if (c == separator) c = '.';
  }
  // At extended precision, the program's, also where long double is wider.
  const messwerte::platform::Decimal c_library = messwerte::platform::ReadExtendedDecimal(c_text);
  const long double theirs = c_library.value;
  const bool read_whole = !c_text.empty() && c_library.used == c_text.size();

  switch (ours.status) {
    case messwerte::ParseStatus::kOk:
      if (!read_whole) Fail("accepted what strtold does not read whole", text, separator);
      if (!SameBits(ours.value, theirs)) Fail("value differs from strtold", text, separator);
      break;
    case messwerte::ParseStatus::kOutOfRange:
      if (!read_whole || !std::isinf(theirs))
        Fail("out of range, but not for strtold", text, separator);
      break;
    case messwerte::ParseStatus::kNotANumber:
      if (read_whole && number_characters) Fail("rejected a number", text, separator);
      break;
  }
}

void CheckRoundTrip(const std::uint8_t* bytes, char separator) {
  float value;
  std::memcpy(&value, bytes, sizeof value);
  std::string text;
  try {
    text = messwerte::FloatToStr(value, separator);
  } catch (const messwerte::Exception& error) {
    if (std::isfinite(value)) Fail("FloatToStr refused a finite value", {}, separator);
    if (std::strlen(error.what()) == 0) Fail("FloatToStr refused without a message", {}, separator);
    return;
  }
  if (!std::isfinite(value)) Fail("FloatToStr printed NaN or an infinity", text, separator);
  const messwerte::ParseResult back = messwerte::ParseNumber(text, separator);
  if (back.status != messwerte::ParseStatus::kOk)
    Fail("FloatToStr text not read back", text, separator);
  const float again = static_cast<float>(back.value);
  // Zero prints as "0" whatever its sign.
  const float expected = value == 0 ? 0.0f : value;
  if (std::memcmp(&again, &expected, sizeof again) != 0) Fail("no round trip", text, separator);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckParse(text, '.');
  CheckParse(text, ',');
  if (size >= 4) {
    CheckRoundTrip(data, '.');
    CheckRoundTrip(data, ',');
  }
  return 0;
}
