#include "series_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "number_text.h"

namespace series {
namespace {

using messwerte::LineBreaks;
using messwerte::ParseNumber;
using messwerte::ParseStatus;

bool Blank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view text, char separator) {
  // A tab that separates fields is no blank.
  const auto blank = [separator](char c) { return c == ' ' || (c == '\t' && separator != '\t'); };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsComment(std::string_view line) {
  const std::string_view text = Trimmed(line, '\0');
  return !text.empty() && text.front() == '#';
}

bool OddQuotes(std::string_view text) {
  return (std::count(text.begin(), text.end(), '"') & 1) != 0;
}

bool Contains(std::string_view text, char c) {
  return !text.empty() && std::memchr(text.data(), c, text.size()) != nullptr;
}

// Reads the field that starts at `at`, up to the separator or the record's end; returns where the
// next field starts (past the separator), or npos after the last field. Quotes are taken off into
// `scratch` when there are any; else `field` points into the record.
std::size_t NextField(std::string_view line, std::size_t at, char separator,
                      std::string_view& field, std::string& scratch) {
  constexpr auto npos = std::string_view::npos;
  if (separator == ' ') {
    while (at < line.size() && Blank(line[at])) ++at;
    if (at >= line.size()) {
      field = {};
      return npos;
    }
  }
  std::size_t open = at;
  while (open < line.size() && line[open] == ' ') ++open;
  const auto find_end = [&](std::size_t from) {
    if (separator == ' ') {
      std::size_t end = from;
      while (end < line.size() && !Blank(line[end])) ++end;
      // Blanks at the end of the record start no further field.
      std::size_t next = end;
      while (next < line.size() && Blank(line[next])) ++next;
      return next == line.size() ? npos : end;
    }
    return separator ? line.find(separator, from) : npos;
  };
  if (open == line.size() || line[open] != '"') {
    const std::size_t end = find_end(at);
    field = line.substr(at, end == npos ? npos : end - at);
    if (separator == ' ') field = Trimmed(field, '\0');
    return end == npos ? end : end + 1;
  }
  // "…": a doubled quote inside stands for one; text after the closing quote up to the
  // separator is kept as it stands; an unclosed quote runs to the record's end.
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
  const std::size_t end = find_end(i);
  const std::size_t stop = end == npos ? line.size() : end;
  scratch.append(Trimmed(line.substr(i, stop - i), separator));
  field = scratch;
  return end == npos ? end : end + 1;
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

template <typename Each>
void ForEachField(std::string_view record, char separator, int columns, Each each) {
  std::string scratch;
  std::size_t at = 0;
  for (int i = 0; i < columns && at != std::string_view::npos; ++i) {
    std::string_view field;
    at = NextField(record, at, separator, field, scratch);
    each(i, field);
  }
}

int FieldCount(std::string_view record, char separator) {
  if (separator == '\0') return 1;
  int count = 0;
  ForEachField(record, separator, 1 << 20, [&count](int, std::string_view) { ++count; });
  return count;
}

bool IsNumberWith(std::string_view text, char decimal) {
  return ParseNumber(text, decimal).status != ParseStatus::kNotANumber;
}

bool IsNumber(std::string_view text) { return IsNumberWith(text, '.') || IsNumberWith(text, ','); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A text that names a column: it starts with a letter or a sign that no number starts with, and
// is no marker of a missing value. "1..5" and "n/a" are values with a typo or none, not names.
bool IsName(std::string_view text) {
  text = Trimmed(text, '\0');
  if (text.empty() || IsNumber(text)) return false;
  const char first = text.front();
  if (IsDigit(first) || first == '+' || first == '-' || first == '.' || first == ',') return false;
  std::string lower;
  for (const char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  static constexpr std::array<std::string_view, 8> kMissing = {
      "n/a", "na", "nan", "null", "none", "inf", "infinity", "#n/a"};
  if (std::find(kMissing.begin(), kMissing.end(), lower) != kMissing.end()) return false;
  return std::any_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || static_cast<unsigned char>(c) >= 0x80;
  });
}

// A record that may be one value with a decimal comma: one comma outside quotes, a digit on either
// side, no decimal point after it, and before it digits that a point may group by thousands only.
bool MayHoldDecimalComma(std::string_view record) {
  if (CountOutsideQuotes(record, ',') != 1 || Contains(record, '"')) return false;
  const std::size_t comma = record.find(',');
  const std::string_view before = Trimmed(record.substr(0, comma), '\0');
  const std::string_view after = record.substr(comma + 1);
  if (before.empty() || after.empty() || !IsDigit(before.back()) || !IsDigit(after.front()))
    return false;
  if (Contains(after, '.')) return false;
  const std::size_t point = before.find('.');
  if (point == std::string_view::npos) return true;
  // 1.013,2: groups of three digits after each point.
  std::size_t run = 0;
  for (std::size_t i = point; i < before.size(); ++i) {
    if (before[i] == '.') {
      if (i != point && run != 3) return false;
      run = 0;
    } else if (IsDigit(before[i])) {
      ++run;
    } else {
      return false;
    }
  }
  return run == 3;
}

struct SampleRecord {
  std::string text;
  bool first = false;  // the first line that is no comment
};

// The records of a file's start, as the reader takes them: comments left out, quoted line breaks
// kept inside a record. `text` ends in a complete line unless `whole`.
std::vector<SampleRecord> SampleRecords(std::string_view text, bool whole) {
  messwerte::LineViews lines = messwerte::SplitLines(text, LineBreaks::kFile);
  if (!whole || lines.back().empty()) lines.pop_back();
  std::vector<SampleRecord> records;
  bool first = true;
  std::size_t i = 0;
  while (i < lines.size() && records.size() < static_cast<std::size_t>(kSampleRecords)) {
    const std::string_view line = lines[i];
    if (IsComment(line)) {
      ++i;
      continue;
    }
    SampleRecord record{std::string(line), first};
    first = false;
    std::size_t next = i + 1;
    if (OddQuotes(line)) {
      bool odd = true;
      std::size_t j = i + 1;
      for (; j < lines.size() && odd && j - i < static_cast<std::size_t>(kLongestRecord); ++j) {
        record.text.append("\n").append(lines[j]);
        if (OddQuotes(lines[j])) odd = false;
      }
      // A quote still open after the longest record ends nothing: the line stands alone. At the
      // sample's end it is not known yet, and the record counts as far as it goes.
      if (odd && j - i >= static_cast<std::size_t>(kLongestRecord)) {
        record.text = std::string(line);
      } else {
        next = j;
      }
    }
    i = next;
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace

std::string_view Field(std::string_view record, const Layout& layout, int column,
                       std::string& scratch) {
  std::size_t at = 0;
  std::string_view field;
  for (int i = 0; i <= column; ++i) {
    if (at == std::string_view::npos) return {};
    at = NextField(record, at, layout.separator, field, scratch);
  }
  if (Contains(field, '\n')) {
    if (field.data() != scratch.data()) scratch.assign(field);
    std::replace(scratch.begin(), scratch.end(), '\n', ' ');
    field = scratch;
  }
  return field;
}

QStringList Fields(std::string_view record, const Layout& layout, bool utf8) {
  QStringList fields;
  Tally tally;
  tally.utf8 = utf8;
  ForEachField(record, layout.separator, layout.columns, [&](int, std::string_view field) {
    QString text = Text(field, layout, tally);
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    fields.append(text);
  });
  return fields;
}

Layout Decide(std::string_view text, const Choices& choices, char locale_decimal) {
  const std::vector<SampleRecord> all = SampleRecords(text, true);
  std::vector<std::string_view> records;
  std::string_view head;
  bool has_head = false;
  for (const SampleRecord& record : all) {
    if (record.first && !Trimmed(record.text, '\0').empty()) {
      head = record.text;
      has_head = true;
    }
    if (!Trimmed(record.text, '\0').empty()) records.push_back(record.text);
  }
  // A first record with a letter in it may be a header: it takes no part in what the values
  // show.
  const bool head_named = has_head && std::any_of(head.begin(), head.end(), [](char c) {
                            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
                          });
  std::vector<std::string_view> data(records.begin() + (head_named ? 1 : 0), records.end());

  Layout layout;
  const auto qualifies = [&records](char separator) {
    const auto with = std::count_if(records.begin(), records.end(), [separator](auto record) {
      return CountOutsideQuotes(Trimmed(record, '\0'), separator) > 0;
    });
    return with > 0 && 2 * static_cast<std::size_t>(with) >= records.size();
  };
  if (qualifies('\t')) {
    layout.separator = '\t';
  } else if (qualifies(';')) {
    layout.separator = ';';
  } else if (qualifies(',')) {
    // A comma the user names as the decimal separator parts no columns either.
    if (choices.decimal == ',' || std::any_of(data.begin(), data.end(), MayHoldDecimalComma))
      layout.comma_is_decimal = true;
    else
      layout.separator = ',';
  }
  if (layout.separator == '\0' && !data.empty()) {
    // Runs of blanks between a steady number of fields, one column of them numbers.
    const int count = FieldCount(data.front(), ' ');
    const bool steady = count >= 2 && std::all_of(data.begin(), data.end(), [count](auto record) {
                          return FieldCount(record, ' ') == count;
                        });
    Layout blanks;
    blanks.separator = ' ';
    blanks.columns = count;
    bool numeric = false;
    for (int column = 0; steady && column < count && !numeric; ++column) {
      numeric = std::all_of(data.begin(), data.end(), [&](auto record) {
        std::string scratch;
        return IsNumber(Field(record, blanks, column, scratch));
      });
    }
    if (steady && numeric) {
      layout.separator = ' ';
      layout.columns = count;
    }
  }
  if (layout.separator != '\0' && layout.separator != ' ') {
    for (const std::string_view record : records)
      layout.columns = std::max(layout.columns, FieldCount(Trimmed(record, '\0'), layout.separator));
  }

  // A header names columns: a name among its fields and no number.
  if (has_head) {
    bool name = false, number = false;
    ForEachField(head, layout.separator == '\0' ? '\0' : layout.separator, layout.columns,
                 [&](int, std::string_view field) {
                   name = name || IsName(field);
                   number = number || IsNumber(field);
                 });
    layout.header_found = name && !number;
  }
  layout.header = choices.header.value_or(layout.header_found) && has_head;
  if (layout.header) layout.header_text = std::string(head);
  for (const SampleRecord& record : all) {
    if (layout.rows.size() == static_cast<std::size_t>(kPreviewRows)) break;
    if ((layout.header && record.text.data() == head.data()) || Trimmed(record.text, '\0').empty())
      continue;
    layout.rows.push_back(record.text);
  }

  // The values' decimal separator: what they show, else the locale's.
  std::size_t points = 0, commas = 0;
  std::vector<int> numbers(static_cast<std::size_t>(layout.columns)),
      others(static_cast<std::size_t>(layout.columns));
  for (std::size_t r = 0; r < records.size(); ++r) {
    if (layout.header && r == 0 && records[0].data() == head.data()) continue;
    ForEachField(records[r], layout.separator, layout.columns, [&](int i, std::string_view field) {
      const bool point = IsNumberWith(field, '.'), comma = IsNumberWith(field, ',');
      points += point && !comma;
      commas += comma && !point;
      if (point || comma)
        ++numbers[static_cast<std::size_t>(i)];
      else if (!Trimmed(field, '\0').empty())
        ++others[static_cast<std::size_t>(i)];
    });
  }
  if (choices.decimal) {
    layout.decimal = *choices.decimal;
    layout.decimal_chosen = true;
  } else if (points > 0 || commas > 0) {
    layout.decimal = points > commas ? '.' : commas > points ? ',' : locale_decimal;
    layout.decimal_found = true;
  } else {
    layout.decimal = locale_decimal;
  }
  for (int i = 0; i < layout.columns; ++i) {
    if (numbers[static_cast<std::size_t>(i)] > 0 && others[static_cast<std::size_t>(i)] == 0) {
      layout.first_numeric_column = i;
      break;
    }
  }
  return layout;
}

Reader::Reader(const Choices& choices, char locale_decimal, LineSink& sink)
    : choices_(choices), locale_decimal_(locale_decimal), sink_(sink) {}

void Reader::Feed(std::string_view bytes, bool last) {
  if (not_text_ || stopped_) return;
  Decode(bytes, last);
  if (not_text_) return;
  if (!started_) {
    if (!last && text_.size() < kSampleBytes) return;
    Start(last);
    if (stopped_) return;
  }
  TakeLines(last);
}

void Reader::Decode(std::string_view bytes, bool last) {
  if (first_bytes_) {
    // A mark split across reads: pipes may give one byte at a time.
    head_.append(bytes);
    if (head_.size() < 3 && !last) return;
    first_bytes_ = false;
    const std::string head = std::move(head_);
    std::size_t mark = 0;
    if (head.starts_with("\xEF\xBB\xBF")) {
      mark = 3;
    } else if (head.starts_with("\xFF\xFE")) {
      layout_.encoding = Encoding::kUtf16LE;
      mark = 2;
    } else if (head.starts_with("\xFE\xFF")) {
      layout_.encoding = Encoding::kUtf16BE;
      mark = 2;
    }
    layout_.bom = mark > 0;
    if (layout_.encoding != Encoding::kUtf8)
      utf16_.emplace(layout_.encoding == Encoding::kUtf16LE ? QStringConverter::Utf16LE
                                                            : QStringConverter::Utf16BE);
    Decode(std::string_view(head).substr(mark), last);
    return;
  }
  if (utf16_) {
    // UTF-16 holds zero bytes in every ASCII character: look for NUL characters instead.
    const QString decoded = utf16_->decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (decoded.contains(QChar(u'\0'))) {
      not_text_ = true;
      return;
    }
    const QByteArray utf8 = decoded.toUtf8();
    text_.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    return;
  }
  if (Contains(bytes, '\0')) {
    not_text_ = true;
    return;
  }
  text_.append(bytes);
}

void Reader::Start(bool last) {
  started_ = true;
  std::string_view sample(text_);
  bool whole = last && sample.size() <= kSampleBytes;
  if (!whole) {
    sample = sample.substr(0, kSampleBytes);
    const std::size_t end = sample.find_last_of("\r\n");
    sample = end == std::string_view::npos ? std::string_view() : sample.substr(0, end + 1);
  }
  const Layout decided = Decide(sample, choices_, locale_decimal_);
  const Encoding encoding = layout_.encoding;
  const bool bom = layout_.bom;
  layout_ = decided;
  layout_.encoding = encoding;
  layout_.bom = bom;
  header_pending_ = true;
  if (!sink_.Decided(layout_)) stopped_ = true;
}

void Reader::TakeLines(bool last) {
  std::string_view text(text_);
  std::size_t cut = text.size();
  // A CR at the end may be the start of CR LF or CR CR LF.
  if (!last)
    while (cut > 0 && text[cut - 1] == '\r') --cut;
  messwerte::SplitLines(text.substr(0, cut), LineBreaks::kFile, lines_);
  const messwerte::LineViews& lines = lines_;
  std::size_t complete = lines.size() - 1;
  std::size_t taken = static_cast<std::size_t>(lines.back().data() - text.data());
  if (last) {
    // The last line's break starts no further line.
    complete = lines.back().empty() ? lines.size() - 1 : lines.size();
    taken = text.size();
  }
  if (tally_.utf8 && !utf16_)
    tally_.utf8 = QByteArrayView(text.data(), static_cast<qsizetype>(taken)).isValidUtf8();

  // The usual file: one column of values without quotes, each line a value as it stands.
  const bool plain = layout_.separator == '\0' && !Contains(text.substr(0, taken), '"');
  constexpr std::size_t kNone = ~std::size_t{0};
  std::size_t run = kNone;
  const auto pass_run = [&](std::size_t end) {
    if (run == kNone) return;
    sink_.Take(std::span<const std::string_view>(lines.data() + run, end - run),
               next_line_ + static_cast<std::int64_t>(run));
    run = kNone;
  };
  for (std::size_t i = 0; i < complete; ++i) {
    const std::string_view line = lines[i];
    if (plain && open_.empty() && !ended_ && !header_pending_ && !line.empty() &&
        static_cast<unsigned char>(line.front()) > '#') {
      if (run == kNone) {
        Flush();
        run = i;
      }
      continue;
    }
    pass_run(i);
    Line(line, next_line_ + static_cast<std::int64_t>(i));
  }
  pass_run(complete);
  next_line_ += static_cast<std::int64_t>(complete);
  tally_.lines = next_line_ - 1;
  if (last && !open_.empty()) {
    // A quote still open at the end of the file: its record runs to the end.
    std::string record;
    for (const std::string& part : open_) record.append(record.empty() ? "" : "\n").append(part);
    open_.clear();
    Record(record, open_line_);
    Flush();
  }
  Flush();
  if (last) {
    text_.clear();
    text_.shrink_to_fit();
  } else {
    text_.erase(0, taken);
  }
}

void Reader::Line(std::string_view line, std::int64_t number) {
  if (!open_.empty()) {
    open_.emplace_back(line);
    const bool closed = OddQuotes(line);
    if (closed || open_.size() == static_cast<std::size_t>(kLongestRecord)) {
      std::deque<std::string> parts = std::move(open_);
      open_.clear();
      std::string record;
      if (closed) {
        for (const std::string& part : parts) record.append(record.empty() ? "" : "\n").append(part);
        Record(record, open_line_);
      } else {
        // No closing quote in reach: the first line stands alone, the others are read again.
        const std::int64_t first = open_line_;
        Record(parts.front(), first);
        for (std::size_t i = 1; i < parts.size(); ++i)
          Line(parts[i], first + static_cast<std::int64_t>(i));
      }
      // The values may point into the joined lines: passed on before these go.
      Flush();
    }
    return;
  }
  if (IsComment(line)) {
    if (tally_.comments++ == 0) tally_.first_comment = number;
    return;
  }
  if (OddQuotes(line)) {
    open_.emplace_back(line);
    open_line_ = number;
    return;
  }
  Record(line, number);
}

void Reader::Record(std::string_view record, std::int64_t number) {
  if (header_pending_) {
    header_pending_ = false;
    if (layout_.header) {
      layout_.header_line = number;
      return;
    }
  }
  if (layout_.separator == '\0') {
    // One column: an empty line ends the series, as in a typed list; the list keeps it.
    if (record.empty()) {
      if (!ended_) {
        ended_ = true;
        tally_.end_line = number;
      }
    } else if (ended_) {
      if (tally_.after_end++ == 0) tally_.first_after_end = number;
      tally_.last_after_end = number;
    }
    std::string scratch;
    Value(Field(record, layout_, 0, scratch), scratch, number);
    return;
  }
  // A table: an empty cell is a missing value; empty lines between rows are no cells at all, but
  // count as missing once a row follows them.
  if (Trimmed(record, '\0').empty()) {
    if (empty_rows_++ == 0) first_empty_row_ = number;
    return;
  }
  if (empty_rows_ > 0) {
    if (tally_.gaps == 0) tally_.first_gap = first_empty_row_;
    tally_.gaps += empty_rows_;
    empty_rows_ = 0;
  }
  std::string scratch;
  const std::string_view value = Field(record, layout_, choices_.column, scratch);
  if (Trimmed(value, layout_.separator).empty()) {
    Gap(number);
    return;
  }
  Value(value, scratch, number);
}

void Reader::Gap(std::int64_t number) {
  if (tally_.gaps++ == 0) tally_.first_gap = number;
}

void Reader::Value(std::string_view value, const std::string& scratch, std::int64_t number) {
  if (values_.empty() || number != run_next_) {
    Flush();
    run_first_ = number;
  }
  // A value taken out of quotes lives in `scratch`: it is kept until the run is passed on.
  const bool changed = !value.empty() && value.data() >= scratch.data() &&
                       value.data() < scratch.data() + scratch.size();
  values_.push_back(changed ? std::string_view(changed_.emplace_back(value)) : value);
  run_next_ = number + 1;
}

void Reader::Flush() {
  if (!values_.empty()) sink_.Take(values_, run_first_);
  values_.clear();
  changed_.clear();
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

QString Text(std::string_view bytes, const Layout& layout, const Tally& tally) {
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
  // With a UTF-8 mark the mark speaks for the text even where a byte is amiss: U+FFFD for it.
  if (tally.utf8 || layout.bom) return QString::fromUtf8(view);
  return FromWindows1252(view);
}

}  // namespace series
