#include "number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "exception.h"
#include "platform.h"
#include "same_bits.h"

namespace messwerte {
namespace {

// The same number text with the other decimal separator.
std::string WithSeparator(std::string text, char separator) {
  for (char& c : text)
    if (c == '.') c = separator;
  return text;
}

struct Accepted {
  const char* text;  // written with '.'
  long double value;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const Accepted& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class AcceptedText : public testing::TestWithParam<std::tuple<Accepted, char>> {};

TEST_P(AcceptedText, ReadsTheCorrectlyRoundedValueWithEitherSeparator) {
  const auto& [c, separator] = GetParam();
  const std::string text = WithSeparator(c.text, separator);
  // The literal at the program's precision, x87 extended's (rounded to it from quad where long
  // double is quad; none of these lies so close to a halfway point that this rounds twice).
  const long double expected = platform::ExtendedFromWider(c.value);
  const ParseResult result = ParseNumber(text, separator);
  ASSERT_EQ(result.status, ParseStatus::kOk) << text;
  EXPECT_EQ(result.value, expected) << text;
  EXPECT_EQ(std::signbit(result.value), std::signbit(c.value)) << text;
  EXPECT_EQ(StrToFloat(text, separator), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Plain, AcceptedText,
    testing::Combine(testing::Values(Accepted{"0", 0.0L}, Accepted{"-0", -0.0L},
                                     Accepted{"1.5", 1.5L}, Accepted{"-2.25", -2.25L},
                                     Accepted{"+5", 5.0L}, Accepted{"5.", 5.0L},
                                     Accepted{".5", 0.5L}, Accepted{"-.5", -0.5L},
                                     Accepted{"0.1", 0.1L}, Accepted{"123.4567", 123.4567L},
                                     Accepted{"007.50", 7.5L}, Accepted{"0.000001", 1e-6L}),
                     testing::Values('.', ',')));

INSTANTIATE_TEST_SUITE_P(
    BlanksAndExponents, AcceptedText,
    testing::Combine(testing::Values(Accepted{"  1.5", 1.5L}, Accepted{"1.5\t ", 1.5L},
                                     Accepted{"\t-3 ", -3.0L}, Accepted{"1e3", 1e3L},
                                     Accepted{"1E3", 1e3L}, Accepted{"2.5e-3", 2.5e-3L},
                                     Accepted{"-4E+2", -4e2L}, Accepted{"1e0000000003", 1e3L},
                                     Accepted{"0e999999999999", 0.0L}),
                     testing::Values('.', ',')));

// Beyond the exact fast range: many digits, large exponents, extremes of extended precision.
INSTANTIATE_TEST_SUITE_P(
    LongAndExtreme, AcceptedText,
    testing::Combine(
        testing::Values(Accepted{"0.1000000000000000000000001", 0.1000000000000000000000001L},
                        Accepted{"12345678901234567890123", 12345678901234567890123.0L},
                        Accepted{"9999999999999999999", 9999999999999999999.0L},
                        Accepted{"18446744073709551617", 18446744073709551617.0L},
                        Accepted{"1e28", 1e28L}, Accepted{"1e-28", 1e-28L},
                        Accepted{"3.4028236e38", 3.4028236e38L}, Accepted{"1e-50", 1e-50L},
                        Accepted{"1e4000", 1e4000L}, Accepted{"1e-4940", 1e-4940L},
                        Accepted{"1e-5000", 0.0L}),
        testing::Values('.', ',')));

struct Rejected {
  const char* text;
  char separator;
  ParseStatus status;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const Rejected& c, std::ostream* os) { *os << '"' << c.text << "\" with '" << c.separator << "'"; }
};

class RejectedText : public testing::TestWithParam<Rejected> {};

TEST_P(RejectedText, IsRefusedWithAQuotingMessage) {
  const Rejected& c = GetParam();
  EXPECT_EQ(ParseNumber(c.text, c.separator).status, c.status) << c.text;
  try {
    StrToFloat(c.text, c.separator);
    ADD_FAILURE() << "accepted '" << c.text << "'";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind("'", 0), 0u) << e.what();
    EXPECT_EQ(e.line(), -1);
  }
}

constexpr auto kNaN = ParseStatus::kNotANumber;
INSTANTIATE_TEST_SUITE_P(NotNumbers, RejectedText,
                         testing::Values(Rejected{"", '.', kNaN}, Rejected{" ", '.', kNaN},
                                         Rejected{"\t", ',', kNaN}, Rejected{"+", '.', kNaN},
                                         Rejected{"-", ',', kNaN}, Rejected{".", '.', kNaN},
                                         Rejected{",", ',', kNaN}, Rejected{"1e", '.', kNaN},
                                         Rejected{"1e+", '.', kNaN}, Rejected{"e5", '.', kNaN},
                                         Rejected{"inf", '.', kNaN}, Rejected{"nan", '.', kNaN},
                                         Rejected{"infinity", ',', kNaN},
                                         Rejected{"0x10", '.', kNaN}, Rejected{"1,5", '.', kNaN},
                                         Rejected{"1.5", ',', kNaN}, Rejected{"1.000,5", ',', kNaN},
                                         Rejected{"1 000", '.', kNaN}, Rejected{"--1", '.', kNaN},
                                         Rejected{"1.2.3", '.', kNaN}, Rejected{"1\r", '.', kNaN},
                                         Rejected{"1\n", '.', kNaN}, Rejected{"１", '.', kNaN},
                                         Rejected{"12a", '.', kNaN}, Rejected{"- 1", '.', kNaN}));

INSTANTIATE_TEST_SUITE_P(BeyondExtended, RejectedText,
                         testing::Values(Rejected{"1e5000", '.', ParseStatus::kOutOfRange},
                                         Rejected{"-1e99999999999", ',',
                                                  ParseStatus::kOutOfRange}));

struct Shown {
  float value;
  const char* text;  // written with '.'
  // Names the row in a failure and in the test list.
  friend void PrintTo(const Shown& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class FloatText : public testing::TestWithParam<std::tuple<Shown, char>> {};

TEST_P(FloatText, ShowsTheStoredSingleToFifteenDigits) {
  const auto& [c, separator] = GetParam();
  EXPECT_EQ(FloatToStr(c.value, separator), WithSeparator(c.text, separator));
}

INSTANTIATE_TEST_SUITE_P(
    GeneralFormat, FloatText,
    testing::Combine(
        testing::Values(Shown{0.0f, "0"}, Shown{-0.0f, "0"}, Shown{0.5f, "0.5"}, Shown{2.0f, "2"},
                        Shown{-1.5f, "-1.5"}, Shown{0.1f, "0.100000001490116"},
                        Shown{1e38f, "9.99999968028569E37"}, Shown{-1e38f, "-9.99999968028569E37"},
                        Shown{2e38f, "1.99999993605714E38"}, Shown{1e14f, "100000000376832"},
                        Shown{1e15f, "999999986991104"}, Shown{1e16f, "1.00000002725642E16"},
                        Shown{8388608.0f, "8388608"}, Shown{0.0001f, "0.0000999999974737875"},
                        Shown{1e-5f, "9.99999974737875E-6"},
                        Shown{FLT_TRUE_MIN, "1.40129846432482E-45"},
                        Shown{FLT_MAX, "3.40282346638529E38"}),
        testing::Values('.', ',')));

TEST(FloatToStr, RefusesInfinityAndNaN) {
  EXPECT_THROW(FloatToStr(std::numeric_limits<float>::infinity(), '.'), Exception);
  EXPECT_THROW(FloatToStr(std::numeric_limits<float>::quiet_NaN(), '.'), Exception);
}

TEST(IntToStr, WritesDecimalWithMinus) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(1000000), "1000000");
  EXPECT_EQ(IntToStr(INT32_MIN), "-2147483648");
}

TEST(QuoteForMessage, ShowsControlCharactersAndShortensLongTexts) {
  EXPECT_EQ(QuoteForMessage("a\tb"), "'a\u2409b'");
  EXPECT_EQ(QuoteForMessage(std::string("x\0y", 3)), "'x\u2400y'");
  EXPECT_EQ(QuoteForMessage(""), "''");
  const std::string shown = QuoteForMessage(std::string(100000, '7'));
  EXPECT_LT(shown.size(), 80u);
  EXPECT_NE(shown.find("…"), std::string::npos);
  // Never cut inside a multi-byte character.
  std::string umlauts;
  for (int i = 0; i < 50; ++i) umlauts += "ä";
  const std::string quoted = QuoteForMessage(umlauts);
  EXPECT_EQ(quoted.substr(1, 60), umlauts.substr(0, 60));
}

// The text in a heap block of exactly its size: a read beyond it fails the sanitizer build.
// The reading of runs of plain numbers takes a text or leaves it, but never reads it otherwise.
ParseResult ParseAlone(const std::string& text, char separator) {
  const auto block = std::make_unique<char[]>(text.size());
  std::memcpy(block.get(), text.data(), text.size());
  const std::string_view alone(block.get(), text.size());
  const ParseResult result = ParseNumber(alone, separator);
  long double plain = 0;
  if (ParsePlainNumbers({&alone, 1}, separator, &plain) == 1) {
    EXPECT_EQ(result.status, ParseStatus::kOk) << text;
    EXPECT_TRUE(SameBits(plain, result.value)) << text;
  }
  return result;
}

// The C library's value at the program's precision, x87 extended's.
long double CLibrary(const std::string& text_with_point) {
  return platform::ReadExtendedDecimal(text_with_point).value;
}

// Numbers of every length around the sixteen bytes that short texts are read in, with the
// separator at every place and without one, signed and not: the same bits as the C library.
TEST(ParseNumber, AgreesWithTheCLibraryAtEveryLengthAndSeparatorPlace) {
  std::mt19937 random(7);
  for (int digits = 1; digits <= 20; ++digits) {
    for (int point = -1; point <= digits; ++point) {
      for (const char* sign : {"", "-", "+"}) {
        for (int round = 0; round < 4; ++round) {
          std::string text = sign;
          for (int d = 0; d < digits; ++d) {
            if (d == point) text += '.';
            // Round 0 all zeros, round 1 all nines, then random digits.
            text += round == 0 ? '0' : round == 1 ? '9' : static_cast<char>('0' + random() % 10);
          }
          if (point == digits) text += '.';
          const long double expected = CLibrary(text);
          for (char separator : {'.', ','}) {
            const std::string ours = WithSeparator(text, separator);
            const ParseResult result = ParseAlone(ours, separator);
            ASSERT_EQ(result.status, ParseStatus::kOk) << ours;
            ASSERT_TRUE(SameBits(result.value, expected)) << ours;
            ASSERT_TRUE(SameBits(StrToFloat(ours, separator), expected)) << ours;
          }
        }
      }
    }
  }
}

// One wrong byte at every place of a number of every length, among them the bytes right
// before '0' and after '9', the other separator, a second separator, a sign or a blank inside,
// NUL and the start of an UTF-8 sequence: never a number.
TEST(ParseNumber, RefusesAWrongByteAtEveryPlace) {
  const std::vector<char> wrong = {'/', ':', 'x', '\0', '\xC3', ',', '.', '-', '+', ' ', '\t'};
  for (std::size_t length = 2; length <= 18; ++length) {
    std::string number(length, '7');
    number[length / 2] = '.';
    for (std::size_t place = 0; place < length; ++place) {
      for (const char c : wrong) {
        const bool edge = place == 0 || place == length - 1;
        // Blanks at either end and a leading sign belong to the grammar; a separator at the
        // middle one's place changes nothing.
        if ((c == ' ' || c == '\t') && edge) continue;
        if ((c == '-' || c == '+') && place == 0) continue;
        if (c == '.' && place == length / 2) continue;
        std::string text = number;
        text[place] = c;
        EXPECT_EQ(ParseAlone(text, '.').status, ParseStatus::kNotANumber)
            << "byte " << static_cast<int>(static_cast<unsigned char>(c)) << " at " << place
            << " in " << QuoteForMessage(text);
      }
    }
  }
}

// Every finite single survives being shown and read back, whichever separator.
TEST(FloatTextRoundTrip, EveryClassOfSingleComesBackBitExact) {
  std::mt19937 random(20261207);
  std::vector<std::uint32_t> patterns = {0x00000000, 0x80000000, 0x00000001, 0x807FFFFF,
                                         0x00800000, 0x7F7FFFFF, 0xFF7FFFFF, 0x3F800000};
  for (std::uint32_t exponent = 0; exponent < 255; ++exponent)
    for (int i = 0; i < 400; ++i) patterns.push_back((random() & 0x807FFFFFu) | (exponent << 23));
  for (std::uint32_t bits : patterns) {
    const float value = std::bit_cast<float>(bits);
    for (char separator : {'.', ','}) {
      const std::string text = FloatToStr(value, separator);
      const float back = static_cast<float>(StrToFloat(text, separator));
      ASSERT_EQ(back, value) << std::hex << bits << " shown as " << text;
      if (value != 0) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(back), bits) << text;
      }
    }
  }
}

}  // namespace
}  // namespace messwerte
