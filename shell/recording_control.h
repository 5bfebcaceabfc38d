#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "recorder.h"

class MeasurementEdit;
class QAction;
class QLabel;
class QWidget;

// Recording in the window: "Messwerte aufnehmen…" asks for the source and starts, "Aufnahme
// beenden" (Escape) stops. The values go in as lines at the end of the series, in batches, and a
// recording undoes as one step; the status tells the source, the count, the rate, the time since
// the last value and the lines without a value. A lost connection ends the recording with a
// notice and keeps every value; the next recording appends.
class RecordingControl : public QObject {
  Q_OBJECT

 public:
  // `status` shows the recording's state; `window` is the parent of the dialog.
  RecordingControl(MeasurementEdit& list, QWidget& window, QLabel& status);
  ~RecordingControl() override;

  // The dialog, replaceable in tests; none when the user cancelled.
  std::function<std::optional<recording::Source>()> ChooseSource;
  // A notice that does not block, besides the status: a lost connection, a source that cannot
  // be opened.
  std::function<void(const QString& text)> ShowNotice;
  // Hands the list to the recovery file; called twice a second while values come, and at the end.
  std::function<void()> KeepForRecovery;

  void StartChosen();
  void Start(const recording::Source& source);
  void Stop();
  bool Recording() const { return recorder_ && recorder_->Running(); }
  // The recording under way or the last one.
  const recording::Recorder* recorder() const { return recorder_.get(); }
  QString StatusText() const;

  QAction* recordAction() const { return record_; }
  QAction* stopAction() const { return stop_; }

  // How often the values go into the list, and the recovery is kept.
  static constexpr int kBatchMs = 50;
  static constexpr int kRecoveryMs = 500;

 signals:
  void ended(recording::End how);

 private:
  void Flush();
  void ShowStatus();
  void Ended(recording::End how, const QString& message);
  void ShowRecording(bool recording);

  MeasurementEdit& list_;
  QWidget& window_;
  QLabel& status_;
  QAction* record_;
  QAction* stop_;
  std::unique_ptr<recording::Recorder> recorder_;
  std::string pending_;  // values not yet in the list, each ended by '\n'
  bool joined_ = false;  // the recording's lines already stand in the list as an undo step
  QTimer batch_;
  QTimer status_timer_;
  QTimer recovery_;
  bool unkept_ = false;  // values came since the recovery was last kept
  QElapsedTimer since_start_;
  QElapsedTimer since_value_;
  std::int64_t rate_count_ = 0;  // values at the start of the current rate interval
  QElapsedTimer rate_clock_;
  double rate_ = 0;
  QString ended_text_;
};
