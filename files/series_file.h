#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "series_layout.h"

// A file of measurement values as the program reads it, for the window and the command line
// alike: its bytes decoded (UTF-8 with or without BOM, UTF-16 with BOM, else Windows-1252), parted
// into lines at LF, CR LF or CR and, where the lines hold several fields parted by ';', a tab, or
// ',' beside a decimal point, into columns. A first line that is no number in its column is a
// header: it names the columns and is no line of the list.
class SeriesFile {
 public:
  // Reads the file at `path`. A file that does not exist, cannot be read, is a folder, holds NUL
  // bytes or is larger than 1 GiB is refused: nullopt, and `error` gets a German message that
  // names the file.
  static std::optional<SeriesFile> Open(const QString& path, QString* error);
  // The same for bytes already read, such as standard input; `name` stands for them in messages.
  static std::optional<SeriesFile> FromBytes(const QByteArray& bytes, const QString& name,
                                             QString* error);

  // 1 for a file of one column.
  int ColumnCount() const;
  // The header's fields, or "Spalte 1", "Spalte 2", … where there is no header.
  QStringList ColumnNames() const;
  // The header line as read, to remember a choice of column by; empty without a header.
  QString HeaderKey() const;
  // The first `rows` lines after the header, parted into their fields.
  QList<QStringList> Preview(int rows = 10) const;
  // The list's lines for column `column` (from 0): UTF-8, '\n' between lines, quotes taken off,
  // no header. A row with too few fields gives an empty line at its place.
  QByteArray Lines(int column) const;

 private:
  SeriesFile(QByteArray text, series::Layout layout);
  static std::optional<SeriesFile> Read(QByteArray bytes, const QString& name, QString* error);

  QByteArray text_;  // UTF-8, without a byte order mark, line breaks as in the file
  series::Layout layout_;
  qsizetype body_ = 0;  // where the first line after the header starts
};
