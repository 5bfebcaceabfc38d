#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

// How a series file is laid out, the parts that the whole-file reading (SeriesFile) and the
// streaming evaluation of the command line share, so that both read a file alike.
namespace series {

enum class Encoding { kUtf8, kUtf16LE, kUtf16BE };

// The encoding a byte order mark at the start names and the mark's length; UTF-8 and no mark
// without one.
struct Bom {
  Encoding encoding = Encoding::kUtf8;
  int length = 0;
};
Bom DetectBom(QByteArrayView start);

// The start of a text that decides the layout: the first kSampleLines lines, within kSampleBytes.
inline constexpr int kSampleLines = 32;
inline constexpr qsizetype kSampleBytes = 64 * 1024;

// Calls line(text) for each line of `text` (UTF-8 or any ASCII-compatible bytes) at LF, CR LF
// or CR; a break at the very end starts no further line. Stops early when line returns false.
template <typename Line>
void ForEachLine(std::string_view text, Line line) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) end = text.size();
    if (!line(text.substr(begin, end - begin))) return;
    begin = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
  }
}

struct Layout {
  char separator = '\0';  // between fields; '\0' for a file of one column
  int columns = 1;
};

// The separator and the number of columns, from the start of the text (its first lines).
Layout DetectLayout(std::string_view sample);

// Field `column` of `line` (from 0), quotes taken off; empty where the line has fewer fields.
// The view points into `line` or into `scratch`.
std::string_view Field(std::string_view line, const Layout& layout, int column,
                       std::string& scratch);

// All fields of `line`, at most `layout.columns` of them.
QStringList Fields(std::string_view line, const Layout& layout);

// True for a text that reads as a number with '.' or ',' as the decimal separator.
bool IsNumber(std::string_view text);

// A first line that holds a field that is no number (and not empty) names the columns.
bool IsHeader(std::string_view first_line, const Layout& layout);

// `bytes` that are not UTF-8, read as Windows-1252.
QString FromWindows1252(QByteArrayView bytes);

}  // namespace series
