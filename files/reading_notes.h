#pragma once

#include <QString>
#include <QStringList>

#include "series_reader.h"

// What a reading decided or left out, in German sentences that name the file's lines: the window
// shows them after a file is opened, the command line prints them as notices.
namespace series {

// The lines, cells and comments that took no part, one sentence each.
QStringList LeftOut(const Tally& tally);

// The values' decimal separator where it is not `locale_decimal` and the user did not choose it;
// empty otherwise. `converted`: the values were written with the locale's separator (the window's
// list); else they were read as they stand.
QString DecimalNote(const Layout& layout, char locale_decimal, bool converted);

// The name of a decimal separator: "Punkt", "Komma".
QString DecimalName(char decimal);

}  // namespace series

namespace series {

// The window's notice after a file is opened: the file, the column and the header where the file
// has them, a changed decimal separator, and what was left out.
QString OpenedNote(const QString& file_name, const QStringList& names, int column,
                   const Layout& layout, const Tally& tally, char locale_decimal);

}  // namespace series
