#include "series_plot.h"

#include <qcustomplot.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLocale>
#include <QStackedWidget>
#include <QSvgGenerator>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

const QColor kValueColour(31, 119, 180);
const QColor kMeanColour(214, 39, 40);
const QColor kExtremeColour(255, 127, 14);

// The plot as a chart: its name says where the marker stands, its description sums it up.
class SeriesPlotAccessible : public QAccessibleWidget {
 public:
  explicit SeriesPlotAccessible(SeriesPlot* plot) : QAccessibleWidget(plot, QAccessible::Chart) {}

  QString text(QAccessible::Text t) const override {
    const auto* plot = static_cast<const SeriesPlot*>(widget());
    if (t == QAccessible::Name) {
      const QString marker = plot->MarkerText();
      return marker.isEmpty() ? QStringLiteral("Diagramm der Messwerte") : marker;
    }
    if (t == QAccessible::Description) return plot->SummaryText();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* CreateAccessible(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String("SeriesPlot")) return nullptr;
  if (auto* plot = qobject_cast<SeriesPlot*>(object)) return new SeriesPlotAccessible(plot);
  return nullptr;
}

QCustomPlot* NewPlot(QWidget* parent, const QString& x_label, const QString& y_label) {
  auto* plot = new QCustomPlot(parent);
  plot->setLocale(QLocale());
  plot->xAxis->setLabel(x_label);
  plot->yAxis->setLabel(y_label);
  plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot->setNoAntialiasingOnDrag(true);
  plot->setFocusPolicy(Qt::NoFocus);  // the keys go to the SeriesPlot around it
  return plot;
}

// Both ends of `range` moved out by 5 % of its size, or by 1 for a single value.
QCPRange Padded(double low, double high) {
  const double pad = high > low ? (high - low) * 0.05 : std::max(std::abs(low) * 0.05, 1.0);
  return {low - pad, high + pad};
}

}  // namespace

void InstallSeriesPlotAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&CreateAccessible);
    return true;
  }();
  (void)installed;
}

SeriesPlot::SeriesPlot(char separator, QWidget* parent)
    : QWidget(parent),
      separator_(separator),
      tabs_(new QTabBar(this)),
      views_(new QStackedWidget(this)) {
  InstallSeriesPlotAccessibility();
  setObjectName(QStringLiteral("seriesPlot"));
  setFocusPolicy(Qt::StrongFocus);
  tabs_->addTab(tr("&Verlauf"));
  tabs_->addTab(tr("&Histogramm"));
  tabs_->setFocusPolicy(Qt::TabFocus);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(tabs_);
  layout->addWidget(views_, 1);

  trace_ = NewPlot(views_, tr("Zeile"), tr("Messwert"));
  band_ = new QCPItemRect(trace_);
  band_->setPen(Qt::NoPen);
  band_->setBrush(QColor(kMeanColour.red(), kMeanColour.green(), kMeanColour.blue(), 40));
  band_->setLayer(QStringLiteral("overlay"));
  mean_line_ = new QCPItemStraightLine(trace_);
  mean_line_->setPen(QPen(kMeanColour, 1.5));
  mean_line_->setLayer(QStringLiteral("overlay"));
  for (QCPItemPosition* at :
       {band_->topLeft, band_->bottomRight, mean_line_->point1, mean_line_->point2}) {
    at->setTypeX(QCPItemPosition::ptAxisRectRatio);
    at->setTypeY(QCPItemPosition::ptPlotCoords);
  }
  values_graph_ = trace_->addGraph();
  values_graph_->setPen(QPen(kValueColour, 1));
  values_graph_->setName(tr("Messwerte"));
  extremes_ = trace_->addGraph();
  extremes_->setLineStyle(QCPGraph::lsNone);
  extremes_->setScatterStyle(
      QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(kExtremeColour, 2), Qt::NoBrush, 11));
  rejected_ = new QCPItemStraightLine(trace_);
  rejected_->setPen(QPen(Qt::red, 2, Qt::DashLine));
  rejected_->point1->setTypeY(QCPItemPosition::ptAxisRectRatio);
  rejected_->point2->setTypeY(QCPItemPosition::ptAxisRectRatio);
  rejected_->setVisible(false);
  rejected_label_ = new QCPItemText(trace_);
  rejected_label_->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
  rejected_label_->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
  rejected_label_->setColor(Qt::red);
  rejected_label_->setBrush(QColor(255, 255, 255, 220));
  rejected_label_->setVisible(false);
  tracer_ = new QCPItemTracer(trace_);
  tracer_->setInterpolating(false);
  tracer_->setStyle(QCPItemTracer::tsCrosshair);
  tracer_->setPen(QPen(Qt::black, 1, Qt::DotLine));
  tracer_->setVisible(false);
  marker_label_ = new QCPItemText(trace_);
  marker_label_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
  marker_label_->position->setType(QCPItemPosition::ptAxisRectRatio);
  marker_label_->position->setCoords(0.02, 0.02);
  marker_label_->setBrush(QColor(255, 255, 255, 220));
  marker_label_->setPadding(QMargins(4, 2, 4, 2));
  marker_label_->setVisible(false);
  legend_ = new QCPItemText(trace_);
  legend_->setPositionAlignment(Qt::AlignRight | Qt::AlignBottom);
  legend_->position->setType(QCPItemPosition::ptAxisRectRatio);
  legend_->position->setCoords(0.98, 0.98);
  legend_->setLayer(QStringLiteral("overlay"));
  legend_->setColor(kMeanColour.darker(120));
  legend_->setBrush(QColor(255, 255, 255, 200));
  legend_->setPadding(QMargins(4, 2, 4, 2));
  views_->addWidget(trace_);

  histogram_ = NewPlot(views_, tr("Messwert"), tr("Anzahl"));
  bars_ = new QCPBars(histogram_->xAxis, histogram_->yAxis);
  bars_->setPen(QPen(kValueColour.darker(130)));
  bars_->setBrush(QColor(kValueColour.red(), kValueColour.green(), kValueColour.blue(), 120));
  bars_->setName(tr("Häufigkeit"));
  normal_ = histogram_->addGraph();
  normal_->setPen(QPen(kMeanColour, 2));
  normal_->setName(tr("Normalverteilung"));
  views_->addWidget(histogram_);

  connect(tabs_, &QTabBar::currentChanged, this, &SeriesPlot::SetView);
  for (QCustomPlot* plot : {trace_, histogram_}) {
    const std::size_t view = plot == trace_ ? 0 : 1;
    connect(plot, &QCustomPlot::mouseDoubleClick, this, [this, view] {
      zoomed_[view] = false;
      ShowAll(static_cast<int>(view));
    });
    connect(plot, &QCustomPlot::mouseWheel, this, [this, view] { zoomed_[view] = true; });
    connect(plot, &QCustomPlot::mousePress, this,
            [this](QMouseEvent* event) { pressed_at_ = event->position().toPoint(); });
    connect(plot, &QCustomPlot::mouseRelease, this, [this, view](QMouseEvent* event) {
      if ((event->position().toPoint() - pressed_at_).manhattanLength() > 3) zoomed_[view] = true;
    });
  }
  connect(trace_, &QCustomPlot::mouseRelease, this, [this](QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || (at - pressed_at_).manhattanLength() > 3) return;
    const int line = PointAt(at);
    if (line < 0) return;
    MoveMarker(line);
    emit lineChosen(line);
  });
}

QString SeriesPlot::Number(double value) const { return QLocale().toString(value, 'g', 6); }

void SeriesPlot::Show(const std::vector<double>& values, const SeriesValues::Summary& summary,
                      int first, int count) {
  const bool in_place = count >= 0 && values_ == &values;
  values_ = &values;
  summary_ = summary;
  rejected_line_ = -1;
  histogram_stale_ = true;
  if (marker_ >= summary.end ||
      (marker_ >= 0 && std::isnan(values[static_cast<std::size_t>(marker_)]))) {
    marker_ = -1;
  }
  const QLocale locale;
  if (summary.count == 0) {
    summary_text_ = tr("Keine Messwerte");
  } else {
    summary_text_ = tr("%1 Messwerte; kleinster %2 in Zeile %3; größter %4 in Zeile %5; "
                       "Mittelwert %6")
                        .arg(locale.toString(summary.count))
                        .arg(Number(values[static_cast<std::size_t>(summary.smallest_line)]))
                        .arg(locale.toString(summary.smallest_line + 1))
                        .arg(Number(values[static_cast<std::size_t>(summary.largest_line)]))
                        .arg(locale.toString(summary.largest_line + 1))
                        .arg(Number(summary.mean));
    if (summary.count >= 2) {
      summary_text_ += tr("; Standardabweichung %1").arg(Number(summary.standard_deviation));
    }
  }
  DrawTrace(first, in_place ? count : -1);
  if (View() == 1) DrawHistogram();
  Send(QAccessible::DescriptionChanged);
}

void SeriesPlot::DrawTrace(int first, int count) {
  const std::vector<double>& values = *values_;
  const int end = summary_.end;
  if (count < 0) {
    // With room for lines to come, which are then added without moving all points.
    QVector<QCPGraphData> points;
    points.reserve(end + end / 16 + 64);
    for (int k = 0; k < end; ++k)
      points.append({static_cast<double>(k + 1), values[static_cast<std::size_t>(k)]});
    values_graph_->data()->set(points, true);
  } else {
    // Point k is line k's, at key k + 1: lines that come or go at the end are points added or
    // removed there, and the other points keep their keys and take their lines' values again.
    QCPGraphDataContainer& data = *values_graph_->data();
    const int had = data.size();
    if (had > end) data.removeAfter(end + 0.5);
    if (had < end) {
      QVector<QCPGraphData> more;
      more.reserve(end - had);
      for (int k = had; k < end; ++k)
        more.append({static_cast<double>(k + 1), values[static_cast<std::size_t>(k)]});
      data.add(more, true);
    }
    const auto points = data.begin();
    const int to = count > end - first ? end : first + count;
    for (int k = std::max(first, 0); k < std::min(to, had); ++k)
      points[k].value = values[static_cast<std::size_t>(k)];
  }
  const bool few = summary_.count <= 2000;
  values_graph_->setScatterStyle(few ? QCPScatterStyle(QCPScatterStyle::ssDisc, 4)
                                     : QCPScatterStyle(QCPScatterStyle::ssNone));
  QVector<QCPGraphData> extremes;
  if (summary_.count > 0) {
    for (int line : {summary_.smallest_line, summary_.largest_line}) {
      extremes.append({static_cast<double>(line + 1), values[static_cast<std::size_t>(line)]});
    }
    std::sort(extremes.begin(), extremes.end(), qcpLessThanSortKey<QCPGraphData>);
  }
  extremes_->data()->set(extremes, true);
  const bool spread = summary_.count >= 2;
  mean_line_->setVisible(summary_.count > 0);
  mean_line_->point1->setCoords(0, summary_.mean);
  mean_line_->point2->setCoords(1, summary_.mean);
  band_->setVisible(spread);
  band_->topLeft->setCoords(0, summary_.mean + summary_.standard_deviation);
  band_->bottomRight->setCoords(1, summary_.mean - summary_.standard_deviation);
  rejected_->setVisible(false);
  rejected_label_->setVisible(false);
  legend_->setVisible(summary_.count > 0);
  legend_->setText(spread ? tr("Mittelwert %1, Standardabweichung %2")
                                .arg(Number(summary_.mean), Number(summary_.standard_deviation))
                          : tr("Mittelwert %1").arg(Number(summary_.mean)));
  PlaceMarker();
  // A change keeps the stretch the user looks at, unless it holds no line any more; a list
  // read anew shows all of itself.
  if (count < 0 || trace_->xAxis->range().lower > std::max(end, 1)) zoomed_[0] = false;
  if (zoomed_[0])
    trace_->replot(QCustomPlot::rpQueuedReplot);
  else
    ShowAll(0);
}

void SeriesPlot::ShowAll(int view) {
  if (!values_) return;
  if (view == 1) {
    histogram_->rescaleAxes();
    histogram_->yAxis->setRangeLower(0);
    histogram_->yAxis->setRangeUpper(histogram_->yAxis->range().upper * 1.05);
    histogram_->replot(QCustomPlot::rpQueuedReplot);
    return;
  }
  const int end = std::max(summary_.end, 1);
  trace_->xAxis->setRange(Padded(1, end));
  if (summary_.count > 0) {
    const std::vector<double>& values = *values_;
    trace_->yAxis->setRange(Padded(values[static_cast<std::size_t>(summary_.smallest_line)],
                                   values[static_cast<std::size_t>(summary_.largest_line)]));
  }
  trace_->replot(QCustomPlot::rpQueuedReplot);
}

// Freedman–Diaconis bins: width 2·IQR/∛n; Sturges' count where the quartiles coincide.
void SeriesPlot::DrawHistogram() {
  histogram_stale_ = false;
  std::vector<double> sorted;
  sorted.reserve(static_cast<std::size_t>(summary_.count));
  for (int k = 0; k < summary_.end; ++k) {
    const double x = (*values_)[static_cast<std::size_t>(k)];
    if (!std::isnan(x)) sorted.push_back(x);
  }
  QVector<QCPBarsData> bars;
  QVector<QCPGraphData> curve;
  if (!sorted.empty()) {
    const double low = (*values_)[static_cast<std::size_t>(summary_.smallest_line)];
    const double high = (*values_)[static_cast<std::size_t>(summary_.largest_line)];
    const auto n = static_cast<double>(sorted.size());
    const auto quartile = [&sorted](double p) {
      const auto at =
          sorted.begin() + static_cast<std::ptrdiff_t>(p * static_cast<double>(sorted.size() - 1));
      std::nth_element(sorted.begin(), at, sorted.end());
      return *at;
    };
    const double iqr = quartile(0.75) - quartile(0.25);
    int count;
    if (iqr > 0 && high > low) {
      const double width = 2 * iqr / std::cbrt(n);
      count = static_cast<int>(std::ceil((high - low) / width));
    } else {
      count = static_cast<int>(std::ceil(std::log2(n))) + 1;
    }
    count = std::clamp(count, 1, 400);
    const double width = high > low ? (high - low) / count : 1;
    std::vector<double> heights(static_cast<std::size_t>(count), 0);
    for (const double x : sorted) {
      const int bin = std::min(static_cast<int>((x - low) / width), count - 1);
      ++heights[static_cast<std::size_t>(std::max(bin, 0))];
    }
    for (int i = 0; i < count; ++i) {
      bars.append({low + (i + 0.5) * width, heights[static_cast<std::size_t>(i)]});
    }
    bars_->setWidth(width);
    const double sd = summary_.standard_deviation;
    if (summary_.count >= 2 && sd > 0) {
      constexpr int kSteps = 200;
      const double from = std::min(low, summary_.mean - 3 * sd);
      const double to = std::max(high, summary_.mean + 3 * sd);
      for (int i = 0; i <= kSteps; ++i) {
        const double x = from + (to - from) * i / kSteps;
        const double z = (x - summary_.mean) / sd;
        curve.append({x, n * width * std::exp(-0.5 * z * z) / (sd * std::sqrt(2 * M_PI))});
      }
    }
  }
  bars_->data()->set(bars, true);
  normal_->data()->set(curve, true);
  const QCPRange shown = histogram_->xAxis->range();
  if (bars.isEmpty() || shown.upper < bars.front().key || shown.lower > bars.back().key)
    zoomed_[1] = false;
  if (zoomed_[1])
    histogram_->replot(QCustomPlot::rpQueuedReplot);
  else
    ShowAll(1);
}

// The line of the value drawn nearest to `at`, within 10 pixels; -1 for none. Only the lines
// drawn within that reach across are looked at, at most a few thousand.
int SeriesPlot::PointAt(QPoint at) const {
  if (!values_ || summary_.count == 0) return -1;
  constexpr double kReach = 10;
  const double from = trace_->xAxis->pixelToCoord(at.x() - kReach);
  const double to = trace_->xAxis->pixelToCoord(at.x() + kReach);
  const int first = std::max(static_cast<int>(std::floor(std::min(from, to))) - 1, 0);
  const int last = std::min(static_cast<int>(std::ceil(std::max(from, to))) - 1, summary_.end - 1);
  if (last - first > 5000) return -1;  // too many to tell apart at this zoom
  int best = -1;
  double best_distance = kReach * kReach;
  for (int k = first; k <= last; ++k) {
    const double value = (*values_)[static_cast<std::size_t>(k)];
    if (std::isnan(value)) continue;
    const double dx = trace_->xAxis->coordToPixel(k + 1) - at.x();
    const double dy = trace_->yAxis->coordToPixel(value) - at.y();
    if (dx * dx + dy * dy <= best_distance) {
      best_distance = dx * dx + dy * dy;
      best = k;
    }
  }
  return best;
}

void SeriesPlot::SetRejectedLine(int line) {
  rejected_line_ = line;
  rejected_->setVisible(line >= 0);
  rejected_->point1->setCoords(line + 1, 0);
  rejected_->point2->setCoords(line + 1, 1);
  rejected_label_->setVisible(line >= 0);
  rejected_label_->position->setCoords(line + 1, 0.99);
  rejected_label_->setText(tr(" Zeile %1 abgewiesen").arg(QLocale().toString(line + 1)));
  trace_->replot(QCustomPlot::rpQueuedReplot);
}

void SeriesPlot::SetView(int view) {
  if (tabs_->currentIndex() != view) tabs_->setCurrentIndex(view);
  views_->setCurrentIndex(view);
  if (view == 1 && histogram_stale_ && values_) DrawHistogram();
}

int SeriesPlot::View() const { return views_->currentIndex(); }

QString SeriesPlot::MarkerText() const {
  if (marker_ < 0 || !values_) return {};
  return tr("Zeile %1: %2")
      .arg(QLocale().toString(marker_ + 1))
      .arg(Number((*values_)[static_cast<std::size_t>(marker_)]));
}

// The tracer follows the graph only while it is shown: it has nothing to follow on an empty one.
void SeriesPlot::PlaceMarker() {
  const bool shown = marker_ >= 0;
  tracer_->setGraph(shown ? values_graph_ : nullptr);
  tracer_->setVisible(shown);
  marker_label_->setVisible(shown);
  if (!shown) return;
  tracer_->setGraphKey(marker_ + 1);
  marker_label_->setText(MarkerText());
}

void SeriesPlot::MoveMarker(int line) {
  marker_ = line;
  PlaceMarker();
  if (line >= 0) {
    // Keeps the marker in view.
    const QCPRange shown = trace_->xAxis->range();
    if (line + 1 < shown.lower || line + 1 > shown.upper) {
      trace_->xAxis->setRange(line + 1, shown.size(), Qt::AlignCenter);
    }
  }
  trace_->replot(QCustomPlot::rpQueuedReplot);
  Send(QAccessible::NameChanged);
}

// Left and right step to the previous and next value, Page keys by a tenth of the series, Home
// and End to the first and last; Return selects the marker's line in the list.
void SeriesPlot::keyPressEvent(QKeyEvent* event) {
  if (!values_ || summary_.count == 0 || View() != 0) return QWidget::keyPressEvent(event);
  const std::vector<double>& values = *values_;
  const auto valued = [&values](int k) { return !std::isnan(values[static_cast<std::size_t>(k)]); };
  const int end = summary_.end;
  // The nearest line with a value beyond `from` in the direction of `step`, or `from`.
  const auto next = [&](int from, int step) {
    int k = from + step;
    while (k >= 0 && k < end && !valued(k)) k += step;
    return k >= 0 && k < end ? k : from;
  };
  int line = marker_;
  const int page = std::max(end / 10, 1);
  switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
      line = marker_ < 0 ? next(-1, 1) : next(marker_, 1);
      break;
    case Qt::Key_Left:
    case Qt::Key_Up:
      line = marker_ < 0 ? next(end, -1) : next(marker_, -1);
      break;
    case Qt::Key_PageDown:
      line = next(std::min(std::max(marker_, 0) + page, end) - 1, 1);
      if (line < 0 || !valued(line)) line = next(end, -1);
      break;
    case Qt::Key_PageUp:
      line = next(std::max(marker_ - page, 0), -1);
      if (line < 0 || !valued(line)) line = next(-1, 1);
      break;
    case Qt::Key_Home:
      line = next(-1, 1);
      break;
    case Qt::Key_End:
      line = next(end, -1);
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (marker_ >= 0) emit lineChosen(marker_);
      return;
    default:
      return QWidget::keyPressEvent(event);
  }
  if (line >= 0 && line < end && valued(line)) MoveMarker(line);
}

void SeriesPlot::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void SeriesPlot::Send(int type) {
  if (!Announce && !QAccessible::isActive()) return;
  QAccessibleEvent event(this, static_cast<QAccessible::Event>(type));
  if (Announce) {
    Announce(event);
  } else {
    QAccessible::updateAccessibility(&event);
  }
}

bool SeriesPlot::Save(const QString& path, int width, int height) {
  QCustomPlot* plot = View() == 1 ? histogram_ : trace_;
  const QString suffix = QFileInfo(path).suffix().toLower();
  plot->replot(QCustomPlot::rpImmediateRefresh);
  if (suffix == u"png") return plot->savePng(path, width, height);
  if (suffix == u"pdf") return plot->savePdf(path, width, height);
  if (suffix == u"svg") {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(width, height));
    svg.setViewBox(QRect(0, 0, width, height));
    svg.setTitle(tr("Messwerte"));
    svg.setDescription(summary_text_);
    QCPPainter painter;
    if (!painter.begin(&svg)) return false;
    plot->toPainter(&painter, width, height);
    return painter.end() && QFileInfo(path).size() > 0;
  }
  return false;
}
