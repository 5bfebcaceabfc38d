#include "statistics_option.h"

#include <QFile>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

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

// The series' values straight into the collector: those up to the first empty line, as in the
// window, with the list's decimal separator.
class StatisticsSink final : public series::LineSink {
 public:
  explicit StatisticsSink(char separator) : separator_(separator), collector_(separator) {}

  bool Decided(const series::Layout& layout) override {
    from_ = layout.decimal != separator_ ? layout.decimal : '\0';
    return true;
  }

  void Take(std::span<const std::string_view> values, std::int64_t) override {
    for (const std::string_view value : values) {
      if (ended_ || !refused_.empty()) return;
      if (value.empty()) {
        ended_ = true;
        return;
      }
      ++line_;
      const std::string_view text = WithDecimal(value, from_, separator_, scratch_);
      if (collector_.Add(text) != messwerte::ParseStatus::kOk) refused_.assign(text);
    }
  }

  messwerte::StatisticsCollector& collector() { return collector_; }
  // The text that is no number, as in the file, and its place in the series from 1.
  const std::string& refused() const { return refused_; }
  int line() const { return line_; }

 private:
  char separator_;
  char from_ = '\0';
  messwerte::StatisticsCollector collector_;
  bool ended_ = false;
  int line_ = 0;
  std::string refused_;
  std::string scratch_;
};

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

  series::Choices choices;
  choices.column = column.value_or(0);
  StatisticsSink sink(separator);
  const SeriesFile::Loaded read = file->Feed(choices, separator, sink);
  if (!sink.refused().empty()) {
    Complain(QStringLiteral("Kennwerte: Zeile %1 „%2“ ist keine Zahl.")
                 .arg(sink.line())
                 .arg(series::Text(sink.refused(), read.layout, read.tally)));
    return 1;
  }
  messwerte::StatisticsCollector& collector = sink.collector();
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
