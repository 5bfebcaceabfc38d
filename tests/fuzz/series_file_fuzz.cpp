// libFuzzer target for the one reader of series files. The first byte picks a block size and
// the choices, the rest is the file. Read in blocks of that size, the file gives exactly the
// lines, decisions and tallies that reading it whole gives; no line holds a line break. A file
// that the window's loader accepts gives, for each column, lines that are UTF-8 without CR, and as
// many column names as columns.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "series_file.h"
#include "series_reader.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::uint8_t* data, std::size_t size) {
  std::fprintf(stderr, "%s; input (%zu bytes):", what, size);
  for (std::size_t i = 0; i < size; ++i) std::fprintf(stderr, " %02x", data[i]);
  std::fprintf(stderr, "\n");
  std::abort();
}

class Collect final : public series::LineSink {
 public:
  void Take(std::span<const std::string_view> values, std::int64_t first_line) override {
    for (const std::string_view value : values) {
      if (value.find_first_of("\r\n") != std::string_view::npos ||
          value.find("\xE2\x80\xA8") != std::string_view::npos ||
          value.find("\xE2\x80\xA9") != std::string_view::npos)
        broken = true;
      if (first_line <= last) disordered = true;
      last = first_line++;
      text.append(std::to_string(last)).append(":").append(value).append("\n");
    }
  }
  std::string text;
  std::int64_t last = 0;
  bool broken = false;
  bool disordered = false;
};

struct Reading {
  std::string values;
  series::Layout layout;
  series::Tally tally;
  bool not_text;
};

bool operator==(const series::Layout& a, const series::Layout& b) {
  return a.encoding == b.encoding && a.bom == b.bom && a.separator == b.separator &&
         a.columns == b.columns && a.header == b.header && a.header_text == b.header_text &&
         a.header_line == b.header_line && a.decimal == b.decimal &&
         a.first_numeric_column == b.first_numeric_column && a.rows == b.rows;
}

bool operator==(const series::Tally& a, const series::Tally& b) {
  return a.lines == b.lines && a.comments == b.comments && a.first_comment == b.first_comment &&
         a.gaps == b.gaps && a.first_gap == b.first_gap && a.end_line == b.end_line &&
         a.after_end == b.after_end && a.first_after_end == b.first_after_end &&
         a.last_after_end == b.last_after_end && a.utf8 == b.utf8;
}

Reading Read(std::string_view bytes, std::size_t block, const series::Choices& choices,
             const std::uint8_t* data, std::size_t size) {
  Collect sink;
  series::Reader reader(choices, ',', sink);
  for (std::size_t at = 0; at < bytes.size(); at += block) reader.Feed(bytes.substr(at, block));
  reader.Finish();
  if (sink.broken) Fail("a line holds a line break", data, size);
  if (sink.disordered) Fail("line numbers out of order", data, size);
  return {sink.text, reader.layout(), reader.tally(), reader.NotText()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t pick = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  static constexpr std::size_t kBlocks[8] = {1, 2, 3, 5, 7, 64, 4096, 65536};
  series::Choices choices;
  choices.column = (pick >> 3) & 3;
  if (pick & 0x20) choices.decimal = pick & 0x40 ? ',' : '.';
  if (pick & 0x80) choices.header = (pick & 0x40) != 0;

  const Reading whole = Read(bytes, bytes.size() + 1, choices, data, size);
  const Reading blocks = Read(bytes, kBlocks[pick & 7], choices, data, size);
  if (whole.not_text != blocks.not_text) Fail("refused in one reading only", data, size);
  if (!whole.not_text) {
    if (whole.values != blocks.values) Fail("blocks give other lines", data, size);
    if (!(whole.layout == blocks.layout)) Fail("blocks give another layout", data, size);
    if (!(whole.tally == blocks.tally)) Fail("blocks give another tally", data, size);
  }

  // The window's loader over the same bytes.
  const QByteArray file_bytes(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QString error;
  const std::optional<SeriesFile> file = SeriesFile::FromBytes(file_bytes, QStringLiteral("f"), &error);
  if (!file) {
    if (!error.contains(QStringLiteral("„f“"))) Fail("refused without naming the file", data, size);
    return 0;
  }
  const int columns = file->ColumnCount();
  if (columns < 1) Fail("no column", data, size);
  const QStringList names = file->ColumnNames(choices);
  if (names.size() != file->Decide(choices).columns) Fail("names and columns differ", data, size);
  for (int column = 0; column < columns && column < 16; ++column) {
    series::Choices each = choices;
    each.column = column;
    const std::string lines = file->Read(each, ',').lines;
    if (lines.find('\r') != std::string::npos) Fail("a line holds a CR", data, size);
    if (!QByteArrayView(lines.data(), static_cast<qsizetype>(lines.size())).isValidUtf8())
      Fail("lines are no UTF-8", data, size);
  }
  return 0;
}
