#include "recording_control.h"

#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QScrollBar>
#include <QWidget>

#include "decimal_separator.h"
#include "measurement_edit.h"
#include "recording_dialog.h"

RecordingControl::RecordingControl(MeasurementEdit& list, QWidget& window, QLabel& status)
    : QObject(&window),
      list_(list),
      window_(window),
      status_(status),
      record_(new QAction(tr("Messwerte &aufnehmen…"), this)),
      stop_(new QAction(tr("&Aufnahme beenden"), this)) {
  record_->setObjectName(QStringLiteral("actionAufnehmen"));
  stop_->setObjectName(QStringLiteral("actionAufnahmeBeenden"));
  stop_->setShortcut(Qt::Key_Escape);
  stop_->setShortcutContext(Qt::WindowShortcut);
  stop_->setEnabled(false);
  stop_->setVisible(false);
  list_.addAction(record_);
  list_.addAction(stop_);
  connect(record_, &QAction::triggered, this, &RecordingControl::StartChosen);
  connect(stop_, &QAction::triggered, this, &RecordingControl::Stop);

  ChooseSource = [this]() -> std::optional<recording::Source> {
    RecordingDialog dialog(&window_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const recording::Source source = dialog.source();
    RecordingDialog::Remember(source);
    return source;
  };
  ShowNotice = [](const QString&) {};

  batch_.setInterval(kBatchMs);
  connect(&batch_, &QTimer::timeout, this, &RecordingControl::Flush);
  status_timer_.setInterval(250);
  connect(&status_timer_, &QTimer::timeout, this, &RecordingControl::ShowStatus);
  recovery_.setInterval(kRecoveryMs);
  connect(&recovery_, &QTimer::timeout, this, [this] {
    if (std::exchange(unkept_, false) && KeepForRecovery) KeepForRecovery();
  });
  status_.setWordWrap(false);
  status_.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_.hide();
}

RecordingControl::~RecordingControl() {
  if (recorder_) recorder_->disconnect(this);
}

void RecordingControl::StartChosen() {
  if (Recording()) return;
  if (const std::optional<recording::Source> source = ChooseSource()) Start(*source);
}

void RecordingControl::Start(const recording::Source& source) {
  if (recorder_ && (recorder_->Running() || stop_->isEnabled())) return;
  if (recorder_) recorder_->disconnect(this);
  recorder_ = std::make_unique<recording::Recorder>(source, DecimalSeparator());
  pending_.clear();
  joined_ = false;
  ended_text_.clear();
  since_value_.invalidate();
  recorder_->OnValue = [this](std::string_view number) {
    pending_.append(number);
    pending_ += '\n';
    since_value_.start();
  };
  connect(recorder_.get(), &recording::Recorder::started, this, [this] {
    since_start_.start();
    rate_clock_.start();
    rate_count_ = 0;
    rate_ = 0;
    batch_.start();
    status_timer_.start();
    recovery_.start();
    ShowStatus();
  });
  connect(recorder_.get(), &recording::Recorder::ended, this, &RecordingControl::Ended);
  ShowRecording(true);  // stopping also while a network instrument is still being reached
  ShowStatus();
  recorder_->Start();
}

// The menus offer starting or stopping, whichever can be done.
void RecordingControl::ShowRecording(bool recording) {
  record_->setEnabled(!recording);
  record_->setVisible(!recording);
  stop_->setEnabled(recording);
  stop_->setVisible(recording);
}

void RecordingControl::Stop() {
  if (recorder_) recorder_->Stop();
}

// The values since the last batch go in before the series' end as one change; the recording's
// batches join one undo step. A view that showed the end of the list keeps showing it.
void RecordingControl::Flush() {
  if (pending_.empty()) return;
  pending_.pop_back();
  QScrollBar* bar = list_.verticalScrollBar();
  const bool at_end = bar->value() == bar->maximum();
  list_.model().InsertLines(list_.SeriesEndLine(), pending_, joined_);
  joined_ = true;
  pending_.clear();
  unkept_ = true;
  if (at_end) bar->setValue(bar->maximum());
}

void RecordingControl::Ended(recording::End how, const QString& message) {
  Flush();
  batch_.stop();
  status_timer_.stop();
  recovery_.stop();
  if (std::exchange(unkept_, false) && KeepForRecovery) KeepForRecovery();
  ShowRecording(false);
  if (how == recording::End::kLost) {
    ended_text_ = tr("%1 Alle %2 empfangenen Werte stehen in der Liste; „Messwerte aufnehmen…“ "
                     "setzt die Aufnahme fort.")
                      .arg(message, QLocale().toString(recorder_->Values()));
  } else if (how == recording::End::kNotOpened) {
    ended_text_ = message;
  }
  ShowStatus();
  if (!ended_text_.isEmpty()) ShowNotice(ended_text_);
  emit ended(how);
}

QString RecordingControl::StatusText() const {
  if (!recorder_) return {};
  const QLocale locale;
  const QString source = recorder_->Description();
  const QString values = locale.toString(recorder_->Values());
  QString text;
  if (recorder_->Running()) {
    const QString last =
        since_value_.isValid()
            ? tr("letzter vor %1 s").arg(locale.toString(since_value_.elapsed() / 1000.0, 'f', 1))
            : tr("noch kein Wert");
    text = tr("%1 Werte, %2 je Sekunde, %3\nAufnahme von %4")
               .arg(values, locale.toString(rate_, 'f', 0), last, source);
  } else if (stop_->isEnabled()) {
    text = tr("Verbindung zu %1 wird aufgebaut …").arg(source);
  } else {
    text = tr("Aufnahme beendet: %1 Werte\nvon %2").arg(values, source);
  }
  const QString skipped = recorder_->SkippedSummary();
  if (!skipped.isEmpty()) text += u'\n' + tr("Zeilen ohne Wert: %1.").arg(skipped);
  if (!ended_text_.isEmpty()) text += u'\n' + ended_text_;
  return text;
}

void RecordingControl::ShowStatus() {
  if (recorder_ && recorder_->Running() && rate_clock_.elapsed() >= 1000) {
    rate_ = static_cast<double>(recorder_->Values() - rate_count_) * 1000.0 /
            static_cast<double>(rate_clock_.restart());
    rate_count_ = recorder_->Values();
  }
  // Each line cut to the label's width; the whole text in the tooltip and for screen readers.
  const QString text = StatusText();
  const QFontMetrics metrics(status_.font());
  QStringList lines = text.split(u'\n');
  for (QString& line : lines) line = metrics.elidedText(line, Qt::ElideMiddle, status_.width());
  status_.setText(lines.join(u'\n'));
  status_.setToolTip(text);
  status_.setAccessibleDescription(text);
  status_.setVisible(recorder_ != nullptr);
}
