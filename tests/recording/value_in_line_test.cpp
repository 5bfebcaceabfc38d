// The value a received line gives, or why it gives none: first number or field, decimal point or
// comma, and the lines where any reading could be wrong.

#include "value_in_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using recording::FindValue;
using recording::LineFound;
using recording::ValueRule;
using Mark = ValueRule::Mark;
using Delimiter = ValueRule::Delimiter;

struct Case {
  const char* name;
  std::string line;
  ValueRule rule;
  char found_before;  // the mark the recording found so far
  LineFound found;
  std::string number;  // the number's text as it stands in the line
  char found_after;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class FindValueTest : public testing::TestWithParam<Case> {};

TEST_P(FindValueTest, GivesTheValueOrWhyNone) {
  const Case& c = GetParam();
  char found = c.found_before;
  const recording::LineValue value = FindValue(c.line, c.rule, found);
  EXPECT_EQ(value.found, c.found);
  EXPECT_EQ(std::string(value.number), c.number);
  EXPECT_EQ(found, c.found_after);
}

const ValueRule kFirst{};
const ValueRule kPoint{0, Delimiter::kBlanks, Mark::kPoint};
const ValueRule kComma{0, Delimiter::kBlanks, Mark::kComma};
ValueRule Field(int n, Delimiter delimiter) { return {n, delimiter, Mark::kFound}; }

INSTANTIATE_TEST_SUITE_P(
    Lines, FindValueTest,
    testing::Values(
        // The first number, with what instruments put around it.
        Case{"plain", "12.5", kFirst, 0, LineFound::kValue, "12.5", '.'},
        Case{"name and unit", "U=12,5 V", kFirst, 0, LineFound::kValue, "12,5", ','},
        Case{"SCPI with unit glued on", "+1.2500E+01VDC", kFirst, 0, LineFound::kValue,
             "+1.2500E+01", '.'},
        Case{"channel name holds no value", "CH1: -0.5", kFirst, 0, LineFound::kValue, "-0.5", '.'},
        Case{"sign glued to a word is not the value's", "V-12 3", kFirst, 0, LineFound::kValue, "3",
             0},
        Case{"leading mark", "  -.5mA", kFirst, 0, LineFound::kValue, "-.5", '.'},
        Case{"whole number leaves the mark open", "42 g", kFirst, 0, LineFound::kValue, "42", 0},
        Case{"E without digits is a unit", "3.5E", kFirst, 0, LineFound::kValue, "3.5", '.'},
        // No value.
        Case{"empty", "", kFirst, 0, LineFound::kEmpty, "", 0},
        Case{"blanks and a CR", " \t\r", kFirst, 0, LineFound::kEmpty, "", 0},
        Case{"an answer without number", "OK", kFirst, 0, LineFound::kNoNumber, "", 0},
        Case{"overload", "+9.9E37", kFirst, 0, LineFound::kOverload, "", 0},
        Case{"no reading", "9.91E+37", kFirst, 0, LineFound::kOverload, "", 0},
        Case{"beyond extended", "1E99999", kFirst, 0, LineFound::kOutOfRange, "", 0},
        // The mark: found once, kept, and never guessed where both readings are possible.
        Case{"comma where a point was found", "12,5", kFirst, '.', LineFound::kUnclearMark, "",
             '.'},
        Case{"point where a comma was found", "1.5", kFirst, ',', LineFound::kUnclearMark, "", ','},
        Case{"thousands point and decimal comma", "1.234,5", kFirst, 0, LineFound::kUnclearMark, "",
             0},
        Case{"version-like", "1.2.3", kFirst, 0, LineFound::kUnclearMark, "", 0},
        Case{"letter O for a zero", "1O,5", kFirst, 0, LineFound::kUnclearMark, "", 0},
        Case{"comma after a point value, found", "12.5,13.1", kFirst, 0, LineFound::kUnclearMark,
             "", 0},
        Case{"comma after a point value, set", "12.5,13.1", kPoint, 0, LineFound::kValue, "12.5",
             0},
        Case{"comma set, point found before", "12,5", kComma, '.', LineFound::kValue, "12,5", '.'},
        // Fields.
        Case{"field 3 of blanks", "2026-12-07 12:30:01   12.5 V", Field(3, Delimiter::kBlanks), 0,
             LineFound::kValue, "12.5", '.'},
        Case{"field 2 of semicolons", "7;-3,25;x", Field(2, Delimiter::kSemicolon), 0,
             LineFound::kValue, "-3,25", ','},
        Case{"comma fields take a point", "1.5,2.5", Field(2, Delimiter::kComma), 0,
             LineFound::kValue, "2.5", 0},
        Case{"empty field of a tab table", "1\t\t3", Field(2, Delimiter::kTab), 0,
             LineFound::kNoNumber, "", 0},
        Case{"too few fields", "1 2", Field(3, Delimiter::kBlanks), 0, LineFound::kNoField, "",
             0}));

TEST(NumberText, TurnsOnlyTheMark) {
  EXPECT_EQ(recording::NumberText("+1.2500E+01", '.', ','), "+1,2500E+01");
  EXPECT_EQ(recording::NumberText("-3", ',', '.'), "-3");
}

}  // namespace
