// The built program run as a process: help and version without a display, the six lines of an
// evaluation in the user's locale, and the exit status with the messages on standard error.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "series_file.h"
#include "series_summary.h"

namespace {

struct Run {
  int exit_code;
  QString out;
  QString err;
};

Run Start(const QStringList& arguments, const QString& lang, const QByteArray& input = {}) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("LC_ALL"));
  environment.remove(QStringLiteral("LC_NUMERIC"));
  environment.insert(QStringLiteral("LANG"), lang);
  // No display at all: the command line must not need one.
  environment.remove(QStringLiteral("DISPLAY"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(MESSWERTE_PROGRAM), arguments);
  if (!process.waitForStarted()) return {-1, {}, process.errorString()};
  process.write(input);
  process.closeWriteChannel();
  process.waitForFinished(60000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
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
  QTemporaryDir dir_;

  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
  }

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
        << Lines({"2", "2", "2.2360680103302", "3", "1", "50"}) << QString();
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
        << "messwerte: '2°' ist kein gültiger Gleitkommawert (Zeile 2).\n";
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
    QTest::newRow("ragged row ends the series") << QByteArray("1;2\n3\n5;6\n") << 1 << "C.UTF-8";
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
    messwerte::SeriesSummary summary(separator);
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
    QCOMPARE(run.err, messages);
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
