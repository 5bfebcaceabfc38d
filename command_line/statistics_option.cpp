#include "statistics_option.h"

#include <QFile>
#include <cstdio>
#include <string>

#include "series_file.h"
#include "series_statistics.h"

namespace {

void Print(std::FILE* stream, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

void Complain(const QString& message) {
  Print(stderr, QStringLiteral("messwerte: %1\n").arg(message));
}

}  // namespace

int PrintStatistics(const QString& path, std::optional<int> column, char separator) {
  QString error;
  std::optional<SeriesFile> file;
  if (path == u"-") {
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
      Complain(QStringLiteral("Die Standardeingabe kann nicht gelesen werden."));
      return 2;
    }
    file = SeriesFile::FromBytes(input.readAll(), QStringLiteral("Standardeingabe"), &error);
  } else {
    file = SeriesFile::Open(path, &error);
  }
  if (!file) {
    Complain(error);
    return 2;
  }
  if (!column && file->ColumnCount() > 1) {
    Complain(QStringLiteral("Die Datei hat %1 Spalten. Bitte eine mit --spalte N wählen.")
                 .arg(file->ColumnCount()));
    return 2;
  }
  if (column && *column >= file->ColumnCount()) {
    Complain(QStringLiteral("Die Datei hat nur %1 Spalten.").arg(file->ColumnCount()));
    return 2;
  }

  // The series: the lines up to the first empty one, as in the window.
  series::Choices choices;
  choices.column = column.value_or(0);
  const std::string loaded = file->Read(choices, separator).lines;
  const QByteArray lines = QByteArray::fromRawData(loaded.data(),
                                                   static_cast<qsizetype>(loaded.size()));
  messwerte::StatisticsCollector collector(separator);
  qsizetype start = 0;
  int line = 0;
  while (start <= lines.size()) {
    qsizetype end = lines.indexOf('\n', start);
    if (end < 0) end = lines.size();
    const std::string_view text(lines.constData() + start, static_cast<std::size_t>(end - start));
    if (text.empty()) break;
    ++line;
    if (collector.Add(text) != messwerte::ParseStatus::kOk) {
      Complain(QStringLiteral("Kennwerte: Zeile %1 „%2“ ist keine Zahl.")
                   .arg(line)
                   .arg(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))));
      return 1;
    }
    start = end + 1;
  }
  const auto statistics = collector.Finish();
  if (!statistics) {
    Complain(QStringLiteral("Kennwerte: Die Liste enthält keine Messwerte."));
    return 1;
  }
  const auto value = [separator](double v) { return messwerte::ShortestText(v, separator); };
  const auto optional = [&value](const std::optional<double>& v) {
    return v ? value(*v) : std::string("–");
  };
  const messwerte::SeriesStatistics& s = *statistics;
  std::string out;
  const auto row = [&out](const char* label, const std::string& text) {
    out.append(label).append(": ").append(text).append("\n");
  };
  row("Anzahl", std::to_string(s.count));
  row("Mittelwert", value(s.mean));
  row("Standardabweichung", optional(s.standard_deviation));
  row("Standardabweichung des Mittelwerts", optional(s.standard_error));
  row("Vertrauensbereich des Mittelwerts (95 %, ±)", optional(s.confidence_half_width));
  row("t-Faktor (95 %)", s.count >= 2 ? value(s.t_quantile) : std::string("–"));
  row("Median", value(s.median));
  row("Spannweite", value(s.range));
  row("Kleinster Messwert", value(s.smallest));
  row("Zeile des kleinsten Messwerts", std::to_string(s.smallest_index + 1));
  row("Größter Messwert", value(s.largest));
  row("Zeile des größten Messwerts", std::to_string(s.largest_index + 1));
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  if (s.count < 2) {
    Complain(QStringLiteral(
        "Kennwerte: Aus einem einzigen Messwert ergibt sich keine Standardabweichung."));
  }
  if (!s.exact) {
    Complain(
        QStringLiteral("Kennwerte: Die Ziffern der Werte passen nicht in 64 Bit; die "
                       "Kennwerte sind aus Gleitkommawerten mit kompensierten Summen "
                       "berechnet."));
  }
  return 0;
}
