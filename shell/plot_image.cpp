// messwerte --diagramm BILD DATEI: the plot of a file's series written as an image, without a
// display; called by the program's entry through the window module.

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <cstdio>

#include "decimal_separator.h"
#include "list_model.h"
#include "series_file.h"
#include "series_plot.h"
#include "series_values.h"

namespace {

void Complain(const QString& message) {
  std::fprintf(stderr, "messwerte: %s\n", qPrintable(message));
}

}  // namespace

// `image` and `path` in UTF-8; `column` from 0, or -1 for a file of one column. Returns 0 when
// every line of the series is a number, 1 when one is not (its line is marked) or there is no
// value, 2 when the file cannot be read or the image cannot be written.
extern "C" Q_DECL_EXPORT int MesswertePlotImage(int argc, char* argv[], const char* image,
                                                const char* path, int column) {
  QApplication application(argc, argv);
  const QString image_path = QString::fromUtf8(image);
  const QString suffix = QFileInfo(image_path).suffix().toLower();
  if (suffix != u"png" && suffix != u"svg" && suffix != u"pdf") {
    Complain(
        QStringLiteral("--diagramm schreibt .png, .svg oder .pdf, nicht „%1“.").arg(image_path));
    return 2;
  }
  QString error;
  const std::optional<SeriesFile> file = SeriesFile::Open(QString::fromUtf8(path), &error);
  if (!file) {
    Complain(error);
    return 2;
  }
  if (column < 0 && file->ColumnCount() > 1) {
    Complain(QStringLiteral("Die Datei hat %1 Spalten. Bitte eine mit --spalte N wählen.")
                 .arg(file->ColumnCount()));
    return 2;
  }
  if (column >= file->ColumnCount()) {
    Complain(QStringLiteral("Die Datei hat nur %1 Spalten.").arg(file->ColumnCount()));
    return 2;
  }
  ListModel model;
  const char separator = DecimalSeparator(QLocale::system());
  series::Choices choices;
  choices.column = std::max(column, 0);
  model.SetText(file->Read(choices, separator).lines);
  SeriesValues values(separator);
  values.Reset(model);
  const SeriesValues::Summary summary = values.Summarise(values.End(model));
  SeriesPlot plot(separator);
  plot.resize(1200, 800);
  plot.Show(values.Values(), summary);
  plot.SetRejectedLine(summary.first_no_number);
  if (!plot.Save(image_path, 1200, 800)) {
    Complain(QStringLiteral("Das Bild „%1“ kann nicht geschrieben werden.").arg(image_path));
    return 2;
  }
  if (summary.first_no_number >= 0) {
    Complain(QStringLiteral("Zeile %1 ist keine Zahl; sie ist im Diagramm markiert.")
                 .arg(summary.first_no_number + 1));
    return 1;
  }
  if (summary.count == 0) {
    Complain(QStringLiteral("Die Liste enthält keine Messwerte."));
    return 1;
  }
  return 0;
}
