#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "series_reader.h"

// A file of measurement values as the window opens it: its bytes kept whole, read through the one
// reader of series files (series_reader.h) for the column and the decisions the user settles on.
// `value` with `to` for its decimal separator where it is a number written with `from` instead,
// else as it is; the changed text goes into `scratch`. How Read makes a file's values the list's.
std::string_view WithDecimal(std::string_view value, char from, char to, std::string& scratch);

class SeriesFile {
 public:
  // Reads the file at `path`. A file that does not exist, cannot be read, is a folder, holds NUL
  // bytes or is larger than 1 GiB is refused: nullopt, and `error` gets a German message that
  // names the file.
  static std::optional<SeriesFile> Open(const QString& path, QString* error);
  // The same for bytes already read, such as standard input; `name` stands for them in messages.
  static std::optional<SeriesFile> FromBytes(const QByteArray& bytes, const QString& name,
                                             QString* error);

  // What the reader decides for `choices` (the column takes no part in it); the decimal separator
  // '\0' where the values show none.
  series::Layout Decide(const series::Choices& choices = {}) const;

  // 1 for a file of one column.
  int ColumnCount() const { return layout_.columns; }
  // The header's fields, or "Spalte 1", "Spalte 2", … where there is none.
  QStringList ColumnNames(const series::Choices& choices = {}) const;
  // The first line that is no comment, as read, to remember a choice of column by; empty where
  // it is no header.
  QString HeaderKey() const;
  // The first `rows` lines after the header, parted into their fields.
  QList<QStringList> Preview(int rows = 10, const series::Choices& choices = {}) const;

  struct Loaded {
    std::string lines;  // UTF-8, '\n' between lines
    series::Layout layout;
    series::Tally tally;
  };
  // The list's lines for `choices`: the column's values without header, comments and empty cells;
  // numbers written with another decimal separator than `decimal` get that one ('\0': none do).
  Loaded Read(const series::Choices& choices, char decimal) const;
  // The same values handed to `sink` as the reader takes them from the file, for a caller that
  // keeps none of the text: each value as in the file (see WithDecimal). The layout and what was
  // left out come with the result's empty `lines`.
  Loaded Feed(const series::Choices& choices, char decimal, series::LineSink& sink) const;
  // The column's lines as the file writes them.
  QByteArray Lines(int column) const;

 private:
  SeriesFile(QByteArray bytes, bool utf8);

  QByteArray bytes_;  // as in the file
  bool utf8_;         // every byte after a mark is UTF-8
  series::Layout layout_;
};
