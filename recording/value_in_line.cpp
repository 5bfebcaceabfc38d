#include "value_in_line.h"

#include <cmath>
#include <optional>

#include "number_text.h"

namespace recording {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsMark(char c) { return c == '.' || c == ','; }
bool IsSign(char c) { return c == '+' || c == '-'; }
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
bool IsLetter(char c) {
  return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Field `n` (from 1) of `line`; none when the line has fewer. Blanks part fields in runs, the
// other delimiters one by one.
std::optional<std::string_view> Field(std::string_view line, char delimiter, int n) {
  std::size_t i = 0;
  if (delimiter == ' ') {
    for (int k = 1;; ++k) {
      while (i < line.size() && IsBlank(line[i])) ++i;
      if (i == line.size()) return std::nullopt;
      const std::size_t start = i;
      while (i < line.size() && !IsBlank(line[i])) ++i;
      if (k == n) return line.substr(start, i - start);
    }
  }
  for (int k = 1;; ++k) {
    const std::size_t end = line.find(delimiter, i);
    if (k == n) return line.substr(i, end == std::string_view::npos ? end : end - i);
    if (end == std::string_view::npos) return std::nullopt;
    i = end + 1;
  }
}

}  // namespace

LineValue FindValue(std::string_view line, const ValueRule& rule, char& found_mark) {
  bool blank = true;
  for (char c : line) blank = blank && IsBlank(c);
  if (blank) return {LineFound::kEmpty, {}};

  // The mark a number may use: the one set or found, or either while none is.
  char set = static_cast<char>(rule.mark);
  std::string_view scope = line;
  if (rule.field > 0) {
    const char delimiter = static_cast<char>(rule.delimiter);
    const std::optional<std::string_view> field = Field(line, delimiter, rule.field);
    if (!field) return {LineFound::kNoField, {}};
    scope = *field;
    if (delimiter == ',' && set == '\0') set = '.';
  }
  const char mark = set != '\0' ? set : found_mark;
  const auto is_mark = [mark](char c) { return mark == '\0' ? IsMark(c) : c == mark; };
  const std::size_t size = scope.size();
  const auto digit_at = [&](std::size_t k) { return k < size && IsDigit(scope[k]); };

  for (std::size_t i = 0; i < size; ++i) {
    if (i > 0) {
      const char before = scope[i - 1];
      if (IsDigit(before) || IsLetter(before) || IsMark(before) || IsSign(before)) continue;
    }
    std::size_t k = i + (IsSign(scope[i]) ? 1 : 0);
    if (!digit_at(k) && !(k < size && is_mark(scope[k]) && digit_at(k + 1))) continue;

    while (digit_at(k)) ++k;
    char used = '\0';
    if (k < size && is_mark(scope[k]) && digit_at(k + 1)) {
      used = scope[k++];
      while (digit_at(k)) ++k;
    }
    if (k < size && (scope[k] == 'e' || scope[k] == 'E')) {
      std::size_t e = k + 1;
      if (e < size && IsSign(scope[e])) ++e;
      if (digit_at(e)) {
        k = e;
        while (digit_at(k)) ++k;
      }
    }
    const std::string_view number = scope.substr(i, k - i);

    // A unit may follow, but not more digits: "1O5", "1O,5", "12,5" where the mark is a point.
    std::size_t after = k;
    while (after < size && IsLetter(scope[after])) ++after;
    if (digit_at(after)) return {LineFound::kUnclearMark, {}};
    if (after < size && IsMark(scope[after]) && digit_at(after + 1)) {
      const bool delimiter = set != '\0' && used == set && scope[after] != used;
      if (!delimiter) return {LineFound::kUnclearMark, {}};
    }

    const char read_with = used != '\0' ? used : (mark != '\0' ? mark : '.');
    const messwerte::ParseResult parsed = messwerte::ParseNumber(number, read_with);
    if (parsed.status == messwerte::ParseStatus::kOutOfRange) return {LineFound::kOutOfRange, {}};
    if (parsed.status != messwerte::ParseStatus::kOk) return {LineFound::kNoNumber, {}};
    const long double magnitude = std::fabs(parsed.value);
    if (magnitude == 9.9e37L || magnitude == 9.91e37L) return {LineFound::kOverload, {}};
    if (used != '\0' && set == '\0' && found_mark == '\0') found_mark = used;
    return {LineFound::kValue, number, read_with};
  }
  return {LineFound::kNoNumber, {}};
}

std::string NumberText(std::string_view number, char from, char to) {
  std::string text(number);
  if (from != to) {
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text[at] = to;
  }
  return text;
}

}  // namespace recording
