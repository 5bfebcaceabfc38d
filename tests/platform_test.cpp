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
#include <random>
#include <string>
#include <vector>

#include "number_text.h"
#include "same_bits.h"

namespace messwerte {
namespace {

struct Reading {
  const char* text;
  long double value;
  std::size_t used;
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
// then store it as single: x87 extended rounds such a text onto the midpoint, and the second
// rounding goes to the even single; IEEE quad keeps it off the midpoint and gives the single
// nearest to the text. The shortest such texts have 14 significant digits.
struct TwoRoundings {
  const char* text;
  std::uint32_t x87;      // the single through x87 extended (x86-64, MinGW-w64)
  std::uint32_t nearest;  // the single nearest to the text (through quad: aarch64)
};

class SingleThroughLongDouble : public testing::TestWithParam<TwoRoundings> {};

TEST_P(SingleThroughLongDouble, IsTheFormatsRounding) {
  const TwoRoundings& texts = GetParam();
  std::uint32_t expected;
  if (std::numeric_limits<long double>::digits == 64)
    expected = texts.x87;
  else if (std::numeric_limits<long double>::digits >= 113)
    expected = texts.nearest;
  else
    GTEST_SKIP() << "long double with " << std::numeric_limits<long double>::digits << " digits";
  for (const char separator : {'.', ','}) {
    std::string text = texts.text;
    for (char& c : text)
      if (c == '.') c = separator;
    const ParseResult read = ParseNumber(text, separator);
    ASSERT_EQ(read.status, ParseStatus::kOk) << text;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(read.value)), expected) << text;
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
