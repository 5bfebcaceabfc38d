// Kennwerte against NIST's certified values and against small series worked by hand.

#include "series_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

namespace messwerte {
namespace {

// How many significant digits `computed` shares with `certified` (NIST's "log relative
// error"); 16 for an exact match.
double Digits(double computed, double certified) {
  if (computed == certified) return 16;
  return -std::log10(std::abs(computed - certified) / std::abs(certified));
}

// NIST StRD univariate "NumAcc" sets: a first value, then two values alternating around it, so
// that the mean is the first value and the standard deviation the step, whatever the magnitude.
std::vector<std::string> Alternating(const std::string& first, const std::string& low,
                                     const std::string& high, int pairs) {
  std::vector<std::string> lines{first};
  for (int i = 0; i < pairs; ++i) {
    lines.push_back(low);
    lines.push_back(high);
  }
  return lines;
}

// The lines of a reference series kept beside this test, one value a line.
std::vector<std::string> Stored(const std::string& name) {
  std::ifstream file(std::string(MESSWERTE_NIST_DIR) + "/" + name + ".txt");
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

struct CertifiedCase {
  const char* name;
  std::vector<std::string> lines;
  double mean;
  double standard_deviation;
  std::int64_t count;
};

void PrintTo(const CertifiedCase& c, std::ostream* out) { *out << c.name; }

class Certified : public testing::TestWithParam<CertifiedCase> {};

TEST_P(Certified, AgreesToThirteenDigitsAtLeast) {
  ASSERT_EQ(static_cast<std::int64_t>(GetParam().lines.size()), GetParam().count);
  StatisticsCollector collector('.');
  for (const std::string& line : GetParam().lines) {
    ASSERT_EQ(collector.Add(line), ParseStatus::kOk) << line;
  }
  const auto statistics = collector.Finish();
  ASSERT_TRUE(statistics);
  ASSERT_TRUE(statistics->standard_deviation);
  const double mean_digits = Digits(statistics->mean, GetParam().mean);
  const double sd_digits = Digits(*statistics->standard_deviation, GetParam().standard_deviation);
  RecordProperty("mean_digits", std::to_string(mean_digits));
  RecordProperty("sd_digits", std::to_string(sd_digits));
  EXPECT_TRUE(statistics->exact);
  EXPECT_GE(mean_digits, 13) << statistics->mean;
  EXPECT_GE(sd_digits, 13) << *statistics->standard_deviation;
}

INSTANTIATE_TEST_SUITE_P(
    NistStrd, Certified,
    testing::Values(
        CertifiedCase{"NumAcc1", {"10000001", "10000003", "10000002"}, 10000002, 1, 3},
        CertifiedCase{"NumAcc2", Alternating("1.2", "1.1", "1.3", 500), 1.2, 0.1, 1001},
        CertifiedCase{"NumAcc3", Alternating("1000000.2", "1000000.1", "1000000.3", 500), 1000000.2,
                      0.1, 1001},
        CertifiedCase{"NumAcc4", Alternating("10000000.2", "10000000.1", "10000000.3", 500),
                      10000000.2, 0.1, 1001},
        // NIST StRD univariate datasets PiDigits, Lottery, Lew, Mavro and Michelso. PiDigits as
        // the reference series has it: its value 957 is 3 where π's digit is 8, and only so do
        // the certified figures hold.
        CertifiedCase{"PiDigits", Stored("PiDigits"), 4.53480000000000, 2.86733906028871, 5000},
        CertifiedCase{"Lottery", Stored("Lottery"), 518.958715596330, 291.699727470969, 218},
        CertifiedCase{"Lew", Stored("Lew"), -177.435000000000, 277.332168044316, 200},
        CertifiedCase{"Mavro", Stored("Mavro"), 2.00185600000000, 0.000429123454003053, 50},
        CertifiedCase{"Michelso", Stored("Michelso"), 299.852400000000, 0.0790105478190518, 100}),
    [](const testing::TestParamInfo<CertifiedCase>& info) { return info.param.name; });

// Small series with every figure worked out by hand.
struct HandCase {
  const char* name;
  std::vector<std::string> lines;
  char separator;
  double mean;
  double standard_deviation;  // NaN: none
  double median;
  double range;
  double smallest;
  std::int64_t smallest_index;
  double largest;
  std::int64_t largest_index;
  bool exact;
};

void PrintTo(const HandCase& c, std::ostream* out) { *out << c.name; }

class ByHand : public testing::TestWithParam<HandCase> {};

TEST_P(ByHand, GivesEveryFigure) {
  const HandCase& c = GetParam();
  StatisticsCollector collector(c.separator);
  for (const std::string& line : c.lines) ASSERT_EQ(collector.Add(line), ParseStatus::kOk);
  const auto s = collector.Finish();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->count, static_cast<std::int64_t>(c.lines.size()));
  EXPECT_DOUBLE_EQ(s->mean, c.mean);
  if (std::isnan(c.standard_deviation)) {
    EXPECT_FALSE(s->standard_deviation);
    EXPECT_FALSE(s->standard_error);
    EXPECT_FALSE(s->confidence_half_width);
  } else {
    ASSERT_TRUE(s->standard_deviation);
    EXPECT_DOUBLE_EQ(*s->standard_deviation, c.standard_deviation);
    const double n = static_cast<double>(c.lines.size());
    EXPECT_DOUBLE_EQ(*s->standard_error, c.standard_deviation / std::sqrt(n));
  }
  EXPECT_DOUBLE_EQ(s->median, c.median);
  EXPECT_DOUBLE_EQ(s->range, c.range);
  EXPECT_EQ(s->smallest, c.smallest);
  EXPECT_EQ(std::signbit(s->smallest), std::signbit(c.smallest));
  EXPECT_EQ(s->smallest_index, c.smallest_index);
  EXPECT_EQ(s->largest, c.largest);
  EXPECT_EQ(s->largest_index, c.largest_index);
  EXPECT_EQ(s->exact, c.exact);
}

const double kNone = std::nan("");

INSTANTIATE_TEST_SUITE_P(
    Series, ByHand,
    testing::Values(
        // One value: no spread, and nothing divided by n − 1 = 0.
        HandCase{"one", {"5"}, '.', 5, kNone, 5, 0, 5, 0, 5, 0, true},
        HandCase{"two_four_six", {"2", "4", "6"}, '.', 4, 2, 4, 4, 2, 0, 6, 2, true},
        // Even count: the median halfway between the middle two; first of equal extremes.
        HandCase{"even", {"3", "1", "4", "1"}, '.', 2.25, std::sqrt(2.25), 2, 3, 1, 1, 4, 2, true},
        // Commas, blanks, signs, exponents and digits of different lengths scaled together.
        HandCase{"mixed_forms",
                 {" -1,5", "+2,25E1", "0,000", "1e-2 "},
                 ',',
                 5.2525,
                 std::sqrt(((-1.5 - 5.2525) * (-1.5 - 5.2525) + (22.5 - 5.2525) * (22.5 - 5.2525) +
                            5.2525 * 5.2525 + (0.01 - 5.2525) * (0.01 - 5.2525)) /
                           3),
                 0.005,
                 24,
                 -1.5,
                 0,
                 22.5,
                 1,
                 true},
        // 20 significant digits do not fit 64 bits: compensated doubles instead, said so.
        HandCase{"too_many_digits",
                 {"1.0000000000000000001", "3"},
                 '.',
                 2,
                 std::sqrt(2.0),
                 2,
                 2,
                 1,
                 0,
                 3,
                 1,
                 false},
        // A finer unit after coarser ones: the values taken so far are scaled to it.
        HandCase{"finer_unit_later", {"1000", "0.5", "250.25", "-0.125"}, '.', 312.65625,
                 473.1488861759936, 125.375, 1000.125, -0.125, 3, 1000, 0, true},
        // Digits that do not fit after some that did: every value as a double read from its
        // text, "-0" keeping its sign.
        HandCase{"too_many_digits_late", {"0.5", "-0", "2.5", "1.0000000000000000001"}, '.', 1,
                 1.0801234497346435, 0.75, 2.5, -0.0, 1, 2.5, 2, false},
        // 16 digits in units of 10^-4 need more than 64 bits.
        HandCase{"unit_too_fine_for_large_values", {"1234567890123456", "0.0001"}, '.',
                 617283945061728.0, 872971326941464.2, 617283945061728.0, 1234567890123456.0,
                 0.0001, 1, 1234567890123456.0, 0, false},
        // Each value fits, but the distances from the mean do not: doubles after all.
        HandCase{"distances_too_large",
                 {"900000000000000001", "900000000000000001", "-900000000000000001", "0.1"}, '.',
                 2.25e17, 8.616843969807043e17, 4.5e17, 1.8e18, -9e17, 2, 9e17, 0, false}),
    [](const testing::TestParamInfo<HandCase>& info) { return info.param.name; });

TEST(StatisticsCollector, RefusesTextsThatAreNoNumbers) {
  StatisticsCollector collector('.');
  EXPECT_EQ(collector.Add("1,5"), ParseStatus::kNotANumber);
  EXPECT_EQ(collector.Add(""), ParseStatus::kNotANumber);
  EXPECT_EQ(collector.Count(), 0);
  EXPECT_FALSE(collector.Finish());
}

// Student's t for the 95 % interval: t(0.975; 1) = tan(0.475 π), t(0.975; 2) = 0.95 · √(2/0.0975),
// and the normal quantile 1.959964 for very many degrees.
TEST(StudentT975, MatchesClosedForms) {
  EXPECT_NEAR(StudentT975(1), std::tan(0.475 * std::numbers::pi), 1e-12);
  EXPECT_NEAR(StudentT975(2), 0.95 * std::sqrt(2 / 0.0975), 1e-12);
  EXPECT_NEAR(StudentT975(100000000), 1.959963984540054, 1e-7);
}

}  // namespace
}  // namespace messwerte
