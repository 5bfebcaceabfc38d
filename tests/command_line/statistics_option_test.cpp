// --kennwerte run as a process: NIST's certified values to 13 digits at least, small series in
// the user's locale, one value, a line that is no number, and the order after --auswerten.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "program_run.h"

namespace {

ProgramRun Start(const QStringList& arguments, const QString& lang) {
  return RunProgram(arguments, WithoutDisplay(lang));
}

// The value after "label: " in `out`.
QString Value(const QString& out, const QString& label) {
  for (const QString& line : out.split(u'\n')) {
    if (line.startsWith(label + QStringLiteral(": "))) return line.mid(label.size() + 2);
  }
  return {};
}

// A NIST "NumAcc" set: the first value, then two values alternating around it.
QByteArray Alternating(const QByteArray& first, const QByteArray& low, const QByteArray& high) {
  QByteArray text = first + '\n';
  for (int i = 0; i < 500; ++i) text += low + '\n' + high + '\n';
  return text;
}

// A reference series kept beside the core's tests, one value a line.
QByteArray Stored(const char* name) {
  QFile file(QStringLiteral(MESSWERTE_NIST_DIR "/%1.txt").arg(QLatin1String(name)));
  if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read %s", qPrintable(file.fileName()));
  return file.readAll();
}

}  // namespace

class StatisticsOptionTest : public QObject {
  Q_OBJECT

 private:
  ScratchFolder dir_;

  QString Write(const QString& name, const QByteArray& bytes) { return dir_.Write(name, bytes); }

 private slots:
  void certifiedValues_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("standard_deviation");
    QTest::addColumn<QString>("count");
    QTest::newRow("NumAcc1") << QByteArray("10000001\n10000003\n10000002\n") << 10000002.0 << 1.0
                             << QStringLiteral("3");
    QTest::newRow("NumAcc2") << Alternating("1.2", "1.1", "1.3") << 1.2 << 0.1
                             << QStringLiteral("1001");
    QTest::newRow("NumAcc3") << Alternating("1000000.2", "1000000.1", "1000000.3") << 1000000.2
                             << 0.1 << QStringLiteral("1001");
    QTest::newRow("NumAcc4") << Alternating("10000000.2", "10000000.1", "10000000.3") << 10000000.2
                             << 0.1 << QStringLiteral("1001");
    // NIST StRD univariate datasets PiDigits, Lottery, Lew, Mavro and Michelso.
    QTest::newRow("PiDigits") << Stored("PiDigits") << 4.53480000000000 << 2.86733906028871
                              << QStringLiteral("5000");
    QTest::newRow("Lottery") << Stored("Lottery") << 518.958715596330 << 291.699727470969
                             << QStringLiteral("218");
    QTest::newRow("Lew") << Stored("Lew") << -177.435000000000 << 277.332168044316
                         << QStringLiteral("200");
    QTest::newRow("Mavro") << Stored("Mavro") << 2.00185600000000 << 0.000429123454003053
                           << QStringLiteral("50");
    QTest::newRow("Michelso") << Stored("Michelso") << 299.852400000000 << 0.0790105478190518
                              << QStringLiteral("100");
  }

  // The digits printed agree with the certified ones to 13 significant digits or more.
  void certifiedValues() {
    QFETCH(QByteArray, bytes);
    QFETCH(double, mean);
    QFETCH(double, standard_deviation);
    QFETCH(QString, count);
    const ProgramRun run =
        Start({QStringLiteral("--kennwerte"), Write("nist.txt", bytes)}, QStringLiteral("C.UTF-8"));
    QCOMPARE(run.exit_code, 0);
    QCOMPARE(Value(run.out, QStringLiteral("Anzahl")), count);
    const double printed_mean = Value(run.out, QStringLiteral("Mittelwert")).toDouble();
    const double printed_sd = Value(run.out, QStringLiteral("Standardabweichung")).toDouble();
    const auto digits = [](double computed, double certified) {
      return computed == certified
                 ? 16.0
                 : -std::log10(std::abs(computed - certified) / std::abs(certified));
    };
    qInfo("mean %.1f digits, standard deviation %.1f digits", digits(printed_mean, mean),
          digits(printed_sd, standard_deviation));
    QVERIFY2(digits(printed_mean, mean) >= 13, qPrintable(run.out));
    QVERIFY2(digits(printed_sd, standard_deviation) >= 13, qPrintable(run.out));
  }

  void smallSeries_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exit_code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("German") << QByteArray("1,5\n2,5\n\n9\n") << QStringList{} << 0
                            << QStringLiteral(
                                   "Anzahl: 2\nMittelwert: 2\nStandardabweichung: "
                                   "0,7071067811865476\nStandardabweichung des Mittelwerts: "
                                   "0,5\nVertrauensbereich des Mittelwerts (95 %, ±): "
                                   "6,353102368087347\nt-Faktor (95 %): 12,706204736174694\n"
                                   "Median: 2\nSpannweite: 1\nKleinster Messwert: 1,5\nZeile des "
                                   "kleinsten Messwerts: 1\nGrößter Messwert: 2,5\nZeile des "
                                   "größten Messwerts: 2\n")
                            << QString();
    QTest::newRow("one value") << QByteArray("7\n") << QStringList{} << 0
                               << QStringLiteral(
                                      "Anzahl: 1\nMittelwert: 7\nStandardabweichung: –\n"
                                      "Standardabweichung des Mittelwerts: –\nVertrauensbereich "
                                      "des Mittelwerts (95 %, ±): –\nt-Faktor (95 %): –\nMedian: "
                                      "7\nSpannweite: 0\nKleinster Messwert: 7\nZeile des "
                                      "kleinsten Messwerts: 1\nGrößter Messwert: 7\nZeile des "
                                      "größten Messwerts: 1\n")
                               << QStringLiteral(
                                      "messwerte: Kennwerte: Aus einem einzigen Messwert ergibt "
                                      "sich keine Standardabweichung.\n");
    QTest::newRow("not a number") << QByteArray("1\nzwei\n") << QStringList{} << 1 << QString()
                                  << QStringLiteral(
                                         "messwerte: Kennwerte: Zeile 2 „zwei“ ist keine Zahl.\n");
    QTest::newRow("after the six lines")
        << QByteArray("2\n4\n") << QStringList{QStringLiteral("--auswerten")} << 0
        << QStringLiteral(
               "Anzahl: 2\nMittelwert: 3\nQuadratischer Mittelwert: 3,16227769851685\nGrößter "
               "Messwert: 4\nKleinster Messwert: 2\nProzentuale Abweichung: 33,3333320617676\n"
               "Anzahl: 2\nMittelwert: 3\nStandardabweichung: 1,4142135623730951\n"
               "Standardabweichung des Mittelwerts: 1\nVertrauensbereich des Mittelwerts "
               "(95 %, ±): 12,706204736174694\nt-Faktor (95 %): 12,706204736174694\nMedian: 3\n"
               "Spannweite: 2\nKleinster Messwert: 2\nZeile des kleinsten Messwerts: 1\n"
               "Größter Messwert: 4\nZeile des größten Messwerts: 2\n")
        << QString();
  }

  void smallSeries() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, options);
    QFETCH(int, exit_code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const ProgramRun run =
        Start(options + QStringList{Write("small.txt", bytes), QStringLiteral("--kennwerte")},
              QStringLiteral("de_DE.UTF-8"));
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, err);
    QCOMPARE(run.exit_code, exit_code);
  }
};

QTEST_GUILESS_MAIN(StatisticsOptionTest)
#include "statistics_option_test.moc"
