#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "series_values.h"

class QAccessibleEvent;
class QCPBars;
class QCPGraph;
class QCPItemRect;
class QCPItemStraightLine;
class QCPItemText;
class QCPItemTracer;
class QCustomPlot;
class QStackedWidget;
class QTabBar;

// The series drawn: its values over their line numbers with the mean, a band of ± one standard
// deviation, the smallest and largest value and a rejected line marked; and as a histogram with
// the normal curve of the same mean and deviation. The wheel zooms, dragging moves, a double
// click shows everything again and a click on a point names its line. From the keyboard the
// arrow keys step a marker from value to value; a screen reader hears a summary and the marker.
class SeriesPlot : public QWidget {
  Q_OBJECT

 public:
  explicit SeriesPlot(char separator, QWidget* parent = nullptr);

  // The values to draw, and their summary; `values` outlives the plot's use of it. `count` ≥ 0
  // says that since the last call to the same `values` only the lines from `first` on, `count` of
  // them, changed or moved (and lines at the series' end came or went): only their points are
  // taken again.
  void Show(const std::vector<double>& values, const SeriesValues::Summary& summary,
            int first = 0, int count = -1);
  // A line that a press rejected, marked until the next Show; -1 for none.
  void SetRejectedLine(int line);

  // "1.000 Messwerte; kleinster 9,501 in Zeile 17; …"
  QString SummaryText() const { return summary_text_; }
  // "Zeile 17: 9,501", or empty without a marker.
  QString MarkerText() const;
  int MarkerLine() const { return marker_; }
  // 0 the values over their lines, 1 the histogram.
  void SetView(int view);
  int View() const;

  // Writes the plot as PNG, SVG or PDF, chosen by the suffix of `path`, `width` × `height`
  // pixels (points for PDF and SVG). False when the file cannot be written.
  bool Save(const QString& path, int width, int height);

  // Hands an event on to screen readers; QAccessible::updateAccessibility unless replaced.
  std::function<void(QAccessibleEvent& event)> Announce;

  QCustomPlot& TracePlot() { return *trace_; }

 signals:
  // A point was clicked or the marker moved: the line to select in the list.
  void lineChosen(int line);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  // All points anew, or with `count` ≥ 0 only those of the lines from `first` on.
  void DrawTrace(int first, int count);
  void DrawHistogram();
  void MoveMarker(int line);
  void PlaceMarker();
  int PointAt(QPoint at) const;
  // Everything of view 0 (the values) or 1 (the histogram) in sight.
  void ShowAll(int view);
  void Send(int type);
  QString Number(double value) const;

  char separator_;
  QTabBar* tabs_;
  QStackedWidget* views_;
  QCustomPlot* trace_;
  QCustomPlot* histogram_;
  QCPGraph* values_graph_;
  QCPGraph* extremes_;
  QCPItemStraightLine* mean_line_;
  QCPItemRect* band_;
  QCPItemStraightLine* rejected_;
  QCPItemText* rejected_label_;
  QCPItemTracer* tracer_;
  QCPItemText* marker_label_;
  QCPItemText* legend_;
  QCPBars* bars_;
  QCPGraph* normal_;

  const std::vector<double>* values_ = nullptr;
  SeriesValues::Summary summary_;
  QString summary_text_;
  int marker_ = -1;
  QPoint pressed_at_;
  // The user zoomed or moved a view (the values', the histogram's): a change of the list keeps
  // that stretch in sight instead of showing everything again.
  std::array<bool, 2> zoomed_ = {false, false};
  int rejected_line_ = -1;
  bool histogram_stale_ = true;
};

// Makes screen readers see the plot as a chart named by its marker and described by its summary.
void InstallSeriesPlotAccessibility();
