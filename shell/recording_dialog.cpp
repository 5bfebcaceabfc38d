#include "recording_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// A combo box of fixed choices, each with its value as the item's data.
QComboBox* Choices(QWidget* parent, std::initializer_list<std::pair<QString, int>> items) {
  auto* box = new QComboBox(parent);
  for (const auto& [text, value] : items) box->addItem(text, value);
  return box;
}

void Choose(QComboBox* box, int value) {
  const int index = box->findData(value);
  if (index >= 0) box->setCurrentIndex(index);
}

int Chosen(const QComboBox* box) { return box->currentData().toInt(); }

}  // namespace

RecordingDialog::RecordingDialog(QWidget* parent)
    : QDialog(parent),
      device_(new QComboBox(this)),
      serial_(new QGroupBox(tr("Serielle Schnittstelle"), this)),
      baud_(new QComboBox(serial_)),
      data_bits_(Choices(serial_, {{QStringLiteral("8"), QSerialPort::Data8},
                                   {QStringLiteral("7"), QSerialPort::Data7},
                                   {QStringLiteral("6"), QSerialPort::Data6},
                                   {QStringLiteral("5"), QSerialPort::Data5}})),
      parity_(Choices(serial_, {{tr("keine"), QSerialPort::NoParity},
                                {tr("gerade"), QSerialPort::EvenParity},
                                {tr("ungerade"), QSerialPort::OddParity},
                                {tr("Space"), QSerialPort::SpaceParity},
                                {tr("Mark"), QSerialPort::MarkParity}})),
      stop_bits_(Choices(serial_, {{QStringLiteral("1"), QSerialPort::OneStop},
                                   {QStringLiteral("1,5"), QSerialPort::OneAndHalfStop},
                                   {QStringLiteral("2"), QSerialPort::TwoStop}})),
      flow_(Choices(serial_, {{tr("keine"), QSerialPort::NoFlowControl},
                              {tr("RTS/CTS (Hardware)"), QSerialPort::HardwareControl},
                              {tr("XON/XOFF (Software)"), QSerialPort::SoftwareControl}})),
      line_end_(Choices(this, {{tr("automatisch erkennen"), int(recording::LineEnd::kFound)},
                               {tr("LF"), int(recording::LineEnd::kLf)},
                               {tr("CR LF"), int(recording::LineEnd::kCrLf)},
                               {tr("CR"), int(recording::LineEnd::kCr)}})),
      query_on_(new QCheckBox(tr("&Abfragebefehl senden:"), this)),
      query_(new QLineEdit(this)),
      interval_(new QSpinBox(this)),
      value_(Choices(this, {{tr("die erste Zahl der Zeile"), 0}, {tr("die Zahl in Feld"), 1}})),
      field_(new QSpinBox(this)),
      delimiter_(Choices(this, {{tr("Leerraum"), int(recording::ValueRule::Delimiter::kBlanks)},
                                {tr("Semikolon"), int(recording::ValueRule::Delimiter::kSemicolon)},
                                {tr("Komma"), int(recording::ValueRule::Delimiter::kComma)},
                                {tr("Tabulator"), int(recording::ValueRule::Delimiter::kTab)}})),
      mark_(Choices(this, {{tr("automatisch erkennen"), int(recording::ValueRule::Mark::kFound)},
                           {tr("Punkt"), int(recording::ValueRule::Mark::kPoint)},
                           {tr("Komma"), int(recording::ValueRule::Mark::kComma)}})),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
  setWindowTitle(tr("Messwerte aufnehmen"));

  device_->setEditable(true);
  device_->setInsertPolicy(QComboBox::NoInsert);
  device_->lineEdit()->setPlaceholderText(tr("/dev/ttyUSB0, COM3 oder Rechner:Port"));
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
    const QString about = port.description().isEmpty() ? port.manufacturer() : port.description();
    device_->addItem(about.isEmpty() ? port.systemLocation()
                                     : QStringLiteral("%1 – %2").arg(port.systemLocation(), about),
                     port.systemLocation());
  }
  device_->setAccessibleName(tr("Quelle"));

  baud_->setEditable(true);
  for (int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600})
    baud_->addItem(QString::number(rate));
  baud_->setValidator(new QIntValidator(1, 100'000'000, baud_));
  auto* serial_form = new QFormLayout(serial_);
  serial_form->addRow(tr("&Baudrate:"), baud_);
  serial_form->addRow(tr("&Datenbits:"), data_bits_);
  serial_form->addRow(tr("&Parität:"), parity_);
  serial_form->addRow(tr("S&toppbits:"), stop_bits_);
  serial_form->addRow(tr("&Flusssteuerung:"), flow_);

  query_->setPlaceholderText(tr("etwa READ? oder MEAS:VOLT:DC?"));
  query_->setAccessibleName(tr("Abfragebefehl"));
  interval_->setRange(1, 86'400'000);
  interval_->setSuffix(tr(" ms"));
  interval_->setPrefix(tr("alle "));
  interval_->setAccessibleName(tr("Abstand der Abfragen"));
  auto* query_row = new QHBoxLayout;
  query_row->addWidget(query_, 1);
  query_row->addWidget(interval_);

  field_->setRange(1, 1000);
  field_->setAccessibleName(tr("Feldnummer"));
  delimiter_->setAccessibleName(tr("Feldtrenner"));
  auto* value_row = new QHBoxLayout;
  value_row->addWidget(value_, 1);
  value_row->addWidget(field_);
  value_row->addWidget(new QLabel(tr("getrennt durch"), this));
  value_row->addWidget(delimiter_);

  auto* form = new QFormLayout;
  form->addRow(tr("&Quelle:"), device_);
  form->addRow(serial_);
  form->addRow(tr("&Zeilenende:"), line_end_);
  form->addRow(query_on_, query_row);
  form->addRow(tr("&Wert ist:"), value_row);
  form->addRow(tr("D&ezimalzeichen:"), mark_);

  auto* hint = new QLabel(
      tr("Jeder Wert kommt als eigene Zeile ans Ende der Messreihe. Zeilen ohne Wert werden "
         "gezählt, nicht übernommen. Ohne Abfragebefehl zählt der Text vor dem ersten "
         "Zeilenende nicht: er kann der Rest einer angefangenen Zeile sein."),
      this);
  hint->setWordWrap(true);

  buttons_->button(QDialogButtonBox::Ok)->setText(tr("Aufnahme &starten"));
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(device_, &QComboBox::currentTextChanged, this, &RecordingDialog::Update);
  connect(query_on_, &QCheckBox::toggled, this, &RecordingDialog::Update);
  connect(value_, &QComboBox::currentIndexChanged, this, &RecordingDialog::Update);
  connect(baud_, &QComboBox::currentTextChanged, this, &RecordingDialog::Update);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(hint);
  layout->addWidget(buttons_);

  SetSource(Remembered());
  device_->setFocus();
}

void RecordingDialog::Update() {
  const QString device = device_->currentText().trimmed();
  const bool network = recording::ParseNetworkAddress(device).has_value();
  serial_->setEnabled(!network);
  query_->setEnabled(query_on_->isChecked());
  interval_->setEnabled(query_on_->isChecked());
  const bool field = Chosen(value_) != 0;
  field_->setEnabled(field);
  delimiter_->setEnabled(field);
  bool baud_ok = false;
  baud_->currentText().toInt(&baud_ok);
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(!device.isEmpty() && (network || baud_ok));
}

recording::Source RecordingDialog::source() const {
  recording::Source source;
  // A port chosen from the list carries its path; a typed text is taken as it stands.
  const int index = device_->currentIndex();
  const bool listed = index >= 0 && device_->itemText(index) == device_->currentText();
  source.device = listed ? device_->itemData(index).toString() : device_->currentText().trimmed();
  source.baud = baud_->currentText().toInt();
  source.data_bits = static_cast<QSerialPort::DataBits>(Chosen(data_bits_));
  source.parity = static_cast<QSerialPort::Parity>(Chosen(parity_));
  source.stop_bits = static_cast<QSerialPort::StopBits>(Chosen(stop_bits_));
  source.flow = static_cast<QSerialPort::FlowControl>(Chosen(flow_));
  source.line_end = static_cast<recording::LineEnd>(Chosen(line_end_));
  if (query_on_->isChecked()) source.query = query_->text().toUtf8();
  source.interval_ms = interval_->value();
  source.rule.field = Chosen(value_) != 0 ? field_->value() : 0;
  source.rule.delimiter = static_cast<recording::ValueRule::Delimiter>(Chosen(delimiter_));
  source.rule.mark = static_cast<recording::ValueRule::Mark>(Chosen(mark_));
  return source;
}

void RecordingDialog::SetSource(const recording::Source& source) {
  const int listed = device_->findData(source.device);
  if (listed >= 0) {
    device_->setCurrentIndex(listed);
  } else {
    device_->setCurrentIndex(-1);
    device_->setEditText(source.device);
  }
  baud_->setEditText(QString::number(source.baud));
  Choose(data_bits_, source.data_bits);
  Choose(parity_, source.parity);
  Choose(stop_bits_, source.stop_bits);
  Choose(flow_, source.flow);
  Choose(line_end_, int(source.line_end));
  query_on_->setChecked(!source.query.isEmpty());
  query_->setText(QString::fromUtf8(source.query));
  interval_->setValue(source.interval_ms);
  Choose(value_, source.rule.field > 0 ? 1 : 0);
  field_->setValue(std::max(1, source.rule.field));
  Choose(delimiter_, int(source.rule.delimiter));
  Choose(mark_, int(source.rule.mark));
  Update();
}

recording::Source RecordingDialog::Remembered() {
  QSettings settings(QStringLiteral("messwerte"), QStringLiteral("messwerte"));
  settings.beginGroup(QStringLiteral("Aufnahme"));
  recording::Source source;
  const auto number = [&settings](const char* key, int fallback) {
    return settings.value(QLatin1String(key), fallback).toInt();
  };
  source.device = settings.value(QStringLiteral("Quelle")).toString();
  source.baud = number("Baudrate", source.baud);
  source.data_bits = static_cast<QSerialPort::DataBits>(number("Datenbits", source.data_bits));
  source.parity = static_cast<QSerialPort::Parity>(number("Paritaet", source.parity));
  source.stop_bits = static_cast<QSerialPort::StopBits>(number("Stoppbits", source.stop_bits));
  source.flow = static_cast<QSerialPort::FlowControl>(number("Flusssteuerung", source.flow));
  source.line_end = static_cast<recording::LineEnd>(number("Zeilenende", int(source.line_end)));
  source.query = settings.value(QStringLiteral("Abfrage")).toByteArray();
  source.interval_ms = number("Intervall", source.interval_ms);
  source.rule.field = number("Feld", 0);
  source.rule.delimiter = static_cast<recording::ValueRule::Delimiter>(number("Feldtrenner", ' '));
  source.rule.mark = static_cast<recording::ValueRule::Mark>(number("Dezimalzeichen", 0));
  return source;
}

void RecordingDialog::Remember(const recording::Source& source) {
  QSettings settings(QStringLiteral("messwerte"), QStringLiteral("messwerte"));
  settings.beginGroup(QStringLiteral("Aufnahme"));
  settings.setValue(QStringLiteral("Quelle"), source.device);
  settings.setValue(QStringLiteral("Baudrate"), source.baud);
  settings.setValue(QStringLiteral("Datenbits"), int(source.data_bits));
  settings.setValue(QStringLiteral("Paritaet"), int(source.parity));
  settings.setValue(QStringLiteral("Stoppbits"), int(source.stop_bits));
  settings.setValue(QStringLiteral("Flusssteuerung"), int(source.flow));
  settings.setValue(QStringLiteral("Zeilenende"), int(source.line_end));
  settings.setValue(QStringLiteral("Abfrage"), source.query);
  settings.setValue(QStringLiteral("Intervall"), source.interval_ms);
  settings.setValue(QStringLiteral("Feld"), source.rule.field);
  settings.setValue(QStringLiteral("Feldtrenner"), int(source.rule.delimiter));
  settings.setValue(QStringLiteral("Dezimalzeichen"), int(source.rule.mark));
}
