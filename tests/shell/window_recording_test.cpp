// Recording into the real window from a fake instrument: the values at the end of the series,
// one undo step, the buttons on the values so far, Escape, a lost connection that keeps the
// values, a restart that appends, the recovery file, and the dialog's remembered settings.

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "fake_instrument.h"
#include "form1.h"
#include "measurement_edit.h"
#include "recording_control.h"
#include "recording_dialog.h"
#include "series_actions.h"
#include "window_harness.h"

Q_DECLARE_METATYPE(FakeInstrument::Link)

class WindowRecordingTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(home_.isValid());
    qputenv("HOME", QFile::encodeName(home_.path()));
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  }
  void init() {
    QDir(SeriesActions::RecoveryFolder()).removeRecursively();
    QSettings(QStringLiteral("messwerte"), QStringLiteral("messwerte")).clear();
    window_ = OpenWindow(errors_);
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }
  void cleanup() { CloseWindow(window_); }

  void recordsAtTheSeriesEndAsOneStep_data() {
    QTest::addColumn<FakeInstrument::Link>("link");
    QTest::newRow("pseudo-terminal") << FakeInstrument::Link::kPty;
    QTest::newRow("TCP") << FakeInstrument::Link::kTcp;
  }
  void recordsAtTheSeriesEndAsOneStep() {
    QFETCH(FakeInstrument::Link, link);
    FakeInstrument instrument(link);
    memo()->setPlainText(QStringLiteral("1\n2\n"));
    memo()->SetSelection({0, 1}, {0, 1});
    Choose(instrument.device());
    recording().recordAction()->trigger();
    QTRY_VERIFY(recording().Recording());
    // The Datei menu offers stopping in place of starting.
    QVERIFY(recording().stopAction()->isVisible() && !recording().recordAction()->isVisible());
    QVERIFY(instrument.Connected());
    instrument.Send({"\n3\nOK\n4.5\n"});
    QTRY_COMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n3\n4.5\n"));

    // The buttons work on the values so far, and the status counts them.
    FindControl<QPushButton>(*window_, QStringLiteral("btnAnzahl"))->click();
    QCOMPARE(FindControl<QLineEdit>(*window_, QStringLiteral("edtAnzahl"))->text(),
             QStringLiteral("4"));
    QTRY_VERIFY2(Status().startsWith(QStringLiteral("2 Werte,")), qPrintable(Status()));
    QVERIFY2(Status().contains(QStringLiteral("1 (1 ohne Zahl)")), qPrintable(Status()));
    // The caret stays on the text it was on.
    QCOMPARE(memo()->CursorPosition(), (TextPosition{0, 1}));

    instrument.Send({"5", "\n6\n"});
    QTRY_COMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n3\n4.5\n5\n6\n"));
    QTest::keyClick(memo(), Qt::Key_Escape);
    QVERIFY(!recording().Recording());
    QVERIFY2(Status().startsWith(QStringLiteral("Aufnahme beendet: 4 Werte")), qPrintable(Status()));

    memo()->undo();
    QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n"));
    memo()->redo();
    QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n3\n4.5\n5\n6\n"));
  }

  void lostConnectionKeepsTheValuesAndARestartAppends() {
    auto instrument = std::make_unique<FakeInstrument>(FakeInstrument::Link::kTcp);
    Choose(instrument->device());
    recording().StartChosen();
    QTRY_VERIFY(recording().Recording());
    QVERIFY(instrument->Connected());
    instrument->Send({"\n1\n2\n"});
    QTRY_COMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n"));
    instrument->Drop();
    QTRY_VERIFY(!recording().Recording());
    const QString notice = window_->notices().text();
    QVERIFY2(notice.contains(QStringLiteral("abgebrochen")) &&
                 notice.contains(QStringLiteral("Alle 2 empfangenen Werte")),
             qPrintable(notice));
    QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n"));

    instrument = std::make_unique<FakeInstrument>(FakeInstrument::Link::kPty);
    Choose(instrument->device());
    recording().StartChosen();
    QTRY_VERIFY(recording().Recording());
    instrument->Send({"\n3\n"});
    QTRY_COMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n3\n"));
    recording().Stop();
    // Each recording is a step of its own.
    memo()->undo();
    QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n"));
    memo()->undo();
    QCOMPARE(memo()->toPlainText(), QString());
  }

  void sourceThatCannotBeOpenedIsANotice() {
    Choose(QStringLiteral("/dev/gibt-es-nicht"));
    recording().StartChosen();
    QTRY_COMPARE(window_->notices().text(),
                 QStringLiteral("Die Schnittstelle „/dev/gibt-es-nicht“ gibt es nicht."));
    QVERIFY(!recording().Recording());
    QVERIFY(recording().recordAction()->isEnabled());
    QVERIFY(errors_.isEmpty());
  }

  void recordedValuesReachTheRecoveryFileWithinASecond() {
    FakeInstrument instrument(FakeInstrument::Link::kPty);
    Choose(instrument.device());
    recording().StartChosen();
    QTRY_VERIFY(recording().Recording());
    QElapsedTimer clock;
    instrument.Send({"\n"});
    clock.start();
    instrument.Write("17.25\n");
    const QString path = window_->files().RecoveryPath();
    QTRY_VERIFY_WITH_TIMEOUT(ReadAll(path).contains("17.25"), 3000);
    // A batch and a keeping take 550 ms; the rest is for a loaded test machine.
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    recording().Stop();
  }

  void dialogRemembersTheSettings() {
    recording::Source source;
    source.device = QStringLiteral("/dev/ttyACM7");
    source.baud = 57600;
    source.data_bits = QSerialPort::Data7;
    source.parity = QSerialPort::EvenParity;
    source.stop_bits = QSerialPort::TwoStop;
    source.flow = QSerialPort::HardwareControl;
    source.line_end = recording::LineEnd::kCr;
    source.query = "MEAS:VOLT:DC?";
    source.interval_ms = 250;
    source.rule = {3, recording::ValueRule::Delimiter::kSemicolon,
                   recording::ValueRule::Mark::kComma};
    {
      RecordingDialog dialog;
      dialog.SetSource(source);
      RecordingDialog::Remember(dialog.source());
    }
    QVERIFY(RecordingDialog().source() == source);
  }

 private:
  RecordingControl& recording() { return window_->recording(); }
  MeasurementEdit* memo() { return FindControl<MeasurementEdit>(*window_, "Memo1"); }
  QString Status() { return FindControl<QLabel>(*window_, "lblAufnahme")->toolTip(); }
  void Choose(const QString& device) {
    recording().ChooseSource = [device] {
      recording::Source source;
      source.device = device;
      return std::optional<recording::Source>(source);
    };
  }
  static QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir home_;
  std::unique_ptr<TForm1> window_;
  QStringList errors_;
};

QTEST_MAIN(WindowRecordingTest)
#include "window_recording_test.moc"
