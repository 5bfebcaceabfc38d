#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "measurement_list.h"

// The one reading of series files, for the window and the command line alike: bytes, block by
// block, become the lines of one column. Every decision about a file is made here, once, from its
// first lines (at most kSampleBytes of text): the encoding, the column separator, the decimal
// separator of the values and whether the first line is a header.
namespace series {

enum class Encoding { kUtf8, kUtf16LE, kUtf16BE };

inline constexpr std::size_t kSampleBytes = 64 * 1024;
inline constexpr int kSampleRecords = 256;
// A quote left open ends its record after this many lines: an inch sign does not swallow a file.
inline constexpr int kLongestRecord = 64;
inline constexpr int kPreviewRows = 10;

// What the user decides instead of the reader.
struct Choices {
  int column = 0;                // from 0
  std::optional<char> decimal;   // '.' or ','
  std::optional<bool> header;
};

// What was decided about a file.
struct Layout {
  Encoding encoding = Encoding::kUtf8;
  bool bom = false;
  char separator = '\0';  // '\0' for one column; '\t', ';', ','; ' ' for runs of blanks
  int columns = 1;
  bool header = false;       // the first line that is no comment names the columns
  bool header_found = false;  // ... as the reader decided, not the user
  std::string header_text;   // that line as read, its bytes as in the file (UTF-8 or not)
  std::int64_t header_line = 0;
  char decimal = '.';           // the values' decimal separator
  bool decimal_found = false;   // seen in the values (else the locale's, or the user's)
  bool decimal_chosen = false;  // the user's
  bool comma_is_decimal = false;  // commas stood in the lines, but as decimal commas
  int first_numeric_column = 0;
  std::vector<std::string> rows;  // the first kPreviewRows records after the header, as read
};

// What was left out while reading, in the file's line numbers (from 1).
struct Tally {
  std::int64_t lines = 0;  // lines of the file read so far
  std::int64_t comments = 0, first_comment = 0;
  std::int64_t gaps = 0, first_gap = 0;  // empty cells of the column in a table
  std::int64_t end_line = 0;             // one column: the empty line that ends the series
  std::int64_t after_end = 0, first_after_end = 0, last_after_end = 0;  // lines with text after it
  bool utf8 = true;  // every byte so far is UTF-8; else the file is Windows-1252
};

class LineSink {
 public:
  virtual ~LineSink() = default;
  // Called once the layout is decided, before any value; false stops the reading.
  virtual bool Decided(const Layout&) { return true; }
  // The column's texts of consecutive lines of the file, the first of them line `first_line`.
  // Their bytes are as in the file (Tally::utf8 tells whether that is UTF-8); none holds a line
  // break. Valid during the call only.
  virtual void Take(std::span<const std::string_view> values, std::int64_t first_line) = 0;
};

class Reader {
 public:
  // `locale_decimal`: the decimal separator where the values show none.
  Reader(const Choices& choices, char locale_decimal, LineSink& sink);

  // Takes the next bytes of the file; the end of the file with `last`. Does nothing more once
  // the file is refused or the sink stopped the reading.
  void Feed(std::string_view bytes, bool last = false);
  void Finish() { Feed({}, true); }

  // The file holds NUL bytes or characters: it is no text.
  bool NotText() const { return not_text_; }
  bool Stopped() const { return stopped_; }
  bool Started() const { return started_; }
  const Layout& layout() const { return layout_; }
  const Tally& tally() const { return tally_; }

 private:
  void Decode(std::string_view bytes, bool last);
  void Start(bool last);
  void TakeLines(bool last);
  void Line(std::string_view line, std::int64_t number);
  void Record(std::string_view record, std::int64_t number);
  // Adds `value` of line `number` to the run; `value` may point into `scratch`.
  void Value(std::string_view value, const std::string& scratch, std::int64_t number);
  void Flush();
  void Gap(std::int64_t number);

  Choices choices_;
  char locale_decimal_;
  LineSink& sink_;
  Layout layout_;
  Tally tally_;
  bool not_text_ = false;
  bool stopped_ = false;
  bool started_ = false;
  bool first_bytes_ = true;
  std::string head_;  // the first bytes while a byte order mark may still be incomplete
  std::optional<QStringDecoder> utf16_;
  std::string text_;  // decoded text not yet taken
  std::int64_t next_line_ = 1;  // the number of the line text_ starts with
  messwerte::LineViews lines_;  // the lines of text_, kept for their memory
  bool header_pending_ = false;
  bool ended_ = false;
  std::int64_t empty_rows_ = 0, first_empty_row_ = 0;  // empty lines of a table, not yet gaps
  std::deque<std::string> open_;          // lines of a record whose quote is still open
  std::int64_t open_line_ = 0;
  std::vector<std::string_view> values_;  // a run of values of consecutive lines
  std::int64_t run_first_ = 0, run_next_ = 0;
  std::deque<std::string> changed_;  // values of the run that differ from their lines' text
};

// Decides the layout from the start of a file's text (UTF-8 or Windows-1252 bytes, no byte order
// mark): `text` ends in a complete line unless it is the whole file.
Layout Decide(std::string_view text, const Choices& choices, char locale_decimal);

// Field `column` (from 0) of `record`, quotes taken off and its line breaks made blanks; the view
// points into `record` or into `scratch`. Empty where the record has fewer fields.
std::string_view Field(std::string_view record, const Layout& layout, int column,
                       std::string& scratch);
// All fields of `record`, at most `layout.columns` of them, as text of `encoding_utf8`.
QStringList Fields(std::string_view record, const Layout& layout, bool utf8);

// Bytes of the file as text: UTF-8, or Windows-1252 where the file is not UTF-8 (U+FFFD for a
// stray byte after a UTF-8 mark).
QString Text(std::string_view bytes, const Layout& layout, const Tally& tally);
QString FromWindows1252(QByteArrayView bytes);

}  // namespace series
