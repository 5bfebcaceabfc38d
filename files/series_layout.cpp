#include "series_layout.h"

#include <QStringDecoder>
#include <algorithm>
#include <vector>

#include "number_text.h"

namespace series {
namespace {

std::string_view Trimmed(std::string_view text, char separator) {
  // A tab that separates fields is no blank.
  const auto blank = [separator](char c) { return c == ' ' || (c == '\t' && separator != '\t'); };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Reads the field that starts at `at`, up to the separator or the line's end; returns where the
// next field starts (past the separator), or npos after the last field. Quotes are taken off
// into `scratch` when there are any; else `field` points into the line.
std::size_t NextField(std::string_view line, std::size_t at, char separator,
                      std::string_view& field, std::string& scratch) {
  std::size_t open = at;
  while (open < line.size() && line[open] == ' ') ++open;
  if (open == line.size() || line[open] != '"') {
    const std::size_t end = separator ? line.find(separator, at) : std::string_view::npos;
    field = line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    return end == std::string_view::npos ? end : end + 1;
  }
  // "…": a doubled quote inside stands for one; text after the closing quote up to the
  // separator is kept as it stands; an unclosed quote runs to the line's end.
  scratch.clear();
  std::size_t i = open + 1;
  while (i < line.size()) {
    if (line[i] == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        scratch += '"';
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    scratch += line[i++];
  }
  const std::size_t end = separator ? line.find(separator, i) : std::string_view::npos;
  const std::size_t stop = end == std::string_view::npos ? line.size() : end;
  scratch.append(Trimmed(line.substr(i, stop - i), separator));
  field = scratch;
  return end == std::string_view::npos ? end : end + 1;
}

// How often `separator` stands in `line` outside quotes.
int CountOutsideQuotes(std::string_view line, char separator) {
  int count = 0;
  bool quoted = false;
  for (const char c : line) {
    if (c == '"')
      quoted = !quoted;
    else if (c == separator && !quoted)
      ++count;
  }
  return count;
}

int FieldCount(std::string_view line, char separator) {
  // Blanks around the line, tabs too, make no fields.
  return separator ? 1 + CountOutsideQuotes(Trimmed(line, '\0'), separator) : 1;
}

}  // namespace

Bom DetectBom(QByteArrayView start) {
  if (start.startsWith("\xEF\xBB\xBF")) return {Encoding::kUtf8, 3};
  if (start.startsWith("\xFF\xFE")) return {Encoding::kUtf16LE, 2};
  if (start.startsWith("\xFE\xFF")) return {Encoding::kUtf16BE, 2};
  return {};
}

Layout DetectLayout(std::string_view sample) {
  std::vector<std::string_view> lines;
  ForEachLine(sample.substr(0, static_cast<std::size_t>(kSampleBytes)),
              [&lines](std::string_view line) {
                if (!Trimmed(line, '\0').empty()) lines.push_back(line);
                return lines.size() < kSampleLines;
              });
  if (lines.empty()) return {};

  const auto qualifies = [&lines](char separator) {
    const auto with = std::count_if(lines.begin(), lines.end(), [separator](std::string_view line) {
      return CountOutsideQuotes(Trimmed(line, '\0'), separator) > 0;
    });
    return with > 0 && 2 * static_cast<std::size_t>(with) >= lines.size();
  };
  // A comma parts fields only where it is no decimal comma: two of them in a line, or one in a
  // line that also holds a decimal point, quotes (a decimal comma then stands inside them), or
  // names.
  const auto comma_parts = [&lines] {
    for (const std::string_view line : lines) {
      const int commas = CountOutsideQuotes(line, ',');
      if (commas >= 2) return true;
      if (commas == 1 &&
          (line.find_first_of(".\"") != std::string_view::npos || IsHeader(line, {',', 2})))
        return true;
    }
    return false;
  };

  Layout layout;
  for (const char separator : {'\t', ';', ','}) {
    if (qualifies(separator) && (separator != ',' || comma_parts())) {
      layout.separator = separator;
      break;
    }
  }
  if (layout.separator) {
    for (const std::string_view line : lines)
      layout.columns = std::max(layout.columns, FieldCount(line, layout.separator));
  }
  return layout;
}

std::string_view Field(std::string_view line, const Layout& layout, int column,
                       std::string& scratch) {
  std::size_t at = 0;
  std::string_view field;
  for (int i = 0; i <= column; ++i) {
    if (at == std::string_view::npos) return {};
    at = NextField(line, at, layout.separator, field, scratch);
  }
  return field;
}

QStringList Fields(std::string_view line, const Layout& layout) {
  QStringList fields;
  std::string scratch;
  std::size_t at = 0;
  while (at != std::string_view::npos && fields.size() < layout.columns) {
    std::string_view field;
    at = NextField(line, at, layout.separator, field, scratch);
    fields.append(QString::fromUtf8(field.data(), static_cast<qsizetype>(field.size())));
  }
  return fields;
}

bool IsNumber(std::string_view text) {
  return messwerte::ParseNumber(text, '.').status != messwerte::ParseStatus::kNotANumber ||
         messwerte::ParseNumber(text, ',').status != messwerte::ParseStatus::kNotANumber;
}

bool IsHeader(std::string_view first_line, const Layout& layout) {
  std::string scratch;
  std::size_t at = 0;
  for (int i = 0; i < layout.columns && at != std::string_view::npos; ++i) {
    std::string_view field;
    at = NextField(first_line, at, layout.separator, field, scratch);
    if (!Trimmed(field, '\0').empty() && !IsNumber(field)) return true;
  }
  return false;
}

QString FromWindows1252(QByteArrayView bytes) {
  QStringDecoder decoder("windows-1252");
  if (decoder.isValid()) return decoder.decode(bytes);
  // Without ICU: Latin-1 but for the printable characters Windows puts at 0x80–0x9F.
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  QString text(bytes.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    text[i] = QChar(byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char16_t{byte});
  }
  return text;
}

}  // namespace series
