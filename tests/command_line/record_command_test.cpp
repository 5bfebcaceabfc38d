// messwerte --aufnehmen run as a process against a fake instrument: exactly the values sent on
// standard output, in the locale's form that --auswerten reads; skipped lines on standard error;
// the count, the time, Ctrl+C, a lost connection and a source that cannot be opened.

#include <signal.h>

#include <QProcess>
#include <QtTest>
#include <memory>

#include "fake_instrument.h"
#include "program_run.h"

Q_DECLARE_METATYPE(FakeInstrument::Link)

namespace {

std::unique_ptr<QProcess> Program(const QStringList& arguments, const QString& lang) {
  auto process = std::make_unique<QProcess>();
  process->setProcessEnvironment(WithoutDisplay(lang));
  process->start(QStringLiteral(MESSWERTE_PROGRAM), arguments);
  return process;
}

// Waits, serving the fake instrument meanwhile, for the process to end.
bool Ended(QProcess& process, int ms = 10000) {
  return QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, ms);
}

// Waits for the program to say it records.
bool Recording(QProcess& process, QByteArray& err) {
  return QTest::qWaitFor(
      [&] {
        err += process.readAllStandardError();
        return err.contains("läuft");
      },
      10000);
}

}  // namespace

class RecordCommandTest : public QObject {
  Q_OBJECT

 private slots:
  void printsExactlyTheValuesSent_data() {
    QTest::addColumn<FakeInstrument::Link>("link");
    QTest::addColumn<QStringList>("options");  // after --aufnehmen GERÄT
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QString>("end");  // besides the options: "Strg+C", or "weg" for a lost link
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QStringList>("err");      // what standard error holds, among other things
    QTest::addColumn<QString>("evaluated");  // how --auswerten begins on `out`
    const QList<QByteArray> instrument = {"7", "\n1.5\r\nOK\r\n-2\r", "\n\r\n+1.2500E+01VDC\r\n",
                                          "4\r\n5\r\n"};
    const QStringList skipped = {"übersprungen (Zeilenrest am Anfang): '7'",
                                 "übersprungen (ohne Zahl): 'OK'", "übersprungen (leer)",
                                 "3 Werte in"};
    const QStringList three = {"--baud", "115200", "--anzahl", "3"};
    QTest::newRow("pseudo-terminal, English, a count")
        << FakeInstrument::Link::kPty << three << "en_US.UTF-8" << instrument << "" << 0
        << QByteArray("1.5\n-2\n+1.2500E+01\n") << skipped
        << "Anzahl: 3\nMittelwert: 4\nQuadratischer Mittelwert: 7.35980081558228\n";
    QTest::newRow("TCP, German, a count")
        << FakeInstrument::Link::kTcp << three << "de_DE.UTF-8" << instrument << "" << 0
        << QByteArray("1,5\n-2\n+1,2500E+01\n") << skipped
        << "Anzahl: 3\nMittelwert: 4\nQuadratischer Mittelwert: 7,35980081558228\n";
    QTest::newRow("Ctrl+C") << FakeInstrument::Link::kPty << QStringList() << "en_US.UTF-8"
                            << QList<QByteArray>{"\n1\n2\n"} << "Strg+C" << 0
                            << QByteArray("1\n2\n") << QStringList() << "";
    QTest::newRow("query command")
        << FakeInstrument::Link::kTcp
        << QStringList{"--abfrage", "READ?", "--intervall", "20", "--anzahl", "4"} << "en_US.UTF-8"
        << QList<QByteArray>() << "" << 0 << QByteArray("1.5\n2.5\n3.5\n4.5\n") << QStringList()
        << "";
    QTest::newRow("lost connection")
        << FakeInstrument::Link::kTcp << QStringList() << "en_US.UTF-8"
        << QList<QByteArray>{"\n1\n2\n3"} << "weg" << 1 << QByteArray("1\n2\n")
        << QStringList{"Die Verbindung zu „127.0.0.1:", "übersprungen (unvollständig am Ende): '3'"}
        << "";
    QTest::newRow("duration") << FakeInstrument::Link::kPty << QStringList{"--dauer", "0,3"}
                              << "en_US.UTF-8" << QList<QByteArray>() << "" << 0 << QByteArray()
                              << QStringList() << "";
  }
  void printsExactlyTheValuesSent() {
    QFETCH(FakeInstrument::Link, link);
    QFETCH(QStringList, options);
    QFETCH(QString, lang);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QString, end);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QStringList, err);
    QFETCH(QString, evaluated);
    FakeInstrument instrument(link);
    int next = 0;
    instrument.Answer("READ?", [&next] { return QByteArray::number(++next) + ".5\n"; });
    QElapsedTimer clock;
    clock.start();
    auto process = Program(QStringList{QStringLiteral("--aufnehmen"), instrument.device()} + options,
                           lang);
    QByteArray said;
    if (!pieces.isEmpty()) {
      QVERIFY(Recording(*process, said));
      QVERIFY(instrument.Connected());
      instrument.Send(pieces);
    }
    QByteArray printed;
    if (end == "Strg+C") {
      QVERIFY(QTest::qWaitFor(
          [&] { return (printed += process->readAllStandardOutput()) == out; }, 5000));
      ::kill(static_cast<pid_t>(process->processId()), SIGINT);
    } else if (end == "weg") {
      instrument.Drop();
    }
    QVERIFY(Ended(*process));
    said += process->readAllStandardError();
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), exitCode);
    QCOMPARE(printed + process->readAllStandardOutput(), out);
    for (const QString& part : err) QVERIFY2(said.contains(part.toUtf8()), said.constData());
    if (options.contains("--dauer")) QVERIFY(clock.elapsed() >= 300);
    if (evaluated.isEmpty()) return;

    // What it printed is what --auswerten reads under the same locale.
    auto evaluation = Program({QStringLiteral("--auswerten"), QStringLiteral("-")}, lang);
    evaluation->write(out);
    evaluation->closeWriteChannel();
    QVERIFY(Ended(*evaluation));
    QVERIFY(QString::fromUtf8(evaluation->readAllStandardOutput()).startsWith(evaluated));
  }

  void refusesWhatCannotBeRecorded_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no such device")
        << QStringList{"--aufnehmen", "/dev/gibt-es-nicht"}
        << "messwerte: Die Schnittstelle „/dev/gibt-es-nicht“ gibt es nicht.\n";
    QTest::newRow("a file, not a port")
        << QStringList{"--aufnehmen", MESSWERTE_PROGRAM} << "lässt sich nicht";
    QTest::newRow("decimal mark") << QStringList{"--aufnehmen", "x:1", "--dezimalzeichen", "dezimal"}
                                  << "messwerte: --dezimalzeichen ist punkt oder komma.\n";
    QTest::newRow("count and duration")
        << QStringList{"--aufnehmen", "x:1", "--anzahl", "2", "--dauer", "1"}
        << "messwerte: --anzahl und --dauer gehen nicht zusammen.\n";
    QTest::newRow("interval without a query")
        << QStringList{"--aufnehmen", "x:1", "--intervall", "20"}
        << "messwerte: --intervall gilt nur mit --abfrage.\n";
    QTest::newRow("baud without recording")
        << QStringList{"--baud", "9600"} << "messwerte: --baud gilt nur mit --aufnehmen.\n";
  }
  void refusesWhatCannotBeRecorded() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    auto process = Program(arguments, QStringLiteral("de_DE.UTF-8"));
    QVERIFY(Ended(*process));
    QCOMPARE(process->exitCode(), 2);
    const QString err = QString::fromUtf8(process->readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
    QCOMPARE(process->readAllStandardOutput(), QByteArray());
  }
};

QTEST_GUILESS_MAIN(RecordCommandTest)
#include "record_command_test.moc"
