#include "series_file.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

#include "number_text.h"

namespace {

constexpr qint64 kLargest = qint64{1} << 30;
constexpr qsizetype kBlock = qsizetype{1} << 20;

// Keeps nothing: the reading stops once the layout is decided.
class LayoutOnly final : public series::LineSink {
 public:
  bool Decided(const series::Layout&) override { return false; }
  void Take(std::span<const std::string_view>, std::int64_t) override {}
};

// Feeds `bytes` to `reader` a block at a time, as a file is read.
void ReadAll(const QByteArray& bytes, series::Reader& reader) {
  for (qsizetype at = 0; at < bytes.size() && !reader.Stopped() && !reader.NotText(); at += kBlock)
    reader.Feed(std::string_view(bytes.constData() + at,
                                 static_cast<std::size_t>(std::min(kBlock, bytes.size() - at))));
  reader.Finish();
}

QString NotText(const QString& name) {
  return QStringLiteral("„%1“ ist keine Textdatei: sie enthält Null-Bytes.").arg(name);
}

}  // namespace

SeriesFile::SeriesFile(QByteArray bytes, bool utf8)
    : bytes_(std::move(bytes)), utf8_(utf8), layout_(Decide()) {}

std::optional<SeriesFile> SeriesFile::Open(const QString& path, QString* error) {
  const QFileInfo info(path);
  const auto refuse = [error](const QString& message) {
    if (error) *error = message;
    return std::nullopt;
  };
  if (!info.exists()) return refuse(QStringLiteral("Die Datei „%1“ gibt es nicht.").arg(path));
  if (info.isDir()) {
    return refuse(QStringLiteral("„%1“ ist ein Ordner, keine Datei.").arg(path));
  }
  if (info.size() > kLargest) {
    return refuse(
        QStringLiteral("Die Datei „%1“ ist größer als 1 GiB und wird nicht gelesen.").arg(path));
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    return refuse(file.error() == QFileDevice::PermissionsError
                      ? QStringLiteral("Die Datei „%1“ darf nicht gelesen werden.").arg(path)
                      : QStringLiteral("Die Datei „%1“ kann nicht gelesen werden.").arg(path));
  }
  // Straight into one array of the file's size; a file that grows meanwhile, or one that tells
  // no size (a pipe), is read on in blocks up to one byte more than allowed.
  QByteArray bytes(std::min(info.size(), kLargest) + 1, Qt::Uninitialized);
  qint64 filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (filled > kLargest) break;
      bytes.resize(std::min(filled * 2, kLargest + 1));
    }
    const qint64 got = file.read(bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      return refuse(QStringLiteral("Die Datei „%1“ kann nicht gelesen werden.").arg(path));
    }
    if (got == 0) break;
    filled += got;
  }
  bytes.truncate(filled);
  return FromBytes(bytes, path, error);
}

std::optional<SeriesFile> SeriesFile::FromBytes(const QByteArray& bytes, const QString& name,
                                                QString* error) {
  if (bytes.size() > kLargest) {
    if (error) {
      *error =
          QStringLiteral("Die Datei „%1“ ist größer als 1 GiB und wird nicht gelesen.").arg(name);
    }
    return std::nullopt;
  }
  // NUL bytes anywhere refuse the file before anything is shown; in UTF-16 a NUL character.
  bool nul = false, utf8 = true;
  if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
    for (qsizetype i = 2; i + 1 < bytes.size() && !nul; i += 2)
      nul = bytes[i] == '\0' && bytes[i + 1] == '\0';
  } else {
    nul = bytes.contains('\0');
    utf8 = QByteArrayView(bytes).sliced(bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0).isValidUtf8();
  }
  if (nul) {
    if (error) *error = NotText(name);
    return std::nullopt;
  }
  return SeriesFile(bytes, utf8);
}

series::Layout SeriesFile::Decide(const series::Choices& choices) const {
  LayoutOnly sink;
  series::Reader reader(choices, '.', sink);
  ReadAll(bytes_, reader);
  series::Layout layout = reader.layout();
  if (!choices.decimal && !layout.decimal_found) layout.decimal = '\0';
  return layout;
}

QStringList SeriesFile::ColumnNames(const series::Choices& choices) const {
  const series::Layout layout = Decide(choices);
  QStringList names;
  if (layout.header) names = series::Fields(layout.header_text, layout, utf8_);
  for (qsizetype i = 0; i < layout.columns; ++i) {
    if (i == names.size()) names.append(QString());
    names[i] = names[i].trimmed();
    if (names[i].isEmpty()) names[i] = QStringLiteral("Spalte %1").arg(i + 1);
  }
  names.resize(layout.columns);
  return names;
}

QString SeriesFile::HeaderKey() const {
  if (!layout_.header) return {};
  series::Tally tally;
  tally.utf8 = utf8_;
  return series::Text(layout_.header_text, layout_, tally);
}

QList<QStringList> SeriesFile::Preview(int rows, const series::Choices& choices) const {
  const series::Layout layout = Decide(choices);
  QList<QStringList> preview;
  for (const std::string& row : layout.rows) {
    if (preview.size() >= rows) break;
    preview.append(series::Fields(row, layout, utf8_));
  }
  return preview;
}

namespace {

// The list's text: the values one a line, with the list's decimal separator.
class ListSink final : public series::LineSink {
 public:
  ListSink(std::string& lines, char decimal) : lines_(lines), decimal_(decimal) {}
  bool Decided(const series::Layout& layout) override {
    from_ = decimal_ && layout.decimal != decimal_ ? layout.decimal : '\0';
    return true;
  }
  void Take(std::span<const std::string_view> values, std::int64_t) override {
    if (!from_ && TakeWhole(values)) return;
    for (const std::string_view value : values) {
      if (!first_) lines_ += '\n';
      first_ = false;
      lines_.append(WithDecimal(value, from_, decimal_, scratch_));
    }
  }

 private:
  // Lines that stand in the file one after the other, parted by LF alone, go in as one piece.
  bool TakeWhole(std::span<const std::string_view> values) {
    const char* begin = values.front().data();
    const char* end = values.back().data() + values.back().size();
    std::size_t length = values.size() - 1;
    for (const std::string_view value : values) length += value.size();
    const std::string_view whole(begin, static_cast<std::size_t>(end - begin));
    if (whole.size() != length || whole.find_first_of("\r\xE2") != std::string_view::npos)
      return false;
    if (!first_) lines_ += '\n';
    first_ = false;
    lines_.append(whole);
    return true;
  }

  std::string& lines_;
  char decimal_;
  char from_ = '\0';
  bool first_ = true;
  std::string scratch_;
};

}  // namespace

std::string_view WithDecimal(std::string_view value, char from, char to, std::string& scratch) {
  if (!from) return value;
  const std::size_t at = value.find(from);
  if (at == std::string_view::npos ||
      messwerte::ParseNumber(value, from).status == messwerte::ParseStatus::kNotANumber)
    return value;
  scratch.assign(value);
  scratch[at] = to;
  return scratch;
}

SeriesFile::Loaded SeriesFile::Feed(const series::Choices& choices, char decimal,
                                    series::LineSink& sink) const {
  Loaded loaded;
  series::Reader reader(choices, decimal, sink);
  ReadAll(bytes_, reader);
  loaded.layout = reader.layout();
  loaded.tally = reader.tally();
  return loaded;
}

SeriesFile::Loaded SeriesFile::Read(const series::Choices& choices, char decimal) const {
  std::string lines;
  // Room for the whole file at once: grown by doubling, the text would be held twice and a half
  // at the last growth. What a narrower column leaves unused is never touched and costs nothing.
  lines.reserve(static_cast<std::size_t>(bytes_.size()) + 1);
  ListSink sink(lines, decimal);
  Loaded loaded = Feed(choices, decimal, sink);
  loaded.lines = std::move(lines);
  if (!loaded.tally.utf8)
    loaded.lines = series::Text(loaded.lines, loaded.layout, loaded.tally).toUtf8().toStdString();
  return loaded;
}

QByteArray SeriesFile::Lines(int column) const {
  if (column < 0 || column >= layout_.columns) return {};
  series::Choices choices;
  choices.column = column;
  const std::string lines = Read(choices, '\0').lines;
  return QByteArray(lines.data(), static_cast<qsizetype>(lines.size()));
}
