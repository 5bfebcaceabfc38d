#include "series_file.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr qint64 kLargest = qint64{1} << 30;
constexpr qint64 kBlock = qint64{1} << 20;

std::string_view View(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// memchr must not see the null pointer of an empty view.
bool Contains(std::string_view text, char c) {
  return !text.empty() && std::memchr(text.data(), c, text.size()) != nullptr;
}

bool HasNul(QByteArrayView bytes) {
  return Contains({bytes.data(), static_cast<std::size_t>(bytes.size())}, '\0');
}

QString NotText(const QString& name) {
  return QStringLiteral("„%1“ ist keine Textdatei: sie enthält Null-Bytes.").arg(name);
}

// The bytes of a file as UTF-8 text without a byte order mark; UTF-8 files keep their array.
std::optional<QByteArray> Decode(QByteArray bytes, const QString& name, QString* error) {
  const series::Bom bom = series::DetectBom(bytes);
  const QByteArrayView rest = QByteArrayView(bytes).sliced(bom.length);
  QByteArray text;
  if (bom.encoding != series::Encoding::kUtf8) {
    // UTF-16 holds zero bytes in every ASCII character: look for NUL characters instead.
    QStringDecoder decoder(bom.encoding == series::Encoding::kUtf16LE ? QStringConverter::Utf16LE
                                                                      : QStringConverter::Utf16BE);
    const QString decoded = decoder.decode(rest);
    if (decoded.contains(QChar(u'\0'))) {
      if (error) *error = NotText(name);
      return std::nullopt;
    }
    return decoded.toUtf8();
  }
  if (HasNul(rest)) {
    if (error) *error = NotText(name);
    return std::nullopt;
  }
  // Without a UTF-8 mark, what is not UTF-8 was written in the Windows code page of older lab
  // software; with one, the mark speaks for the text even where a byte is amiss.
  if (rest.isValidUtf8()) return std::move(bytes.remove(0, bom.length));
  // A stray byte after a UTF-8 mark becomes U+FFFD, so the list never holds broken UTF-8.
  if (bom.length > 0) return QString::fromUtf8(rest).toUtf8();
  return series::FromWindows1252(rest).toUtf8();
}

}  // namespace

SeriesFile::SeriesFile(QByteArray text, series::Layout layout)
    : text_(std::move(text)), layout_(layout) {
  // The last line's break starts no further line: without it, the text of a file of one column
  // is the list's text as it stands.
  if (text_.endsWith("\r\n")) {
    text_.chop(2);
  } else if (text_.endsWith('\n') || text_.endsWith('\r')) {
    text_.chop(1);
  }
  const std::string_view all = View(text_);
  const std::size_t end = all.find_first_of("\r\n");
  const std::string_view first = all.substr(0, end);
  if (series::IsHeader(first, layout_)) {
    if (end == std::string_view::npos) {
      body_ = text_.size();
    } else {
      body_ = static_cast<qsizetype>(end) +
              (all[end] == '\r' && end + 1 < all.size() && all[end + 1] == '\n' ? 2 : 1);
    }
  }
}

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
  return Read(std::move(bytes), path, error);
}

std::optional<SeriesFile> SeriesFile::FromBytes(const QByteArray& bytes, const QString& name,
                                                QString* error) {
  return Read(bytes, name, error);
}

std::optional<SeriesFile> SeriesFile::Read(QByteArray bytes, const QString& name, QString* error) {
  if (bytes.size() > kLargest) {
    if (error) {
      *error =
          QStringLiteral("Die Datei „%1“ ist größer als 1 GiB und wird nicht gelesen.").arg(name);
    }
    return std::nullopt;
  }
  std::optional<QByteArray> text = Decode(std::move(bytes), name, error);
  if (!text) return std::nullopt;
  const series::Layout layout = series::DetectLayout(View(*text));
  return SeriesFile(std::move(*text), layout);
}

int SeriesFile::ColumnCount() const { return layout_.columns; }

QStringList SeriesFile::ColumnNames() const {
  QStringList names;
  if (body_ > 0) {
    const std::string_view all = View(text_);
    names = series::Fields(all.substr(0, all.find_first_of("\r\n")), layout_);
  }
  for (qsizetype i = 0; i < layout_.columns; ++i) {
    if (i == names.size()) names.append(QString());
    names[i] = names[i].trimmed();
    if (names[i].isEmpty()) names[i] = QStringLiteral("Spalte %1").arg(i + 1);
  }
  return names;
}

QString SeriesFile::HeaderKey() const {
  if (body_ == 0) return {};
  const std::string_view all = View(text_);
  const std::string_view first = all.substr(0, all.find_first_of("\r\n"));
  return QString::fromUtf8(first.data(), static_cast<qsizetype>(first.size()));
}

QList<QStringList> SeriesFile::Preview(int rows) const {
  QList<QStringList> preview;
  series::ForEachLine(View(text_).substr(static_cast<std::size_t>(body_)),
                      [&](std::string_view line) {
                        if (preview.size() >= rows) return false;
                        preview.append(series::Fields(line, layout_));
                        return true;
                      });
  return preview;
}

QByteArray SeriesFile::Lines(int column) const {
  const std::string_view body = View(text_).substr(static_cast<std::size_t>(body_));
  if (column < 0 || column >= layout_.columns) return {};
  // The usual file: one column, LF, no quotes; its text is the list's text already.
  if (layout_.separator == '\0' && !Contains(body, '\r') && !Contains(body, '"'))
    return body_ == 0 ? text_ : text_.sliced(body_);
  QByteArray lines;
  lines.reserve(static_cast<qsizetype>(body.size()));
  std::string scratch;
  bool first = true;
  series::ForEachLine(body, [&](std::string_view line) {
    if (!first) lines.append('\n');
    first = false;
    const std::string_view field = series::Field(line, layout_, column, scratch);
    lines.append(field.data(), static_cast<qsizetype>(field.size()));
    return true;
  });
  // A break left at the end (the file's last break is gone) ends an empty last line.
  if (!body.empty() && (body.back() == '\n' || body.back() == '\r')) lines.append('\n');
  return lines;
}
