// What differs between systems: the C library's number reading, aligned memory, the layout of
// long double, and how a number text becomes single precision through long double.

#include "platform.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "fake_window.h"
#include "number_text.h"
#include "same_bits.h"

namespace messwerte {
namespace {

struct Reading {
  const char* text;
  long double value;
  std::size_t used;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const Reading& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class ReadDecimal : public testing::TestWithParam<Reading> {};

TEST_P(ReadDecimal, ReadsTheLongestNumberWithAPoint) {
  const Reading& reading = GetParam();
  const platform::Decimal read = platform::ReadDecimal(reading.text);
  EXPECT_EQ(read.used, reading.used) << reading.text;
  if (reading.used != 0) {
    EXPECT_TRUE(SameBits(read.value, reading.value)) << reading.text;
  }
}

constexpr long double kInfinity = std::numeric_limits<long double>::infinity();

INSTANTIATE_TEST_SUITE_P(CLocale, ReadDecimal,
                         testing::Values(Reading{"1.5", 1.5L, 3}, Reading{"-0.25e2x", -25.0L, 7},
                                         Reading{"+.5", 0.5L, 3}, Reading{"7.", 7.0L, 2},
                                         Reading{"1,5", 1.0L, 1}, Reading{"-0", -0.0L, 2},
                                         Reading{"1e99999", kInfinity, 7},
                                         Reading{"-1e99999", -kInfinity, 8}, Reading{"abc", 0, 0},
                                         Reading{"", 0, 0}, Reading{"2e", 2.0L, 1},
                                         Reading{"3.25 4", 3.25L, 4}));

// Under a locale with a decimal comma the reading still takes the point, and stops at a comma.
TEST(ReadDecimalInAGermanLocale, StillReadsThePoint) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  const char* german = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252", "de-DE"})
    if (std::setlocale(LC_ALL, name)) {
      german = name;
      break;
    }
  if (!german) GTEST_SKIP() << "no German locale on this system";
  const platform::Decimal point = platform::ReadDecimal("1.5");
  const platform::Decimal comma = platform::ReadDecimal("1,5");
  const platform::Decimal long_text = platform::ReadDecimal("0.1000000000000000000000000001");
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_EQ(point.value, 1.5L) << german;
  EXPECT_EQ(point.used, 3u) << german;
  EXPECT_EQ(comma.value, 1.0L) << german;
  EXPECT_EQ(comma.used, 1u) << german;
  EXPECT_EQ(long_text.used, 30u) << german;
  EXPECT_TRUE(
      SameBits(long_text.value, platform::ReadDecimal("0.1000000000000000000000000001").value));
}

struct Block {
  std::size_t bytes;
  std::size_t alignment;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const Block& c, std::ostream* os) { *os << c.bytes << " bytes at " << c.alignment; }
};

class AllocateAligned : public testing::TestWithParam<Block> {};

TEST_P(AllocateAligned, GivesAWritableBlockOnTheAlignment) {
  const Block& block = GetParam();
  auto* bytes =
      static_cast<unsigned char*>(platform::AllocateAligned(block.bytes, block.alignment));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bytes) % block.alignment, 0u);
  bytes[0] = 1;
  bytes[block.bytes - 1] = 2;
  platform::AdviseHugePages(bytes, block.bytes);
  EXPECT_EQ(bytes[0] + bytes[block.bytes - 1], 3);
  platform::FreeAligned(bytes, block.alignment);
}

// Among them the kept values' chunk of 2^17 values, 1.5 MiB where long double has 12 bytes, on
// a huge page.
INSTANTIATE_TEST_SUITE_P(PowersOfTwo, AllocateAligned,
                         testing::Values(Block{2, 16}, Block{100, 64}, Block{4096, 4096},
                                         Block{(std::size_t{1} << 17) * 12, std::size_t{1} << 21},
                                         Block{(std::size_t{1} << 17) * sizeof(long double),
                                               std::size_t{1} << 21},
                                         Block{std::size_t{1} << 22, std::size_t{1} << 21}));

TEST(LongDoubleBytes, AreThoseOfTheFormat) {
  switch (std::numeric_limits<long double>::digits) {
    case 64:  // x87 extended: sign, 15 exponent bits, 64 significand bits with the leading one
      EXPECT_EQ(kLongDoubleBytes, 10u);
      break;
    case 113:  // IEEE quad
      EXPECT_EQ(kLongDoubleBytes, 16u);
      break;
    case 53:  // double
      EXPECT_EQ(kLongDoubleBytes, 8u);
      break;
    default:
      GTEST_SKIP() << "long double with " << std::numeric_limits<long double>::digits << " digits";
  }
}

struct TwoValues {
  long double a, b;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const TwoValues& c, std::ostream* os) { *os << std::hexfloat << c.a << " and " << c.b << std::defaultfloat; }
};

class DifferentValues : public testing::TestWithParam<TwoValues> {};

TEST_P(DifferentValues, DoNotHaveTheSameBits) {
  const auto [a, b] = GetParam();
  EXPECT_FALSE(SameBits(a, b)) << static_cast<double>(a) << " " << static_cast<double>(b);
  EXPECT_FALSE(SameBits(b, a));
  EXPECT_TRUE(SameBits(a, a));
}

// The sign, the exponent, the lowest significand bit, a subnormal.
INSTANTIATE_TEST_SUITE_P(
    EveryPartOfTheFormat, DifferentValues,
    testing::Values(TwoValues{1.0L, -1.0L}, TwoValues{1.0L, 2.0L}, TwoValues{0.0L, -0.0L},
                    TwoValues{1.0L, std::nextafter(1.0L, 2.0L)},
                    TwoValues{std::numeric_limits<long double>::denorm_min(), 0.0L},
                    TwoValues{std::numeric_limits<long double>::max(),
                              std::numeric_limits<long double>::infinity()}));

TEST(SameBits, IgnoreThePadding) {
  long double a, b;
  std::memset(&a, 0xAA, sizeof a);
  std::memset(&b, 0x55, sizeof b);
  const long double value = 0.1L;
  std::memcpy(&a, &value, kLongDoubleBytes);
  std::memcpy(&b, &value, kLongDoubleBytes);
  EXPECT_TRUE(SameBits(a, b));
}

// A text next to the midpoint between two singles. The operations read it into long double,
// then store it as single. x87 extended rounds such a text onto the midpoint, and the second
// rounding goes to the even single. Where long double is quad, the text is read as x87 reads it
// (rounded once to a 64-bit significand), so the single is the same; the single nearest to the
// text would be another one. The shortest such texts have 14 significant digits.
struct TwoRoundings {
  const char* text;
  std::uint32_t x87;      // the single through x87 extended, on every system
  std::uint32_t nearest;  // the single nearest to the text
  // Names the row in a failure and in the test list.
  friend void PrintTo(const TwoRoundings& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class SingleThroughLongDouble : public testing::TestWithParam<TwoRoundings> {};

TEST_P(SingleThroughLongDouble, IsTheSingleThroughX87Extended) {
  const TwoRoundings& texts = GetParam();
  if (std::numeric_limits<long double>::digits < 64)
    GTEST_SKIP() << "long double with " << std::numeric_limits<long double>::digits << " digits";
  ASSERT_NE(texts.x87, texts.nearest);
  for (const char separator : {'.', ','}) {
    std::string text = texts.text;
    for (char& c : text)
      if (c == '.') c = separator;
    const ParseResult read = ParseNumber(text, separator);
    ASSERT_EQ(read.status, ParseStatus::kOk) << text;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(read.value)), texts.x87) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    NearAMidpoint, SingleThroughLongDouble,
    testing::Values(TwoRoundings{"2.4295719780956e-39", 0x001a74a8, 0x001a74a9},
                    TwoRoundings{"1.73127707967069e-04", 0x3935899e, 0x3935899d},
                    TwoRoundings{"0.000173127707967069", 0x3935899e, 0x3935899d},
                    TwoRoundings{"6.065451689084983e-13", 0x2b2aba30, 0x2b2aba2f},
                    TwoRoundings{"7.9744332282414735e+29", 0x71210ada, 0x71210adb},
                    TwoRoundings{"8.10055111254727136e-22", 0x1c74d2fa, 0x1c74d2fb},
                    TwoRoundings{"9.249947491041807593e-15", 0x2826a1da, 0x2826a1db},
                    TwoRoundings{"1.0000000596046447754", 0x3f800000, 0x3f800001}));

// Rounding a quad to x87 extended's grid, on its bit pattern (so it runs on every system).
// 1 + 2^-63 is the extended value after 1; 1 + 2^-64 lies halfway between the two.
constexpr std::uint64_t kOne = std::uint64_t{0x3FFF} << 48;
constexpr std::uint64_t kNegative = std::uint64_t{1} << 63;
constexpr std::uint64_t kKeptUnit = std::uint64_t{1} << 49;  // 2^-63 at 1
constexpr std::uint64_t kHalf = std::uint64_t{1} << 48;
constexpr std::uint64_t kQuadUnit = 1;  // 2^-112 at 1

struct QuadRounding {
  const char* what;
  platform::QuadBits bits;
  int side;
  platform::QuadBits expected;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const QuadRounding& c, std::ostream* os) { *os << c.what; }
};

class RoundQuadToExtended : public testing::TestWithParam<QuadRounding> {};

TEST_P(RoundQuadToExtended, KeepsTheNearestExtendedValue) {
  const QuadRounding& rounding = GetParam();
  const platform::QuadBits rounded = platform::RoundQuadToExtended(rounding.bits, rounding.side);
  EXPECT_EQ(rounded.high, rounding.expected.high) << rounding.what;
  EXPECT_EQ(rounded.low, rounding.expected.low) << rounding.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoundQuadToExtended,
    testing::Values(
        QuadRounding{"on the grid", {kKeptUnit * 5, kOne}, 1, {kKeptUnit * 5, kOne}},
        QuadRounding{"below halfway", {kHalf - kQuadUnit, kOne}, 1, {0, kOne}},
        QuadRounding{"above halfway", {kHalf + kQuadUnit, kOne}, -1, {kKeptUnit, kOne}},
        QuadRounding{"halfway, exact above", {kHalf, kOne}, 1, {kKeptUnit, kOne}},
        QuadRounding{"halfway, exact below", {kHalf, kOne}, -1, {0, kOne}},
        QuadRounding{"halfway, exact, to even below", {kHalf, kOne}, 0, {0, kOne}},
        QuadRounding{
            "halfway, exact, to even above", {kKeptUnit + kHalf, kOne}, 0, {2 * kKeptUnit, kOne}},
        QuadRounding{"negative, exact above: smaller magnitude",
                     {kHalf, kNegative | kOne},
                     1,
                     {0, kNegative | kOne}},
        QuadRounding{"negative, exact below: larger magnitude",
                     {kHalf, kNegative | kOne},
                     -1,
                     {kKeptUnit, kNegative | kOne}},
        QuadRounding{"carry into the upper half", {~std::uint64_t{0}, kOne}, 0, {0, kOne + 1}},
        QuadRounding{"carry into the exponent: 2 - 2^-70 to 2",
                     {~std::uint64_t{0}, kOne | 0xFFFF'FFFF'FFFF},
                     0,
                     {0, kOne + (std::uint64_t{1} << 48)}},
        QuadRounding{"largest extended value, rounding up: infinity",
                     {~std::uint64_t{0}, (std::uint64_t{0x7FFE} << 48) | 0xFFFF'FFFF'FFFF},
                     0,
                     {0, std::uint64_t{0x7FFF} << 48}},
        QuadRounding{
            "extended's smallest denormal 2^-16445 stays", {kKeptUnit, 0}, 0, {kKeptUnit, 0}},
        QuadRounding{"below half of it: zero", {kHalf - kQuadUnit, 0}, 0, {0, 0}},
        QuadRounding{
            "half of it, exact above: the smallest denormal", {kHalf, 0}, 1, {kKeptUnit, 0}},
        QuadRounding{"half of it, exact: zero (even)", {kHalf, 0}, 0, {0, 0}},
        QuadRounding{"largest denormal, rounding up: smallest normal 2^-16382",
                     {~std::uint64_t{0}, 0xFFFF'FFFF'FFFF},
                     0,
                     {0, std::uint64_t{1} << 48}},
        QuadRounding{"infinity stays",
                     {0, std::uint64_t{0x7FFF} << 48},
                     0,
                     {0, std::uint64_t{0x7FFF} << 48}},
        QuadRounding{"a NaN stays",
                     {kHalf, std::uint64_t{0x7FFF8} << 44},
                     1,
                     {kHalf, std::uint64_t{0x7FFF8} << 44}}));

// Texts of 19 digits whose quotient or product, rounded to quad, lies exactly halfway between
// two extended values while the exact value does not: rounding the quad value again would go to
// the even neighbour; x87, rounding once, goes to the side of the exact value. The expected
// values are x87's (and checked on x86-64 by its own arithmetic).
struct HalfwayInQuad {
  const char* text;
  std::uint64_t mantissa;
  int power;  // of ten: the text is mantissa × 10^power
  long double x87;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const HalfwayInQuad& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class ExtendedOperations : public testing::TestWithParam<HalfwayInQuad> {};

TEST_P(ExtendedOperations, RoundOnceToA64BitSignificand) {
  const HalfwayInQuad& halfway = GetParam();
  if (std::numeric_limits<long double>::digits < 64)
    GTEST_SKIP() << "long double with " << std::numeric_limits<long double>::digits << " digits";
  long double ten_to_the_power = 1;
  for (int i = 0; i < std::abs(halfway.power); ++i) ten_to_the_power *= 10;
  const auto mantissa = static_cast<long double>(halfway.mantissa);
  const long double result = halfway.power < 0
                                 ? platform::ExtendedQuotient(mantissa, ten_to_the_power)
                                 : platform::ExtendedProduct(mantissa, ten_to_the_power);
  EXPECT_TRUE(SameBits(result, halfway.x87)) << halfway.text;
  const ParseResult read = ParseNumber(halfway.text, '.');
  ASSERT_EQ(read.status, ParseStatus::kOk) << halfway.text;
  EXPECT_TRUE(SameBits(read.value, halfway.x87)) << halfway.text;
  const ParseResult negative = ParseNumber(std::string("-") + halfway.text, '.');
  EXPECT_TRUE(SameBits(negative.value, -halfway.x87)) << halfway.text;
}

INSTANTIATE_TEST_SUITE_P(
    ExactValueAboveOrBelow, ExtendedOperations,
    testing::Values(HalfwayInQuad{"8827578304361106221e-27", 8827578304361106221u, -27,
                                  0x97a819972cb8931dp-90L},  // above
                    HalfwayInQuad{"7604832976852220210e-27", 7604832976852220210u, -27,
                                  0x82a668bd7d32da4dp-90L},  // below
                    HalfwayInQuad{"8.621908464456583441e-9", 8621908464456583441u, -27,
                                  0x941f8defdb1f700bp-90L},  // above
                    HalfwayInQuad{"0.000000009136083064217890391", 9136083064217890391u, -27,
                                  0x9cf4eb12271e47b7p-90L},  // below
                    HalfwayInQuad{"2795277053186422369e24", 2795277053186422369u, 24,
                                  0x805a52e7d60a76fbp78L},  // above
                    HalfwayInQuad{"2789186484752992671e24", 2789186484752992671u, 24,
                                  0x8012bac4961d49fbp78L},  // below
                    HalfwayInQuad{"5.578501622901388897e42", 5578501622901388897u, 24,
                                  0x80137c58125bf053p79L}));  // above

// A text of more than 19 digits (or with an exponent beyond the fast reading's) is read by the
// C library. Read into quad and rounded to extended, a text within 2^-113 (relative) of the
// midpoint between two extended values lands on the midpoint and would go to the even side; it
// is read again rounded down and up to find its side, as x87 rounds it once. The midpoint here
// is 1 + 2^-24 + 2^-64, just above the single midpoint 1 + 2^-24.
struct NearAnExtendedMidpoint {
  const char* text;
  long double x87;
  std::uint32_t single;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const NearAnExtendedMidpoint& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class LongTextNearAnExtendedMidpoint : public testing::TestWithParam<NearAnExtendedMidpoint> {};

TEST_P(LongTextNearAnExtendedMidpoint, IsReadAsX87ReadsIt) {
  const NearAnExtendedMidpoint& near = GetParam();
  if (std::numeric_limits<long double>::digits < 64)
    GTEST_SKIP() << "long double with " << std::numeric_limits<long double>::digits << " digits";
  const ParseResult read = ParseNumber(near.text, '.');
  ASSERT_EQ(read.status, ParseStatus::kOk);
  EXPECT_TRUE(SameBits(read.value, near.x87)) << near.text;
  EXPECT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(read.value)), near.single) << near.text;
  const ParseResult negative = ParseNumber(std::string("-") + near.text, '.');
  EXPECT_TRUE(SameBits(negative.value, -near.x87)) << near.text;
}

INSTANTIATE_TEST_SUITE_P(
    AboveBelowAndOnIt, LongTextNearAnExtendedMidpoint,
    testing::Values(
        // 7.8e-35 above (35 digits); rounded twice, 0x3f800000
        NearAnExtendedMidpoint{"1.0000000596046447754448351086242753", 0x8000008000000001p-63L,
                               0x3f800001},
        NearAnExtendedMidpoint{
            "1.00000005960464477544483510862427522170037264004349708557128906250000001",
            0x8000008000000001p-63L, 0x3f800001},
        // 2.2e-36 below
        NearAnExtendedMidpoint{"1.0000000596046447754448351086242752", 0x8000008000000000p-63L,
                               0x3f800000},
        // on it: to even
        NearAnExtendedMidpoint{"1.0000000596046447754448351086242752217003726400434970855712890625",
                               0x8000008000000000p-63L, 0x3f800000},
        // In extended's denormals, multiples of 2^-16445, quad has 49 bits more, so texts of 25
        // digits next to 1.5 × 2^-16445 and 2.5 × 2^-16445 land on them.
        NearAnExtendedMidpoint{"5.467799297823711903792609e-4951", 0x2p-16445L, 0},
        NearAnExtendedMidpoint{"5.467799297823711903792608e-4951", 0x1p-16445L, 0},
        NearAnExtendedMidpoint{"9.112998829706186506321015e-4951", 0x3p-16445L, 0},
        NearAnExtendedMidpoint{"9.112998829706186506321014e-4951", 0x2p-16445L, 0}));

// The values agree on every system, but the sum is kept in long double, which adds with 64
// significand bits on x87 and with 113 on quad. 16777217 + 3e-13 is 16777217 on x87 and a little
// more on quad; half of it is the midpoint 8388608.5 between two singles on x87 (to even:
// 8388608) and a little above it on quad (8388609). A mean differs only where it lies that close
// to a midpoint.
TEST(MeanInLongDouble, DiffersBetweenX87AndQuadOnlyThatCloseToAMidpoint) {
  FakeWindow window("16777217\n0.0000000000003");
  btnMittelwertClick(window.form, window.state);
  switch (std::numeric_limits<long double>::digits) {
    case 64:
      EXPECT_EQ(window.state.Mittelwert, 8388608.0f);
      break;
    case 113:
      EXPECT_EQ(window.state.Mittelwert, 8388609.0f);
      break;
    default:
      GTEST_SKIP() << "long double with " << std::numeric_limits<long double>::digits << " digits";
  }
  FakeWindow away("16777217\n0.3");
  btnMittelwertClick(away.form, away.state);
  EXPECT_EQ(away.state.Mittelwert, 8388609.0f);
}

// Texts of up to 13 significant digits next to the midpoints between singles, the hardest for
// two roundings: through long double they give the single nearest to the text, on every system.
TEST(ShortTextsNearAMidpoint, GiveTheNearestSingle) {
  std::mt19937 random(13);
  for (int i = 0; i < 4000; ++i) {
    const auto bits = static_cast<std::uint32_t>(random() % 0x7E800000u) + 0x00800000u;
    const float low = std::bit_cast<float>(bits);
    const double midpoint =
        (static_cast<double>(low) + std::nextafter(low, std::numeric_limits<float>::infinity())) /
        2;
    for (int digits = 1; digits <= 13; ++digits) {
      char text[40];
      std::snprintf(text, sizeof text, "%.*e", digits - 1, midpoint);
      float nearest = 0;
      const std::from_chars_result read = std::from_chars(text, text + std::strlen(text), nearest);
      ASSERT_EQ(read.ec, std::errc()) << text;
      const ParseResult ours = ParseNumber(text, '.');
      ASSERT_EQ(ours.status, ParseStatus::kOk) << text;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(ours.value)),
                std::bit_cast<std::uint32_t>(nearest))
          << text;
    }
  }
}

}  // namespace
}  // namespace messwerte
