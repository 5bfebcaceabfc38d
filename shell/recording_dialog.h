#pragma once

#include <QDialog>

#include "recorder.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QGroupBox;
class QLineEdit;
class QSpinBox;

// "Messwerte aufnehmen": where the values come from (a serial port found on the system, a device
// path typed in, or HOST:PORT), the port's settings, the line end, a query command and which part
// of a line is the value. The settings are remembered for the next recording.
class RecordingDialog : public QDialog {
  Q_OBJECT

 public:
  explicit RecordingDialog(QWidget* parent = nullptr);

  recording::Source source() const;
  void SetSource(const recording::Source& source);

  // The settings as the user left them last time, and keeping them for the next.
  static recording::Source Remembered();
  static void Remember(const recording::Source& source);

  QComboBox* device() const { return device_; }
  QDialogButtonBox* buttons() const { return buttons_; }

 private:
  void Update();

  QComboBox* device_;
  QGroupBox* serial_;
  QComboBox* baud_;
  QComboBox* data_bits_;
  QComboBox* parity_;
  QComboBox* stop_bits_;
  QComboBox* flow_;
  QComboBox* line_end_;
  QCheckBox* query_on_;
  QLineEdit* query_;
  QSpinBox* interval_;
  QComboBox* value_;
  QSpinBox* field_;
  QComboBox* delimiter_;
  QComboBox* mark_;
  QDialogButtonBox* buttons_;
};
