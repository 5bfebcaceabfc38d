// The built program run as a process: help and version without a display, the six lines of an
// evaluation in the user's locale, and the exit status with the messages on standard error.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "program_run.h"
#include "series_file.h"
#include "series_summary.h"

namespace {

using Run = ProgramRun;

Run Start(const QStringList& arguments, const QString& lang, const QByteArray& input = {}) {
  return RunProgram(arguments, WithoutDisplay(lang), input);
}

QString Lines(const QStringList& six) {
  static const QStringList labels = {QStringLiteral("Anzahl"),
                                     QStringLiteral("Mittelwert"),
                                     QStringLiteral("Quadratischer Mittelwert"),
                                     QStringLiteral("Größter Messwert"),
                                     QStringLiteral("Kleinster Messwert"),
                                     QStringLiteral("Prozentuale Abweichung")};
  QString text;
  for (qsizetype i = 0; i < labels.size(); ++i)
    text += labels[i] + QStringLiteral(": ") + six[i] + QLatin1Char('\n');
  return text;
}

}  // namespace

class CommandLineTest : public QObject {
  Q_OBJECT

 private:
  ScratchFolder dir_;

  QString Write(const QString& name, const QByteArray& bytes) { return dir_.Write(name, bytes); }

 private slots:
  void evaluatesAFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<int>("exit_code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString dash = QStringLiteral("–");
    QTest::newRow("typical file, C.UTF-8")
        << QByteArray("2\n4\n6\n") << QStringList() << "C.UTF-8" << 0
        << Lines({"3", "4", "4.32049369812012", "6", "2", "50"}) << QString();
    QTest::newRow("typical file, de_DE.UTF-8")
        << QByteArray("2\n4\n6\n") << QStringList() << "de_DE.UTF-8" << 0
        << Lines({"3", "4", "4,32049369812012", "6", "2", "50"}) << QString();
    QTest::newRow("decimal comma, de_DE.UTF-8")
        << QByteArray("Wert\r\n1,5\r\n2,5\r\n") << QStringList() << "de_DE.UTF-8" << 0
        << Lines({"2", "2", "2,06155276298523", "2,5", "1,5", "25"}) << QString();
    QTest::newRow("bad line") << QByteArray("1\nzwei\n3\n") << QStringList() << "C.UTF-8" << 1
                              << Lines({"3", dash, dash, dash, dash, dash})
                              << "messwerte: 'zwei' ist kein gültiger Gleitkommawert (Zeile 2).\n";
    QTest::newRow("empty file") << QByteArray() << QStringList() << "C.UTF-8" << 1
                                << Lines({"0", "0", "0", dash, dash, dash})
                                << "messwerte: Die Liste enthält keine Messwerte.\n";
    QTest::newRow("zero mean")
        << QByteArray("-1\n1\n") << QStringList() << "C.UTF-8" << 1
        << Lines({"2", "0", "1", "1", "-1", dash})
        << "messwerte: Bei einem Mittelwert von 0 ist die prozentuale Abweichung nicht "
           "definiert.\n";
    QTest::newRow("values after an empty line")
        << QByteArray("1\n3\n\n100\nx\n") << QStringList() << "C.UTF-8" << 0
        << Lines({"2", "2", "2.2360680103302", "3", "1", "50"})
        << "messwerte: Hinweis: Die Leerzeile in Zeile 3 beendet die Messreihe; 2 Zeilen danach "
           "(Zeile 4 bis 5) werden nicht ausgewertet.\n";
    QTest::newRow("column chosen")
        << QByteArray("Zeit;Wert\n0;2\n1;4\n2;6\n") << QStringList{"--spalte", "2"} << "C.UTF-8"
        << 0 << Lines({"3", "4", "4.32049369812012", "6", "2", "50"}) << QString();
    QTest::newRow("several columns without --spalte")
        << QByteArray("Zeit;Wert\n0;2\n") << QStringList() << "C.UTF-8" << 2 << QString()
        << "messwerte: „%1“ hat 2 Spalten: 1 „Zeit“, 2 „Wert“. Bitte eine mit --spalte N "
           "wählen.\n";
    QTest::newRow("column beyond the table")
        << QByteArray("1;2\n") << QStringList{"--spalte", "3"} << "C.UTF-8" << 2 << QString()
        << "messwerte: „%1“ hat nur 2 Spalten.\n";
    QTest::newRow("not a text file")
        << QByteArray("1\n\0\n", 4) << QStringList() << "C.UTF-8" << 2 << QString()
        << "messwerte: „%1“ ist keine Textdatei: sie enthält Null-Bytes.\n";
    QTest::newRow("NUL byte far into the file")
        << QByteArray("1\n").repeated(200'000).append('\0') << QStringList() << "C.UTF-8" << 2
        << QString() << "messwerte: „%1“ ist keine Textdatei: sie enthält Null-Bytes.\n";
    QTest::newRow("UTF-8 text after the end split across blocks")
        << QByteArray("1\n2\xC2\xB0\n\n").append(QByteArray("\xC3\xA4").repeated(600'000))
        << QStringList() << "C.UTF-8" << 1 << Lines({"2", dash, dash, dash, dash, dash})
        << "messwerte: Hinweis: Die Leerzeile in Zeile 3 beendet die Messreihe; Zeile 4 danach "
           "wird nicht ausgewertet.\n"
           "messwerte: '2°' ist kein gültiger Gleitkommawert (Zeile 2).\n";
    QTest::newRow("UTF-16 with BOM")
        << QByteArray(
               "\xFF\xFE"
               "2\0\n\0"
               "4\0\n\0",
               10)
        << QStringList() << "C.UTF-8" << 0
        << Lines({"2", "3", "3.16227769851685", "4", "2", "33.3333320617676"}) << QString();
    QTest::newRow("Windows-1252 line quoted in UTF-8")
        << QByteArray("1\n2\xB0\n") << QStringList() << "C.UTF-8" << 1
        << Lines({"2", dash, dash, dash, dash, dash})
        << "messwerte: '2°' ist kein gültiger Gleitkommawert (Zeile 2).\n";

    // Messages named the list's line: with a header, "Zeile 1" was line 2 of the file.
    QTest::newRow("file line in a message")
        << QByteArray("# Messung 3\nWert\n1\nzwei\n") << QStringList() << "C.UTF-8" << 1
        << Lines({"2", dash, dash, dash, dash, dash})
        << "messwerte: Hinweis: Eine Kommentarzeile (#) in Zeile 1 übersprungen.\n"
           "messwerte: 'zwei' ist kein gültiger Gleitkommawert (Zeile 4).\n";
    // Points were refused under a German locale without a hint.
    QTest::newRow("points under de_DE, with a notice")
        << QByteArray("1.5\n2.5\n") << QStringList() << "de_DE.UTF-8" << 0
        << Lines({"2", "2", "2,06155276298523", "2,5", "1,5", "25"})
        << "messwerte: Hinweis: Die Datei schreibt Zahlen mit Punkt als Dezimalzeichen, nicht mit "
           "Komma; sie sind so gelesen.\n";
    QTest::newRow("--dezimalzeichen punkt says nothing")
        << QByteArray("1.5\n2.5\n") << QStringList{"--dezimalzeichen", "punkt"} << "de_DE.UTF-8"
        << 0 << Lines({"2", "2", "2,06155276298523", "2,5", "1,5", "25"}) << QString();
    QTest::newRow("--dezimalzeichen komma reads points as no numbers")
        << QByteArray("1.5\n2.5\n") << QStringList{"--dezimalzeichen", "komma"} << "C.UTF-8"
        << 1 << Lines({"2", dash, dash, dash, dash, dash})
        << "messwerte: '1.5' ist kein gültiger Gleitkommawert (Zeile 1).\n";
    QTest::newRow("--dezimalzeichen with another word")
        << QByteArray("1\n") << QStringList{"--dezimalzeichen", "strich"} << "C.UTF-8" << 2
        << QString()
        << "messwerte: --dezimalzeichen ist punkt oder komma.\nAufruf: messwerte --help\n";
    // A blank cell ended the column: six of 2,225 values, exit 0, nothing said.
    QTest::newRow("blank cell is skipped and told")
        << QByteArray("t,co2\n1,400.5\n2,\n3,410.5\n") << QStringList{"--spalte", "2"}
        << "C.UTF-8" << 0 << Lines({"2", "405.5", "405.530822753906", "410.5", "400.5", "1.23304557800293"})
        << "messwerte: Hinweis: Eine leere Zelle in Zeile 3 übersprungen.\n";
    // A decimal comma parted a one-column file into two columns at a line with a unit.
    QTest::newRow("unit in one line")
        << QByteArray("13,5\n12,5 °C\n14,5\n") << QStringList() << "de_DE.UTF-8" << 1
        << Lines({"3", dash, dash, dash, dash, dash})
        << "messwerte: '12,5 °C' ist kein gültiger Gleitkommawert (Zeile 2).\n";
  }
  void evaluatesAFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, options);
    QFETCH(QString, lang);
    QFETCH(int, exit_code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const QString path = Write(QStringLiteral("werte.txt"), bytes);
    const Run run = Start(QStringList{QStringLiteral("--auswerten"), path} + options, lang);
    QCOMPARE(run.err, err.contains(u"%1") ? err.arg(path) : err);
    QCOMPARE(run.out, out);
    QCOMPARE(run.exit_code, exit_code);
  }

  // For any file the window's loader reads, the command line evaluates the same lines: both
  // decide encoding, separator, header and quotes alike, though one reads the whole file and
  // the other a block at a time.
  void evaluatesWhatTheLoaderReads_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("lang");

    QByteArray big = "Zeit;\"Wert A\";Wert B\r\n";
    for (int i = 0; i < 150'000; ++i)
      big += QByteArray::number(i) + ";\"" + QByteArray::number(i % 977) + "," +
             QByteArray::number(i % 7) + "\";" + QByteArray::number(-i) + "\r\n";
    QTest::newRow("large table, quoted decimal commas, CR LF") << big << 1 << "de_DE.UTF-8";
    QTest::newRow("large table, last column") << big << 2 << "de_DE.UTF-8";
    QTest::newRow("tab separated") << QByteArray("a\tb\n1.5\t2\n3.25\t-4\n") << 0 << "C.UTF-8";
    QTest::newRow("comma separated with header")
        << QByteArray("t,v\n0,1.5\n1,2.5\n2,x\n") << 1 << "C.UTF-8";
    QTest::newRow("ragged row is a gap") << QByteArray("1;2\n3\n5;6\n") << 1 << "C.UTF-8";
    QTest::newRow("CR breaks") << QByteArray("Wert\r1,5\r2,5\r") << 0 << "de_DE.UTF-8";
    QTest::newRow("UTF-8 mark and header")
        << QByteArray("\xEF\xBB\xBFL\xC3\xA4nge\n4\n8\n") << 0 << "C.UTF-8";
    QTest::newRow("UTF-16 BE table")
        << QByteArray("\xFE\xFF\0a\0;\0b\0\n\0001\0;\0002\0\n", 18) << 1 << "C.UTF-8";
    QTest::newRow("Windows-1252 value") << QByteArray("1\n5\xB5m\n") << 0 << "C.UTF-8";
    QTest::newRow("header only") << QByteArray("Wert\n") << 0 << "C.UTF-8";
  }
  void evaluatesWhatTheLoaderReads() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, column);
    QFETCH(QString, lang);
    const char separator = lang.startsWith(u"de") ? ',' : '.';
    const std::optional<SeriesFile> file =
        SeriesFile::FromBytes(bytes, QStringLiteral("x"), nullptr);
    QVERIFY(file);
    const QByteArray lines = file->Lines(column);
    messwerte::SeriesSummary summary(file->Decide().decimal ? file->Decide().decimal : separator,
                                     separator);
    summary.AddLines(std::string_view(lines.constData(), static_cast<std::size_t>(lines.size())),
                     true);
    const messwerte::SeriesSummary::Fields fields = summary.Finish();
    QStringList six;
    for (const std::string& text : fields.texts)
      six.append(text.empty() ? QStringLiteral("–") : QString::fromStdString(text));
    QString messages;
    for (const std::string& error : fields.errors)
      messages += QStringLiteral("messwerte: %1\n").arg(QString::fromStdString(error));

    const QString path = Write(QStringLiteral("tabelle.csv"), bytes);
    QStringList arguments{QStringLiteral("--auswerten"), path};
    if (file->ColumnCount() > 1)
      arguments << QStringLiteral("--spalte") << QString::number(column + 1);
    const Run run = Start(arguments, lang);
    QCOMPARE(run.out, Lines(six));
    // The list's lines leave out header and gaps; the command line names the file's lines.
    static const QRegularExpression line(QStringLiteral(" \\(Zeile \\d+\\)"));
    QString err = run.err;
    err.remove(QRegularExpression(QStringLiteral("messwerte: Hinweis: [^\n]*\n")));
    QCOMPARE(err.remove(line), messages.remove(line));
    QCOMPARE(run.exit_code, fields.errors.empty() ? 0 : 1);
  }

  void evaluatesStandardInput() {
    const Run run = Start({QStringLiteral("--auswerten"), QStringLiteral("-")},
                          QStringLiteral("de_DE.UTF-8"), QByteArray("Zeit,Wert\n0,2.5\n1,3.5\n"));
    QCOMPARE(run.exit_code, 2);
    QVERIFY(run.err.contains(u"„Standardeingabe“ hat 2 Spalten"));
    const Run chosen = Start({QStringLiteral("--auswerten"), QStringLiteral("-"),
                              QStringLiteral("--spalte"), QStringLiteral("2")},
                             QStringLiteral("C.UTF-8"), QByteArray("Zeit,Wert\n0,2.5\n1,3.5\n"));
    QCOMPARE(chosen.err, QString());
    QCOMPARE(chosen.out, Lines({"2", "3", "3.04138135910034", "3.5", "2.5", "16.6666660308838"}));
    QCOMPARE(chosen.exit_code, 0);
  }

  void refusesWithExitStatusTwo_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("err");
    QTest::newRow("missing file") << QStringList{"--auswerten", "/nicht/da.txt"}
                                  << "messwerte: Die Datei „/nicht/da.txt“ gibt es nicht.\n";
    QTest::newRow("folder") << QStringList{"--auswerten", "/"}
                            << "messwerte: „/“ ist ein Ordner, keine Datei.\n";
    QTest::newRow("unknown option")
        << QStringList{"--gibtsnicht"}
        << "messwerte: Unbekannte Option „gibtsnicht“.\nAufruf: messwerte --help\n";
    QTest::newRow("file missing after --auswerten")
        << QStringList{"--auswerten"}
        << "messwerte: Zu --auswerten fehlt DATEI.\nAufruf: messwerte --help\n";
    QTest::newRow("number missing after --spalte")
        << QStringList{"--auswerten", "-", "--spalte"}
        << "messwerte: Zu --spalte fehlt N.\nAufruf: messwerte --help\n";
    QTest::newRow("device missing after --aufnehmen")
        << QStringList{"--aufnehmen"}
        << "messwerte: Zu --aufnehmen fehlt GERÄT.\nAufruf: messwerte --help\n";
    QTest::newRow("number missing after -anzahl")
        << QStringList{"--aufnehmen", "/dev/ttyUSB0", "-anzahl"}
        << "messwerte: Zu --anzahl fehlt N.\nAufruf: messwerte --help\n";
    QTest::newRow("value to a switch")
        << QStringList{"--auswerten", "-", "-h=ja"}
        << "messwerte: Zu --help gehört kein Wert.\nAufruf: messwerte --help\n";
    QTest::newRow("two unknown options")
        << QStringList{"--gibtsnicht", "-x", "werte.txt"}
        << "messwerte: Unbekannte Optionen „gibtsnicht“, „x“.\nAufruf: messwerte --help\n";
    QTest::newRow("column without evaluation")
        << QStringList{"--spalte", "2", "werte.txt"}
        << "messwerte: --spalte gilt nur mit --auswerten.\nAufruf: messwerte --help\n";
    QTest::newRow("column not a number")
        << QStringList{"--auswerten", "-", "--spalte", "null"}
        << "messwerte: --spalte braucht eine Zahl ab 1.\nAufruf: messwerte --help\n";
    QTest::newRow("file and evaluation")
        << QStringList{"--auswerten", "-", "werte.txt"}
        << "messwerte: Zu --auswerten gehört nur eine Datei.\nAufruf: messwerte --help\n";
  }
  void refusesWithExitStatusTwo() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, err);
    const Run run = Start(arguments, QStringLiteral("C.UTF-8"));
    QCOMPARE(run.err, err);
    QCOMPARE(run.out, QString());
    QCOMPARE(run.exit_code, 2);
  }

  // A failed write to standard output was reported as success.
  void failedOutputIsExitStatusTwo_data() {
    QTest::addColumn<QStringList>("arguments");
    const QString path = Write(QStringLiteral("voll.txt"), QByteArray("1\n2\n"));
    QTest::newRow("--auswerten") << QStringList{QStringLiteral("--auswerten"), path};
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")};
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")};
  }
  void failedOutputIsExitStatusTwo() {
    QFETCH(QStringList, arguments);
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(MESSWERTE_PROGRAM), arguments);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             QStringLiteral("messwerte: Die Ausgabe lässt sich nicht schreiben: der Datenträger ist "
                            "voll.\n"));
  }

  // Chained arg() calls put the column count into a "%2" of the file's name.
  void percentInAFileName() {
    const QString path = Write(QStringLiteral("a%2b%1.csv"), QByteArray("x;y\n1;2\n"));
    const Run run = Start({QStringLiteral("--auswerten"), path}, QStringLiteral("C.UTF-8"));
    QCOMPARE(run.err, QStringLiteral("messwerte: „%1“ hat 2 Spalten: 1 „x“, 2 „y“. Bitte eine mit "
                                     "--spalte N wählen.\n")
                          .arg(path));
    QCOMPARE(run.exit_code, 2);
  }

  // Qt's own options were refused as unknown instead of reaching the window.
  void qtOptionsReachTheWindow() {
    const QString path = Write(QStringLiteral("qt.txt"), QByteArray("2\n"));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MESSWERTE_PROGRAM),
                  {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                   QStringLiteral("-style=fusion"), path});
    QVERIFY(process.waitForStarted());
    QVERIFY2(!process.waitForFinished(2000), process.readAllStandardError().constData());
    process.kill();
    process.waitForFinished();
  }

  // The window is a module the program loads: with a file named, the window comes up and
  // stays until it is closed.
  void startsTheWindowWithAFile() {
    const QString path = Write(QStringLiteral("fenster.txt"), QByteArray("2\n4\n"));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MESSWERTE_PROGRAM), {path});
    QVERIFY(process.waitForStarted());
    QVERIFY2(!process.waitForFinished(2000), process.readAllStandardError().constData());
    process.kill();
    process.waitForFinished();
  }

  void helpAndVersionNeedNoDisplay_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("starts");
    QTest::newRow("help") << "--help"
                          << "Aufruf: messwerte [DATEI]\n";
    QTest::newRow("short help") << "-h"
                                << "Aufruf: messwerte [DATEI]\n";
    QTest::newRow("version") << "--version"
                             << "messwerte 1.0\n";
  }
  void helpAndVersionNeedNoDisplay() {
    QFETCH(QString, option);
    QFETCH(QString, starts);
    const Run run = Start({option}, QStringLiteral("C.UTF-8"));
    QVERIFY2(run.out.startsWith(starts), qPrintable(run.out));
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exit_code, 0);
  }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
