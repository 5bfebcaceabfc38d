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
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QString>("evaluated");
    QTest::newRow("pseudo-terminal, English")
        << FakeInstrument::Link::kPty << QStringLiteral("en_US.UTF-8")
        << QByteArray("1.5\n-2\n+1.2500E+01\n")
        << QStringLiteral("Anzahl: 3\nMittelwert: 4\nQuadratischer Mittelwert: 7.35980081558228\n");
    QTest::newRow("TCP, German")
        << FakeInstrument::Link::kTcp << QStringLiteral("de_DE.UTF-8")
        << QByteArray("1,5\n-2\n+1,2500E+01\n")
        << QStringLiteral("Anzahl: 3\nMittelwert: 4\nQuadratischer Mittelwert: 7,35980081558228\n");
  }
  void printsExactlyTheValuesSent() {
    QFETCH(FakeInstrument::Link, link);
    QFETCH(QString, lang);
    QFETCH(QByteArray, out);
    QFETCH(QString, evaluated);
    FakeInstrument instrument(link);
    auto process =
        Program({QStringLiteral("--aufnehmen"), instrument.device(), QStringLiteral("--baud"),
                 QStringLiteral("115200"), QStringLiteral("--anzahl"), QStringLiteral("3")},
                lang);
    QByteArray err;
    QVERIFY(Recording(*process, err));
    QVERIFY(instrument.Connected());
    instrument.Send({"7", "\n1.5\r\nOK\r\n-2\r", "\n\r\n+1.2500E+01VDC\r\n", "4\r\n5\r\n"});
    QVERIFY(Ended(*process));
    err += process->readAllStandardError();
    QCOMPARE(process->exitCode(), 0);
    QCOMPARE(process->readAllStandardOutput(), out);
    QVERIFY2(err.contains("übersprungen (Zeilenrest am Anfang): '7'"), err.constData());
    QVERIFY2(err.contains("übersprungen (ohne Zahl): 'OK'"), err.constData());
    QVERIFY2(err.contains("übersprungen (leer)"), err.constData());
    QVERIFY2(err.contains("3 Werte in"), err.constData());

    // What it printed is what --auswerten reads under the same locale.
    auto evaluation = Program({QStringLiteral("--auswerten"), QStringLiteral("-")}, lang);
    evaluation->write(out);
    evaluation->closeWriteChannel();
    QVERIFY(Ended(*evaluation));
    QVERIFY(QString::fromUtf8(evaluation->readAllStandardOutput()).startsWith(evaluated));
  }

  void endsCleanlyOnCtrlC() {
    FakeInstrument instrument(FakeInstrument::Link::kPty);
    auto process = Program({QStringLiteral("--aufnehmen"), instrument.device()},
                           QStringLiteral("en_US.UTF-8"));
    QByteArray err;
    QVERIFY(Recording(*process, err));
    instrument.Send({"\n1\n2\n"});
    QByteArray out;
    QVERIFY(QTest::qWaitFor([&] { return (out += process->readAllStandardOutput()) == "1\n2\n"; },
                            5000));
    ::kill(static_cast<pid_t>(process->processId()), SIGINT);
    QVERIFY(Ended(*process));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 0);
    QCOMPARE(out + process->readAllStandardOutput(), QByteArray("1\n2\n"));
  }

  void asksWithTheQueryCommand() {
    FakeInstrument instrument(FakeInstrument::Link::kTcp);
    int next = 0;
    instrument.Answer("READ?", [&next] { return QByteArray::number(++next) + ".5\n"; });
    auto process =
        Program({QStringLiteral("--aufnehmen"), instrument.device(), QStringLiteral("--abfrage"),
                 QStringLiteral("READ?"), QStringLiteral("--intervall"), QStringLiteral("20"),
                 QStringLiteral("--anzahl"), QStringLiteral("4")},
                QStringLiteral("en_US.UTF-8"));
    QVERIFY(Ended(*process));
    QCOMPARE(process->exitCode(), 0);
    QCOMPARE(process->readAllStandardOutput(), QByteArray("1.5\n2.5\n3.5\n4.5\n"));
  }

  void keepsTheValuesOfALostConnection() {
    FakeInstrument instrument(FakeInstrument::Link::kTcp);
    auto process = Program({QStringLiteral("--aufnehmen"), instrument.device()},
                           QStringLiteral("en_US.UTF-8"));
    QByteArray err;
    QVERIFY(Recording(*process, err));
    QVERIFY(instrument.Connected());
    instrument.Send({"\n1\n2\n3"});
    instrument.Drop();
    QVERIFY(Ended(*process));
    err += process->readAllStandardError();
    QCOMPARE(process->exitCode(), 1);
    QCOMPARE(process->readAllStandardOutput(), QByteArray("1\n2\n"));
    QVERIFY2(err.contains("Die Verbindung zu „127.0.0.1:"), err.constData());
    QVERIFY2(err.contains("übersprungen (unvollständig am Ende): '3'"), err.constData());
  }

  void endsAfterTheDuration() {
    FakeInstrument instrument(FakeInstrument::Link::kPty);
    QElapsedTimer clock;
    clock.start();
    auto process = Program({QStringLiteral("--aufnehmen"), instrument.device(),
                            QStringLiteral("--dauer"), QStringLiteral("0,3")},
                           QStringLiteral("en_US.UTF-8"));
    QVERIFY(Ended(*process));
    QCOMPARE(process->exitCode(), 0);
    QVERIFY(clock.elapsed() >= 300);
  }

  void refusesWhatCannotBeRecorded_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no such device")
        << QStringList{QStringLiteral("--aufnehmen"), QStringLiteral("/dev/gibt-es-nicht")}
        << QStringLiteral("messwerte: Die Schnittstelle „/dev/gibt-es-nicht“ gibt es nicht.\n");
    QTest::newRow("a file, not a port")
        << QStringList{QStringLiteral("--aufnehmen"), QStringLiteral(MESSWERTE_PROGRAM)}
        << QStringLiteral("lässt sich nicht");
    QTest::newRow("decimal mark")
        << QStringList{QStringLiteral("--aufnehmen"), QStringLiteral("x:1"),
                       QStringLiteral("--dezimalzeichen"), QStringLiteral("dezimal")}
        << QStringLiteral("messwerte: --dezimalzeichen ist punkt oder komma.\n");
    QTest::newRow("count and duration")
        << QStringList{QStringLiteral("--aufnehmen"), QStringLiteral("x:1"),
                       QStringLiteral("--anzahl"),    QStringLiteral("2"),
                       QStringLiteral("--dauer"),     QStringLiteral("1")}
        << QStringLiteral("messwerte: --anzahl und --dauer gehen nicht zusammen.\n");
    QTest::newRow("interval without a query")
        << QStringList{QStringLiteral("--aufnehmen"), QStringLiteral("x:1"),
                       QStringLiteral("--intervall"), QStringLiteral("20")}
        << QStringLiteral("messwerte: --intervall gilt nur mit --abfrage.\n");
    QTest::newRow("baud without recording")
        << QStringList{QStringLiteral("--baud"), QStringLiteral("9600")}
        << QStringLiteral("messwerte: --baud gilt nur mit --aufnehmen.\n");
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
