#include "evaluation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "exception.h"
#include "fake_window.h"
#include "number_text.h"

namespace messwerte {
namespace {

struct Press {
  const char* name;
  const char* list;
  Operation operation;
  Writes writes;  // numbers written with '.'
  // Names the row in a failure and in the test list.
  friend void PrintTo(const Press& c, std::ostream* os) { *os << c.name; }
};

class Operations : public testing::TestWithParam<std::tuple<Press, char>> {};

TEST_P(Operations, WriteTheirFieldsInOrder) {
  const auto& [press, separator] = GetParam();
  FakeWindow window(press.list, separator);
  press.operation(window.form, window.state);
  Writes expected = press.writes;
  for (auto& [field, text] : expected) text = FakeWindow::Localised(text, separator);
  EXPECT_EQ(window.writes, expected);
}

const Press kPresses[] = {
    {"CountEmpty", "", btnAnzahlClick, {{"edtAnzahl", "0"}}},
    {"CountFirstLineEmpty", "\n1\n2", btnAnzahlClick, {{"edtAnzahl", "0"}}},
    {"CountBlankLineIsAValue", "1\n   \n2", btnAnzahlClick, {{"edtAnzahl", "3"}}},
    {"CountStopsAtEmptyLine", "1\n2\n\n3", btnAnzahlClick, {{"edtAnzahl", "2"}}},
    {"CountTrailingBreak", "1\n2\n", btnAnzahlClick, {{"edtAnzahl", "2"}}},
    {"MeanEmpty", "", btnMittelwertClick, {{"edtMittelwert", "0"}, {"edtAnzahl", "0"}}},
    {"MeanOfTwo", "1\n2", btnMittelwertClick, {{"edtMittelwert", "1.5"}, {"edtAnzahl", "2"}}},
    {"MeanShowsTheStoredSingle",
     "0.1",
     btnMittelwertClick,
     {{"edtMittelwert", "0.100000001490116"}, {"edtAnzahl", "1"}}},
    {"MeanRoundsOnlyAtTheEnd",
     "16777216\n1",
     btnMittelwertClick,
     {{"edtMittelwert", "8388608"}, {"edtAnzahl", "2"}}},
    {"MeanStopsAtEmptyLine",
     "1\n2\n\n3",
     btnMittelwertClick,
     {{"edtMittelwert", "1.5"}, {"edtAnzahl", "2"}}},
    {"LargestRecountsFirst",
     "3\n-2\n7",
     btnGroessterMesswClick,
     {{"edtAnzahl", "3"}, {"edtGroessterMessw", "7"}}},
    {"SmallestRecountsFirst",
     "3\n-2\n7",
     brnKleinsterMesswClick,
     {{"edtAnzahl", "3"}, {"edtKleinsterMessw", "-2"}}},
    {"LargestOfOne",
     "-4.5",
     btnGroessterMesswClick,
     {{"edtAnzahl", "1"}, {"edtGroessterMessw", "-4.5"}}},
    {"LargestIgnoresAfterEmptyLine",
     "5\n\n9",
     btnGroessterMesswClick,
     {{"edtAnzahl", "1"}, {"edtGroessterMessw", "5"}}},
    {"SmallestBeyondOldSentinels",
     "2e38\n3e38",
     brnKleinsterMesswClick,
     {{"edtAnzahl", "2"}, {"edtKleinsterMessw", "1.99999993605714E38"}}},
    {"LargestBeyondOldSentinels",
     "-2e38\n-3e38",
     btnGroessterMesswClick,
     {{"edtAnzahl", "2"}, {"edtGroessterMessw", "-1.99999993605714E38"}}},
    {"QuadraticEmpty",
     "",
     btnquadr_MittelwertClick,
     {{"edtMittelwert", "0"}, {"edtAnzahl", "0"}, {"edtQuadr_Mittelwe", "0"}}},
    {"QuadraticIsRootMeanSquare",
     "3\n4",
     btnquadr_MittelwertClick,
     {{"edtMittelwert", "3.5"}, {"edtAnzahl", "2"}, {"edtQuadr_Mittelwe", "3.5355339050293"}}},
    {"QuadraticOfNegatives",
     "-3\n-4",
     btnquadr_MittelwertClick,
     {{"edtMittelwert", "-3.5"}, {"edtAnzahl", "2"}, {"edtQuadr_Mittelwe", "3.5355339050293"}}},
    {"QuadraticOfThree",
     "2\n4\n6",
     btnquadr_MittelwertClick,
     {{"edtMittelwert", "4"}, {"edtAnzahl", "3"}, {"edtQuadr_Mittelwe", "4.32049369812012"}}},
    {"QuadraticOfOne",
     "-0.1",
     btnquadr_MittelwertClick,
     {{"edtMittelwert", "-0.100000001490116"},
      {"edtAnzahl", "1"},
      {"edtQuadr_Mittelwe", "0.100000001490116"}}},
    {"DeviationFillsFiveFields",
     "2\n4\n6",
     btnAbweichungClick,
     {{"edtMittelwert", "4"},
      {"edtAnzahl", "3"},
      {"edtAnzahl", "3"},
      {"edtKleinsterMessw", "2"},
      {"edtAnzahl", "3"},
      {"edtGroessterMessw", "6"},
      {"edtAbweichung", "50"}}},
    {"DeviationKeepsFractions",
     "1.5\n2.5",
     btnAbweichungClick,
     {{"edtMittelwert", "2"},
      {"edtAnzahl", "2"},
      {"edtAnzahl", "2"},
      {"edtKleinsterMessw", "1.5"},
      {"edtAnzahl", "2"},
      {"edtGroessterMessw", "2.5"},
      {"edtAbweichung", "25"}}},
    {"DeviationOfNegatives",
     "-3\n-1",
     btnAbweichungClick,
     {{"edtMittelwert", "-2"},
      {"edtAnzahl", "2"},
      {"edtAnzahl", "2"},
      {"edtKleinsterMessw", "-3"},
      {"edtAnzahl", "2"},
      {"edtGroessterMessw", "-1"},
      {"edtAbweichung", "50"}}},
    {"DeviationOfEqualValues",
     "5\n5",
     btnAbweichungClick,
     {{"edtMittelwert", "5"},
      {"edtAnzahl", "2"},
      {"edtAnzahl", "2"},
      {"edtKleinsterMessw", "5"},
      {"edtAnzahl", "2"},
      {"edtGroessterMessw", "5"},
      {"edtAbweichung", "0"}}},
    {"DeviationTakesTheFartherExtreme",
     "1\n2\n10",
     btnAbweichungClick,
     {{"edtMittelwert", "4.33333349227905"},
      {"edtAnzahl", "3"},
      {"edtAnzahl", "3"},
      {"edtKleinsterMessw", "1"},
      {"edtAnzahl", "3"},
      {"edtGroessterMessw", "10"},
      {"edtAbweichung", "130.769226074219"}}},
    {"ResetWritesNoField", "1\n2", btnMemoResetClick, {}},
};

INSTANTIATE_TEST_SUITE_P(EveryButton, Operations,
                         testing::Combine(testing::ValuesIn(kPresses), testing::Values('.', ',')),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == '.' ? "Point" : "Comma");
                         });

struct Failure {
  const char* name;
  const char* list;
  Operation operation;
  const char* message;
  int line;       // index of the line at fault, -1 for none
  Writes writes;  // what was written before the error
  // Names the row in a failure and in the test list.
  friend void PrintTo(const Failure& c, std::ostream* os) { *os << c.name; }
};

class FailingOperations : public testing::TestWithParam<Failure> {};

TEST_P(FailingOperations, StopAtTheFaultWithAGermanMessage) {
  const Failure& failure = GetParam();
  FakeWindow window(failure.list);
  try {
    failure.operation(window.form, window.state);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), failure.message);
    EXPECT_EQ(e.line(), failure.line);
  }
  EXPECT_EQ(window.writes, failure.writes);
  EXPECT_EQ(window.list.Text(), failure.list) << "only the reset may change the list";
}

const Failure kFailures[] = {
    {"MeanAtSecondLine",
     "1\nx\n3",
     btnMittelwertClick,
     "'x' ist kein gültiger Gleitkommawert (Zeile 2).",
     1,
     {}},
    {"MeanAtBlankLine",
     "   \n1",
     btnMittelwertClick,
     "'   ' ist kein gültiger Gleitkommawert (Zeile 1).",
     0,
     {}},
    {"MeanOfValueBeyondSingle",
     "1\n1e39",
     btnMittelwertClick,
     "'1e39' liegt außerhalb des Wertebereichs (Zeile 2).",
     1,
     {}},
    {"MeanOfValueBeyondExtended",
     "-1e5000",
     btnMittelwertClick,
     "'-1e5000' liegt außerhalb des Wertebereichs (Zeile 1).",
     0,
     {}},
    {"MeanShowsTabsInTheMessage",
     "1\t2",
     btnMittelwertClick,
     "'1\u24092' ist kein gültiger Gleitkommawert (Zeile 1).",
     0,
     {}},
    {"LargestAfterTheCount",
     "5\nabc",
     btnGroessterMesswClick,
     "'abc' ist kein gültiger Gleitkommawert (Zeile 2).",
     1,
     {{"edtAnzahl", "2"}}},
    {"LargestOfEmptyList",
     "",
     btnGroessterMesswClick,
     "Die Liste enthält keine Messwerte.",
     -1,
     {{"edtAnzahl", "0"}}},
    {"SmallestOfEmptyList",
     "\n7",
     brnKleinsterMesswClick,
     "Die Liste enthält keine Messwerte.",
     -1,
     {{"edtAnzahl", "0"}}},
    {"QuadraticFailsInTheMean",
     "2\n1,5",
     btnquadr_MittelwertClick,
     "'1,5' ist kein gültiger Gleitkommawert (Zeile 2).",
     1,
     {}},
    {"DeviationOfZeroMean",
     "-1\n1",
     btnAbweichungClick,
     "Bei einem Mittelwert von 0 ist die prozentuale Abweichung nicht definiert.",
     -1,
     {{"edtMittelwert", "0"},
      {"edtAnzahl", "2"},
      {"edtAnzahl", "2"},
      {"edtKleinsterMessw", "-1"},
      {"edtAnzahl", "2"},
      {"edtGroessterMessw", "1"}}},
    {"DeviationOfEmptyList",
     "",
     btnAbweichungClick,
     "Die Liste enthält keine Messwerte.",
     -1,
     {{"edtMittelwert", "0"}, {"edtAnzahl", "0"}, {"edtAnzahl", "0"}}},
    {"DeviationBeyondSingle",
     "3e38\n-3e38\n1",
     btnAbweichungClick,
     "Das Ergebnis liegt außerhalb des Wertebereichs.",
     -1,
     {{"edtMittelwert", "0.333333343267441"},
      {"edtAnzahl", "3"},
      {"edtAnzahl", "3"},
      {"edtKleinsterMessw", "-3.00000000549776E38"},
      {"edtAnzahl", "3"},
      {"edtGroessterMessw", "3.00000000549776E38"}}},
    {"DeviationOfExtremesTooFarApart",
     "3e38\n-3e38\n-3e38",
     btnAbweichungClick,
     "Das Ergebnis liegt außerhalb des Wertebereichs.",
     -1,
     {{"edtMittelwert", "-9.99999968028569E37"},
      {"edtAnzahl", "3"},
      {"edtAnzahl", "3"},
      {"edtKleinsterMessw", "-3.00000000549776E38"},
      {"edtAnzahl", "3"},
      {"edtGroessterMessw", "3.00000000549776E38"}}},
};

INSTANTIATE_TEST_SUITE_P(EveryButton, FailingOperations, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FailedOperations, KeepWhatTheyChangedBeforeTheFault) {
  FakeWindow window("4\n2\n8\nx\n1");
  window.state.Mittelwert = 99;
  EXPECT_THROW(btnMittelwertClick(window.form, window.state), Exception);
  EXPECT_EQ(window.state.Anzahl, 3);
  EXPECT_EQ(window.state.Summe, 14);
  EXPECT_EQ(window.state.Mittelwert, 99);

  EXPECT_THROW(btnGroessterMesswClick(window.form, window.state), Exception);
  EXPECT_EQ(window.state.Anzahl, 5);
  EXPECT_EQ(window.state.Zeile, 3);
  EXPECT_EQ(window.state.Messwert, 8);
  EXPECT_EQ(window.state.Groesster, 8);

  EXPECT_THROW(brnKleinsterMesswClick(window.form, window.state), Exception);
  EXPECT_EQ(window.state.Kleinster, 2);
  EXPECT_EQ(window.state.Groesster, 8) << "the other extreme is untouched";
}

// Long lists are converted and used a few thousand lines at a time. A fault at any line, also
// at the first or last of such a run, leaves the state as if the lines before it were used one
// by one; a second press on the same list, finding those values kept, stops at the same place.
class FaultInALongList : public testing::TestWithParam<int> {};

TEST_P(FaultInALongList, LeavesTheStateOfTheLinesBeforeIt) {
  const int fault = GetParam();
  std::string text;
  long double sum = 0;
  float largest = 0, last = 0;
  for (int k = 0; k < fault + 3; ++k) {
    const std::string line =
        k == fault ? "x" : std::to_string(k % 97) + "." + std::to_string(k % 7);
    text += line + "\n";
    if (k < fault) {
      const long double value = ParseNumber(line, '.').value;
      sum += value;
      last = static_cast<float>(value);
      if (k == 0 || last > largest) largest = last;
    }
  }
  FakeWindow window(text);
  for (int press = 0; press < 2; ++press) {
    EXPECT_THROW(btnMittelwertClick(window.form, window.state), Exception);
    EXPECT_EQ(window.state.Anzahl, fault);
    EXPECT_EQ(window.state.Summe, sum);

    try {
      btnGroessterMesswClick(window.form, window.state);
      ADD_FAILURE() << "no error";
    } catch (const Exception& error) {
      EXPECT_EQ(error.line(), fault);
    }
    EXPECT_EQ(window.state.Anzahl, fault + 3);
    EXPECT_EQ(window.state.Zeile, fault);
    if (fault > 0) {
      EXPECT_EQ(window.state.Messwert, last);
      EXPECT_EQ(window.state.Groesster, largest);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AroundRunsOfLines, FaultInALongList,
                         testing::Values(0, 1, 4095, 4096, 4097, 8191, 8192, 131071, 131072,
                                         131073));

// The lines of a text split one character after the other: LF, CR LF and a lone CR end a line.
std::vector<std::string> SplitOneByOne(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || text[i] == '\r') {
      lines.push_back(line);
      line.clear();
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += text[i];
    }
  }
  lines.push_back(line);
  return lines;
}

// Breaks of every kind at every place, also across the sixteen bytes the list is searched in:
// the same lines as one character after the other.
TEST(LineList, SplitsAtEveryKindOfBreakAnywhere) {
  std::mt19937 random(11);
  const char* breaks[] = {"\n", "\r\n", "\r"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int lines = static_cast<int>(random() % 12);
    const bool only_lf = round % 3 == 0;  // the list without any CR is split on its own path
    for (int k = 0; k < lines; ++k) {
      text += std::string(random() % 20, static_cast<char>('0' + random() % 10));
      text += only_lf ? "\n" : breaks[random() % 3];
    }
    text += std::string(random() % 3, '7');
    const std::vector<std::string> expected = SplitOneByOne(text);
    LineList list(text);
    ASSERT_EQ(list.LineCount(), static_cast<int>(expected.size())) << QuoteForMessage(text);
    for (int k = 0; k < list.LineCount(); ++k)
      ASSERT_EQ(list.ReadLine(k), expected[static_cast<std::size_t>(k)]) << QuoteForMessage(text);
    EXPECT_EQ(list.ReadLine(list.LineCount()), "");
  }
}

// Every kind of break that a paste may carry, next to characters that share their first byte with
// U+2028 ("\xe2\x80\xa8") but are none: "…" and "€", and a lone lead byte at the end.
TEST(SplitLines, UnicodeBreaksEndLinesWhereverTheyStand) {
  std::mt19937 random(12);
  const char* breaks[] = {"\n", "\r\n", "\r", "\xe2\x80\xa8", "\xe2\x80\xa9"};
  const char* others[] = {"1", "\xe2\x80\xa6", "\xe2\x82\xac", "\xe2\x80"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    std::vector<std::string> expected(1);
    const int lines = static_cast<int>(random() % 12);
    for (int k = 0; k < lines; ++k) {
      for (int n = static_cast<int>(random() % 12); n > 0; --n) {
        const char* other = others[random() % 3];
        text += other;
        expected.back() += other;
      }
      const char* brk = breaks[random() % 5];
      // CR and then LF would be one break, CR LF
      if (!text.empty() && text.back() == '\r' && brk[0] == '\n') brk = breaks[4];
      text += brk;
      expected.emplace_back();
    }
    if (random() % 4 == 0) {
      text += others[3];
      expected.back() += others[3];
    }
    const messwerte::LineViews split = messwerte::SplitLines(text, messwerte::LineBreaks::kUnicode);
    ASSERT_EQ(std::vector<std::string>(split.begin(), split.end()), expected)
        << QuoteForMessage(text);
  }
}

struct SplitCase {
  const char* name;
  const char* text;
  messwerte::LineBreaks breaks;
  std::vector<std::string> lines;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }
};

class SplitLinesTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitLinesTest, EndsLinesOnlyAtTheChosenBreaks) {
  const messwerte::LineViews split = messwerte::SplitLines(GetParam().text, GetParam().breaks);
  EXPECT_EQ(std::vector<std::string>(split.begin(), split.end()), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitLinesTest,
    testing::Values(
        SplitCase{"empty_text_is_one_empty_line", "", messwerte::LineBreaks::kLineFeed, {""}},
        SplitCase{"break_at_the_end", "1\n", messwerte::LineBreaks::kLineFeed, {"1", ""}},
        SplitCase{"line_feed_only_keeps_cr",
                  "1\r\n2\r3",
                  messwerte::LineBreaks::kLineFeed,
                  {"1\r", "2\r3"}},
        SplitCase{
            "any_takes_cr_lf_as_one", "1\r\n2\r3", messwerte::LineBreaks::kAny, {"1", "2", "3"}},
        SplitCase{"any_keeps_separators",
                  "1\xe2\x80\xa8"
                  "2",
                  messwerte::LineBreaks::kAny,
                  {"1\xe2\x80\xa8"
                   "2"}},
        SplitCase{"unicode_breaks_at_separators",
                  "1\xe2\x80\xa8"
                  "2\xe2\x80\xa9",
                  messwerte::LineBreaks::kUnicode,
                  {"1", "2", ""}},
        SplitCase{"cr_and_lf_are_two_breaks_the_other_way",
                  "1\n\r2",
                  messwerte::LineBreaks::kAny,
                  {"1", "", "2"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinePosition, IsLeftWhereEachOperationStops) {
  FakeWindow window("1\n2\n3\n\n4");
  btnAnzahlClick(window.form, window.state);
  EXPECT_EQ(window.state.Zeile, 4);
  EXPECT_EQ(window.state.Anzahl, 3);
  btnMittelwertClick(window.form, window.state);
  EXPECT_EQ(window.state.Zeile, 4) << "the mean counts with Anzahl";
  btnGroessterMesswClick(window.form, window.state);
  EXPECT_EQ(window.state.Zeile, 3);
  btnquadr_MittelwertClick(window.form, window.state);
  EXPECT_EQ(window.state.Zeile, 3);
}

TEST(Extremes, KeepTheFirstOfEqualValues) {
  FakeWindow window("-0\n0\n0");
  brnKleinsterMesswClick(window.form, window.state);
  EXPECT_TRUE(std::signbit(window.state.Kleinster));
  FakeWindow positive_first("0\n-0");
  btnGroessterMesswClick(positive_first.form, positive_first.state);
  EXPECT_FALSE(std::signbit(positive_first.state.Groesster));
  EXPECT_TRUE(std::signbit(positive_first.state.Messwert));
}

TEST(Reset, EmptiesTheSeriesFromTheFirstLineWhereverTheLastOperationStopped) {
  FakeWindow window("1\n2\n\n3");
  btnAnzahlClick(window.form, window.state);
  window.form.edtAnzahl.SetText("kept");
  const Writes before = window.writes;
  btnMemoResetClick(window.form, window.state);
  EXPECT_EQ(window.list.Text(), "\n\n\n3");
  EXPECT_EQ(window.list.LineCount(), 4);
  EXPECT_EQ(window.state.Zeile, 2) << "stops at the first empty line";
  EXPECT_EQ(window.writes, before);
  btnAnzahlClick(window.form, window.state);
  EXPECT_EQ(window.writes.back().second, "0");
}

TEST(Reset, LeavesAListStartingEmptyAsItIs) {
  FakeWindow window("\n1\n2");
  btnMemoResetClick(window.form, window.state);
  EXPECT_EQ(window.list.Text(), "\n1\n2");
}

// A long series near 1000: a sum rounded to single after every value would drift far off.
TEST(Mean, StaysExactOverAMillionValues) {
  std::string text;
  for (int i = 0; i < 1'000'000; ++i) text += i % 2 ? "999.5\n" : "1000.5\n";
  FakeWindow window(text);
  btnAbweichungClick(window.form, window.state);
  EXPECT_EQ(window.state.Anzahl, 1'000'000);
  EXPECT_EQ(window.state.Mittelwert, 1000.0f);
  EXPECT_EQ(window.writes.back(),
            (std::pair<std::string, std::string>{"edtAbweichung", "0.0500000007450581"}));
}

TEST(Count, AgreesWithTheMeanOnAnyList) {
  for (const char* list : {"", "1", "1\n", "1\n\n2", "1\n2\n3\n\n\n", "\n"}) {
    FakeWindow window(list);
    btnAnzahlClick(window.form, window.state);
    const int counted = window.state.Anzahl;
    btnMittelwertClick(window.form, window.state);
    EXPECT_EQ(window.state.Anzahl, counted) << list;
  }
}

}  // namespace
}  // namespace messwerte
