// The one-pass summary against the window: for the same list, the six fields after pressing the
// six evaluating buttons in the window's order, and the messages of the failed presses, must be
// exactly what the summary gives, digit for digit.

#include "series_summary.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "evaluation.h"
#include "exception.h"
#include "fake_window.h"

namespace messwerte {
namespace {

SeriesSummary::Fields PressInWindow(const std::string& text, char separator) {
  FakeWindow window(text, separator);
  const Operation presses[] = {btnAnzahlClick,           btnMittelwertClick,
                               btnquadr_MittelwertClick, btnGroessterMesswClick,
                               brnKleinsterMesswClick,   btnAbweichungClick};
  SeriesSummary::Fields fields;
  for (const Operation press : presses) {
    try {
      press(window.form, window.state);
    } catch (const Exception& error) {
      if (std::find(fields.errors.begin(), fields.errors.end(), error.what()) ==
          fields.errors.end())
        fields.errors.emplace_back(error.what());
    }
  }
  // The last text each field was given.
  const char* const names[] = {"edtAnzahl",         "edtMittelwert",     "edtQuadr_Mittelwe",
                               "edtGroessterMessw", "edtKleinsterMessw", "edtAbweichung"};
  for (const auto& [name, written] : window.writes)
    for (std::size_t i = 0; i < 6; ++i)
      if (name == names[i]) fields.texts[i] = written;
  return fields;
}

// The summary fed in pieces of `piece` bytes, as blocks of a file come.
SeriesSummary::Fields Summarise(const std::string& text, char separator, std::size_t piece) {
  SeriesSummary summary(separator);
  std::string pending;
  for (std::size_t at = 0; at < text.size(); at += piece) {
    pending += text.substr(at, piece);
    pending.erase(0, summary.AddLines(pending, false));
  }
  summary.AddLines(pending, true);
  return summary.Finish();
}

void ExpectSame(const std::string& text, char separator) {
  const SeriesSummary::Fields window = PressInWindow(text, separator);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 20}) {
    const SeriesSummary::Fields summary =
        Summarise(FakeWindow::Localised(text, separator), separator, piece);
    EXPECT_EQ(summary.texts, window.texts) << "list: " << text << ", pieces of " << piece;
    EXPECT_EQ(summary.errors, window.errors) << "list: " << text << ", pieces of " << piece;
  }
}

struct Case {
  const char* name;
  const char* list;  // written with '.'
  // Names the row in a failure and in the test list.
  friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

const Case kCases[] = {
    {"Typical", "2\n4\n6\n"},
    {"Readings", "123.4567\n-87.0312\n0.0001\n9999.9999\n42\n"},
    {"BadLine", "1\n2\nzwei\n4\n"},
    {"BadFirstLine", "x\n1\n"},
    {"EmptyList", ""},
    {"OnlyABreak", "\n"},
    {"ZeroMean", "-1\n1\n"},
    {"AllZero", "0\n0\n-0\n"},
    {"ValuesAfterEmptyLine", "1\n2\n\n100\nx\n"},
    {"TwentyDigitTexts", "12345678901234567890123\n0.000000000000000000012345678901234\n"},
    {"ValueBeyondSingle", "1\n1e39\n"},
    {"ValueBeyondExtended", "1\n1e5000\n"},
    {"DeviationOverflows", "3e38\n-3.3e38\n3e38\n"},
    {"CrLfBreaks", "1.5\r\n2.5\r\n3.5\r\n"},
    {"CrBreaks", "1.5\r2.5\r-3.5\r"},
    {"BlanksAroundValues", " 1.5\t\n\t-2 \n"},
    {"EqualExtremesOfEitherSign", "-0\n0\n"},
    {"SingleValue", "7.25"},
    {"TinyValues", "1e-40\n2e-45\n"},
    {"Exponents", "1E3\n-2.5e-2\n+4e+1\n"},
    {"LineOfBlanksIsNoValue", "1\n  \n2\n"},
};

class SeriesSummaryTest : public testing::TestWithParam<Case> {};

TEST_P(SeriesSummaryTest, GivesTheWindowsFieldsWithDecimalPoint) {
  ExpectSame(GetParam().list, '.');
}
TEST_P(SeriesSummaryTest, GivesTheWindowsFieldsWithDecimalComma) {
  ExpectSame(GetParam().list, ',');
}

INSTANTIATE_TEST_SUITE_P(Lists, SeriesSummaryTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Random lists of readings of every size: the sums in long double must be added in the same
// order as the window's, else the last digits differ somewhere among them.
TEST(SeriesSummaryRandomTest, GivesTheWindowsFieldsForRandomLists) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> lines(0, 300), digits(1, 9), magnitude(-3, 6);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    const int n = lines(random);
    for (int i = 0; i < n; ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "%.*g\n", digits(random),
                    unit(random) * std::pow(10.0, magnitude(random)));
      text += line;
    }
    ExpectSame(text, '.');
  }
}

TEST(SeriesSummaryTest, LinesAfterTheEndTakePartInNothing) {
  SeriesSummary summary('.');
  EXPECT_TRUE(summary.Add("1"));
  EXPECT_FALSE(summary.Add(""));
  EXPECT_FALSE(summary.Add("x"));
  EXPECT_TRUE(summary.Ended());
  EXPECT_FALSE(summary.HasFault());
  EXPECT_EQ(summary.Finish().texts[0], "1");
}

TEST(SeriesSummaryTest, WaitsForTheLfOfACrAtTheEnd) {
  SeriesSummary summary('.');
  EXPECT_EQ(summary.AddLines("1\r", false), 0u);
  EXPECT_EQ(summary.AddLines("1\r\n2", false), 3u);
  EXPECT_EQ(summary.AddLines("2", true), 1u);
  EXPECT_EQ(summary.Finish().texts[0], "2");
}

}  // namespace
}  // namespace messwerte
