// Recording from a fake instrument over a real pseudo-terminal (socat) and a loopback TCP
// connection: the values in order, every other line counted, a query answered, a connection
// dropped midway.

#include "recorder.h"

#include <QtTest>
#include <memory>

#include "fake_instrument.h"

using recording::End;
using recording::Recorder;
using recording::Source;

Q_DECLARE_METATYPE(FakeInstrument::Link)

namespace {

// A recording under way, with what it handed on.
struct Run {
  std::unique_ptr<Recorder> recorder;
  QStringList values;
  QStringList skipped;
  std::optional<End> end;
  QString message;

  Run(const Source& source, char list_mark) : recorder(new Recorder(source, list_mark)) {
    recorder->OnValue = [this](std::string_view number) {
      values << QString::fromUtf8(number.data(), static_cast<qsizetype>(number.size()));
    };
    recorder->OnSkipped = [this](recording::Skip, std::string_view line) {
      skipped << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    };
    QObject::connect(recorder.get(), &Recorder::ended, [this](End how, const QString& why) {
      end = how;
      message = why;
    });
  }

  bool Started() {
    QSignalSpy started(recorder.get(), &Recorder::started);
    recorder->Start();
    return started.wait(5000) || recorder->Running();
  }
};

void AddLinks() {
  QTest::addColumn<FakeInstrument::Link>("link");
  QTest::newRow("pseudo-terminal") << FakeInstrument::Link::kPty;
  QTest::newRow("TCP") << FakeInstrument::Link::kTcp;
}

}  // namespace

class RecorderTest : public QObject {
  Q_OBJECT

 private slots:
  void takesTheValuesSent_data() {
    QTest::addColumn<FakeInstrument::Link>("link");
    QTest::addColumn<int>("list_mark");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("skipped");
    QTest::addColumn<bool>("lost");  // the instrument drops the connection after the pieces

    const auto both = [](const char* name, char mark, const QList<QByteArray>& pieces,
                         const QStringList& values, const QString& skipped, bool lost = false) {
      QTest::addRow("%s, pseudo-terminal", name)
          << FakeInstrument::Link::kPty << int(mark) << pieces << values << skipped << lost;
      QTest::addRow("%s, TCP", name)
          << FakeInstrument::Link::kTcp << int(mark) << pieces << values << skipped << lost;
    };
    both("LF, a half line at the start", '.', {"5\n1.5\n2.25\n-3\n"}, {"1.5", "2.25", "-3"},
         "1 (1 Zeilenrest am Anfang)");
    both("CR LF split inside the line end", '.', {"\r\n1.5\r", "\n2.", "25\r\n-3\r\n"},
         {"1.5", "2.25", "-3"}, {});
    both("CR, each byte written alone", '.', {"\r", "1", "2", ".", "5", "\r", "7", "\r"},
         {"12.5", "7"}, {});
    both("lines without a value mixed in", '.',
         {"\nOK\n\nU=12.5 V\n+1.2500E+01VDC\nCH1: -0.5\n9.9E37\n4\n"},
         {"12.5", "+1.2500E+01", "-0.5", "4"}, "3 (1 leer, 1 ohne Zahl, 1 Überlauf (9,9E37))");
    both("decimal comma found, shown with the list's point", '.', {"\n12,5\n13,25 V\n1.5\n"},
         {"12.5", "13.25"}, "1 (1 Zahl unklar)");
    both("decimal point shown with the list's comma", ',', {"\n0.125\n-7\n"}, {"0,125", "-7"}, {});
    // The half line left when the line broke off is no value.
    both("connection lost midway", '.', {"\n1\n2\n3.2"}, {"1", "2"},
         "1 (1 unvollständig am Ende)", true);
  }

  void takesTheValuesSent() {
    QFETCH(FakeInstrument::Link, link);
    QFETCH(int, list_mark);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QStringList, values);
    QFETCH(QString, skipped);
    QFETCH(bool, lost);

    FakeInstrument instrument(link);
    Source source;
    source.device = instrument.device();
    source.baud = 115200;
    Run run(source, static_cast<char>(list_mark));
    QVERIFY(run.Started());
    QVERIFY(instrument.Connected());
    instrument.Send(pieces);
    QTRY_COMPARE(run.values, values);
    if (lost) instrument.Drop();
    QTRY_COMPARE(run.recorder->SkippedSummary(), skipped);
    if (!lost) run.recorder->Stop();
    QTRY_COMPARE(run.end, lost ? End::kLost : End::kStopped);
    if (lost) {
      QVERIFY2(run.message.contains(QStringLiteral("abgebrochen")), qPrintable(run.message));
      const QByteArray& last = pieces.constLast();
      QCOMPARE(run.skipped.constLast(), QString::fromUtf8(last.mid(last.lastIndexOf('\n') + 1)));
    }
    QCOMPARE(run.values, values);
    QVERIFY(!run.recorder->Running());
  }

  void asksWithTheQueryCommand_data() { AddLinks(); }
  void asksWithTheQueryCommand() {
    QFETCH(FakeInstrument::Link, link);
    FakeInstrument instrument(link);
    int next = 0;
    instrument.Answer("READ?", [&next] { return QByteArray::number(++next) + ".5\r\n"; });
    Source source;
    source.device = instrument.device();
    source.query = "READ?";
    source.interval_ms = 20;
    Run run(source, '.');
    QVERIFY(run.Started());
    QTRY_VERIFY(run.values.size() >= 5);
    run.recorder->Stop();
    QStringList expected;
    for (int i = 1; i <= run.values.size(); ++i) expected << QStringLiteral("%1.5").arg(i);
    // With a query every answer is whole, the first too.
    QCOMPARE(run.values, expected);
    QCOMPARE(run.recorder->Skipped(), 0);
  }

  void saysWhyASourceCannotBeOpened_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("message");
    QTest::newRow("no such device")
        << QStringLiteral("/dev/gibt-es-nicht")
        << QStringLiteral("Die Schnittstelle „/dev/gibt-es-nicht“ gibt es nicht.");
    QTemporaryDir dir;
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 port = closed.serverPort();
    closed.close();
    QTest::newRow("nobody listening")
        << QStringLiteral("127.0.0.1:%1").arg(port)
        << QStringLiteral("„127.0.0.1:%1“ nimmt keine Verbindung an.").arg(port);
  }
  void saysWhyASourceCannotBeOpened() {
    QFETCH(QString, device);
    QFETCH(QString, message);
    Source source;
    source.device = device;
    Run run(source, '.');
    run.recorder->Start();
    QTRY_COMPARE(run.end, End::kNotOpened);
    QCOMPARE(run.message, message);
  }
};

QTEST_GUILESS_MAIN(RecorderTest)
#include "recorder_test.moc"
