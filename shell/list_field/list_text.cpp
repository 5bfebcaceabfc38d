#include "list_text.h"

#include <algorithm>

#include "measurement_list.h"

namespace list_text {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string_view View(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Pasted values thus do not gain empty lines between them. A pasted series can have a million
// lines: text without any of these breaks stays as it is.
QByteArray AsLines(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  const auto end = utf8.cend();
  if (std::find_if(utf8.cbegin(), end, [](char c) { return c == '\r' || c == '\xe2'; }) == end) {
    return utf8;
  }
  const auto lines = messwerte::SplitLines(
      {utf8.constData(), static_cast<std::size_t>(utf8.size())}, messwerte::LineBreaks::kUnicode);
  QByteArray joined;
  joined.reserve(utf8.size());
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (k > 0) joined += '\n';
    joined.append(lines[k].data(), static_cast<qsizetype>(lines[k].size()));
  }
  return joined;
}

}  // namespace list_text
