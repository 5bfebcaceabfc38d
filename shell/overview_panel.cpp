#include "overview_panel.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "measurement_edit.h"
#include "series_plot.h"
#include "series_statistics.h"

namespace {

const char* const kLabels[] = {"Anzahl",
                               "Mittelwert",
                               "Standardabweichung",
                               "Standardabw. des Mittelwerts",
                               "Vertrauensbereich (95 %)",
                               "Median",
                               "Spannweite",
                               "Kleinster Messwert",
                               "Größter Messwert"};
constexpr int kRows = sizeof kLabels / sizeof kLabels[0];

// At most 10 significant digits, trailing zeros dropped, in the locale's format without group
// separators, so that a value copied from here reads back in the list.
QString Shown(double value) {
  QLocale locale;
  locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
  return locale.toString(value, 'g', 10);
}

}  // namespace

OverviewPanel::OverviewPanel(MeasurementEdit& list, char separator, QWidget* parent)
    : QWidget(parent),
      list_(list),
      separator_(separator),
      statistics_(new QGroupBox(tr("Kennwerte"), this)),
      rows_(new QFormLayout(statistics_)),
      note_(new QLabel(statistics_)),
      plot_(new SeriesPlot(separator, this)),
      values_(separator) {
  setObjectName(QStringLiteral("overview"));
  statistics_->setObjectName(QStringLiteral("statistics"));
  for (int i = 0; i < kRows; ++i) {
    auto* value = new QLabel(statistics_);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    value->setObjectName(QStringLiteral("statistic%1").arg(i));
    auto* label = new QLabel(tr(kLabels[i]) + u':', statistics_);
    label->setBuddy(value);
    value->setAccessibleName(tr(kLabels[i]));
    rows_->addRow(label, value);
    values_shown_.append(value);
  }
  note_->setWordWrap(true);
  note_->setObjectName(QStringLiteral("statisticsNote"));
  rows_->addRow(note_);
  note_->hide();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(statistics_);
  layout->addWidget(plot_, 1);
  plot_->setMinimumSize(360, 260);

  plot_due_.setSingleShot(true);
  plot_due_.setInterval(0);
  statistics_due_.setSingleShot(true);
  statistics_due_.setInterval(250);
  connect(&plot_due_, &QTimer::timeout, this, &OverviewPanel::RefreshPlot);
  connect(&statistics_due_, &QTimer::timeout, this, &OverviewPanel::RefreshStatistics);
  connect(&list_, &MeasurementEdit::linesChanged, this, &OverviewPanel::LinesChanged);
  connect(plot_, &SeriesPlot::lineChosen, this, [this](int line) { list_.SelectLine(line); });
  statistics_->hide();
  plot_->hide();
}

void OverviewPanel::LinesChanged(int first, int removed, int inserted) {
  if (values_current_) {
    values_.Replace(list_.model(), first, removed, inserted);
    if (changed_to_ >= 0) {
      // Lines that came or went move all after them.
      changed_from_ = std::min(changed_from_, first);
      changed_to_ = removed == inserted ? std::max(changed_to_, first + inserted) : INT_MAX;
    }
  }
  if (PlotShown()) plot_due_.start();
  if (StatisticsShown()) statistics_due_.start();
}

void OverviewPanel::Follow() {
  if (values_current_) return;
  values_.Reset(list_.model());
  values_current_ = true;
  changed_from_ = changed_to_ = -1;
}

void OverviewPanel::ShowStatistics(bool shown) {
  statistics_->setVisible(shown);
  if (shown) RefreshStatistics();
}

void OverviewPanel::ShowPlot(bool shown) {
  plot_->setVisible(shown);
  if (shown) {
    RefreshPlot();
  } else {
    // Not kept in step while nobody looks: read anew when shown again.
    values_current_ = false;
  }
}

bool OverviewPanel::StatisticsShown() const { return !statistics_->isHidden(); }
bool OverviewPanel::PlotShown() const { return !plot_->isHidden(); }

void OverviewPanel::SetRejectedLine(int line) {
  if (PlotShown()) {
    Flush();
    plot_->SetRejectedLine(line);
  }
}

bool OverviewPanel::SavePlot(const QString& path) {
  RefreshPlot();
  return plot_->Save(path, 1200, 800);
}

void OverviewPanel::Flush() {
  if (plot_due_.isActive()) RefreshPlot();
  if (statistics_due_.isActive()) RefreshStatistics();
}

void OverviewPanel::RefreshPlot() {
  plot_due_.stop();
  Follow();
  const int end = values_.End(list_.model());
  if (changed_to_ >= 0) {
    const int from = std::min(changed_from_, end);
    plot_->Show(values_.Values(), values_.Summarise(end), from,
                std::max(std::min(changed_to_, end) - from, 0));
  } else {
    plot_->Show(values_.Values(), values_.Summarise(end));
  }
  // From here on the changes are counted, until one moves lines.
  changed_from_ = INT_MAX;
  changed_to_ = 0;
}

void OverviewPanel::RefreshStatistics() {
  statistics_due_.stop();
  const ListModel& model = list_.model();
  const int end = list_.SeriesEndLine();
  messwerte::StatisticsCollector collector(separator_);
  collector.Reserve(end);
  QString problem;
  for (int k = 0; k < end; ++k) {
    if (collector.Add(model.Line(k)) != messwerte::ParseStatus::kOk) {
      problem = tr("Zeile %1 ist keine Zahl: keine Kennwerte.").arg(QLocale().toString(k + 1));
      break;
    }
  }
  const auto statistics = problem.isEmpty() ? collector.Finish() : std::nullopt;
  if (problem.isEmpty() && !statistics) problem = tr("Die Liste enthält keine Messwerte.");
  for (QLabel* value : values_shown_) value->setText(problem.isEmpty() ? QString() : tr("–"));
  if (statistics) {
    const messwerte::SeriesStatistics& s = *statistics;
    const QLocale locale;
    const QString none = tr("– (ein Wert)");
    const QStringList texts = {
        locale.toString(s.count),
        Shown(s.mean),
        s.standard_deviation ? Shown(*s.standard_deviation) : none,
        s.standard_error ? Shown(*s.standard_error) : none,
        s.confidence_half_width
            ? tr("%1 … %2 (± %3)")
                  .arg(Shown(s.mean - *s.confidence_half_width),
                       Shown(s.mean + *s.confidence_half_width), Shown(*s.confidence_half_width))
            : none,
        Shown(s.median),
        Shown(s.range),
        tr("%1 in Zeile %2").arg(Shown(s.smallest), locale.toString(s.smallest_index + 1)),
        tr("%1 in Zeile %2").arg(Shown(s.largest), locale.toString(s.largest_index + 1))};
    for (int i = 0; i < kRows; ++i) values_shown_[i]->setText(texts[i]);
    if (!s.exact) {
      problem = tr("Die Ziffern passen nicht in 64 Bit: aus Gleitkommawerten berechnet.");
    }
  }
  note_->setText(problem);
  note_->setVisible(!problem.isEmpty());
}

QString OverviewPanel::StatisticsText() const {
  QString text;
  for (int i = 0; i < kRows; ++i) {
    text += tr(kLabels[i]) + u'\t' + values_shown_[i]->text() + u'\n';
  }
  return text;
}
