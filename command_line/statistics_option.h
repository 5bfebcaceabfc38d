#pragma once

#include <QString>
#include <optional>

// --kennwerte: the statistics of a file's series (or of standard input for "-"), one
// "Label: value" line each on standard output. Returns 0, 1 when the series has a line that is
// no number or holds no value, 2 when the file cannot be read.
int PrintStatistics(const QString& path, std::optional<int> column, char separator);
