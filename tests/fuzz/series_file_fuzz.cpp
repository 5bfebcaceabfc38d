// libFuzzer target for the loader. Any bytes are either refused with a message or read; a file
// that is read gives, for each of its columns, lines that hold no line break and are UTF-8, as
// many column names as columns, and a preview and header without breaks. The first column's
// lines summarised at once and line by line give the same fields.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "series_file.h"
#include "series_summary.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::uint8_t* data, std::size_t size) {
  std::fprintf(stderr, "%s; input (%zu bytes):", what, size);
  for (std::size_t i = 0; i < size; ++i) std::fprintf(stderr, " %02x", data[i]);
  std::fprintf(stderr, "\n");
  std::abort();
}

bool HasBreak(const QString& text) {
  return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QString error;
  const std::optional<SeriesFile> file = SeriesFile::FromBytes(bytes, QStringLiteral("f"), &error);
  if (!file) {
    if (!error.contains(QStringLiteral("„f“"))) Fail("refused without naming the file", data, size);
    return 0;
  }
  const int columns = file->ColumnCount();
  if (columns < 1) Fail("no column", data, size);
  const QStringList names = file->ColumnNames();
  if (names.size() != columns) Fail("names and columns differ in number", data, size);
  for (const QString& name : names)
    if (name.isEmpty() || HasBreak(name)) Fail("column name empty or with a break", data, size);
  if (HasBreak(file->HeaderKey())) Fail("header key with a break", data, size);
  for (const QStringList& row : file->Preview())
    for (const QString& field : row)
      if (HasBreak(field)) Fail("preview field with a break", data, size);

  for (int column = 0; column < columns && column < 64; ++column) {
    const QByteArray lines = file->Lines(column);
    if (lines.contains('\r')) Fail("a line holds a CR", data, size);
    if (!QByteArrayView(lines).isValidUtf8()) Fail("lines are no UTF-8", data, size);
  }

  const QByteArray first = file->Lines(0);
  const std::string_view text(first.constData(), static_cast<std::size_t>(first.size()));
  messwerte::SeriesSummary at_once('.'), by_line('.');
  at_once.AddLines(text, true);
  std::size_t begin = 0;
  while (begin <= text.size()) {
    const std::size_t end = std::min(text.find('\n', begin), text.size());
    if (begin == text.size() && begin != 0) break;
    by_line.Add(text.substr(begin, end - begin));
    begin = end + 1;
  }
  const auto a = at_once.Finish(), b = by_line.Finish();
  if (a.texts != b.texts || a.errors != b.errors) Fail("summaries differ", data, size);
  return 0;
}
