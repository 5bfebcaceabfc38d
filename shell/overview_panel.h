#pragma once

#include <QTimer>
#include <QWidget>

#include "series_values.h"

class MeasurementEdit;
class QFormLayout;
class QGroupBox;
class QLabel;
class SeriesPlot;

// The panel to the right of the designed area: the Kennwerte of the series and its plot. Both
// follow the list: the plot at once, reading again only the lines a change replaced; the
// Kennwerte, which read every value's digits, once typing pauses.
class OverviewPanel : public QWidget {
  Q_OBJECT

 public:
  OverviewPanel(MeasurementEdit& list, char separator, QWidget* parent = nullptr);

  void ShowStatistics(bool shown);
  void ShowPlot(bool shown);
  bool StatisticsShown() const;
  bool PlotShown() const;
  // A line that a press rejected; -1 for none.
  void SetRejectedLine(int line);

  SeriesPlot& plot() { return *plot_; }
  // The Kennwerte as shown, label and text, one line each, for the clipboard.
  QString StatisticsText() const;
  // Writes the plot of the list as it is now; the suffix of `path` chooses PNG, SVG or PDF.
  bool SavePlot(const QString& path);
  // Works out what is due now instead of when the list pauses.
  void Flush();

 private:
  void LinesChanged(int first, int removed, int inserted);
  void RefreshPlot();
  void RefreshStatistics();
  void Follow();

  MeasurementEdit& list_;
  char separator_;
  QGroupBox* statistics_;
  QFormLayout* rows_;
  QList<QLabel*> values_shown_;
  QLabel* note_;
  SeriesPlot* plot_;
  SeriesValues values_;
  bool values_current_ = false;  // values_ follows the list
  // The lines whose values changed or moved since the plot last took them, from changed_from_ to
  // before changed_to_; changed_to_ < 0 when the plot takes all values again.
  int changed_from_ = -1;
  int changed_to_ = -1;
  QTimer plot_due_;
  QTimer statistics_due_;
};
