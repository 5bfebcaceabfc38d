#pragma once

#include <string>
#include <string_view>

namespace recording {

// Which part of a received line holds the value.
struct ValueRule {
  enum class Mark : char { kFound = '\0', kPoint = '.', kComma = ',' };
  enum class Delimiter : char { kBlanks = ' ', kSemicolon = ';', kComma = ',', kTab = '\t' };
  int field = 0;  // 0: the first number in the line; N: the first number in field N (from 1)
  Delimiter delimiter = Delimiter::kBlanks;
  // The decimal mark of the instrument's numbers; kFound takes the first one a value shows.
  Mark mark = Mark::kFound;
  bool operator==(const ValueRule&) const = default;
};

// What a line gave.
enum class LineFound {
  kValue,
  kEmpty,        // nothing but blanks
  kNoNumber,     // "OK", a prompt, a header
  kNoField,      // fewer fields than the rule's field
  kUnclearMark,  // "12,5" where the mark is a point, "1.234,5", "1.2.3"
  kOutOfRange,   // beyond extended precision's range
  kOverload,     // 9.9E37 or 9.91E37: what SCPI instruments send for an overload or no reading
};

struct LineValue {
  LineFound found;
  std::string_view number;  // with kValue: the number's text, a view into the line
  char mark = '.';          // the decimal mark it was read with
};

// Finds the value in `line`. A number begins with a digit, a sign or a decimal mark followed by a
// digit, not right after a letter or digit ("CH1" holds none), and runs as far as
// [sign]digits[mark digits][(E|e)[sign]digits]; units after it are left alone. `found_mark` is
// the decimal mark the recording found so far ('\0' for none yet): the first value with a mark
// sets it when the rule leaves the mark to be found. A number directly followed by another mark
// and a digit is never read, since either reading of it could be wrong; where the user set the
// mark, a number that holds it may be followed by a comma as a plain delimiter ("12.5,13.1").
LineValue FindValue(std::string_view line, const ValueRule& rule, char& found_mark);

// `number` with its decimal mark `from` turned into `to`, as the list and --auswerten read it;
// the digits stay as the instrument sent them.
std::string NumberText(std::string_view number, char from, char to);

}  // namespace recording
