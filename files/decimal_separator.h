#pragma once

#include <QLocale>
#include <QString>

// The first character of the locale's decimal point; '.' where that is not a single ASCII
// character, which the number texts cannot carry.
inline char DecimalSeparator(const QLocale& locale = QLocale()) {
  const QString point = locale.decimalPoint();
  if (point.size() == 1 && point[0].unicode() > ' ' && point[0].unicode() < 0x7f)
    return static_cast<char>(point[0].unicode());
  return '.';
}
