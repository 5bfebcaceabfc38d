// The loader's reading of files: encodings, line breaks, separators, quotes, headers, columns,
// and the files it refuses.

#include "series_file.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray Utf16(const QString& text, bool big_endian) {
  QByteArray bytes(big_endian ? "\xFE\xFF" : "\xFF\xFE", 2);
  for (const QChar c : text) {
    const char high = static_cast<char>(c.unicode() >> 8), low = static_cast<char>(c.unicode());
    bytes.append(big_endian ? high : low).append(big_endian ? low : high);
  }
  return bytes;
}

}  // namespace

class SeriesFileTest : public QObject {
  Q_OBJECT

 private slots:
  void readsLinesOfAColumn_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("column");
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("names");

    const QStringList one{QStringLiteral("Spalte 1")};
    const QStringList two{QStringLiteral("Spalte 1"), QStringLiteral("Spalte 2")};
    const QStringList zeit_wert{QStringLiteral("Zeit"), QStringLiteral("Wert")};

    // Encodings.
    QTest::newRow("UTF-8 without BOM")
        << QByteArray("1.5\n2\n") << 0 << QByteArray("1.5\n2") << 1 << one;
    QTest::newRow("UTF-8 with BOM") << QByteArray(
                                           "\xEF\xBB\xBF"
                                           "1.5\n2")
                                    << 0 << QByteArray("1.5\n2") << 1 << one;
    QTest::newRow("UTF-8 header with BOM")
        << QByteArray("\xEF\xBB\xBFTemperatur °C\n1\n") << 0 << QByteArray("1") << 1
        << QStringList{QStringLiteral("Temperatur °C")};
    QTest::newRow("UTF-16 LE with BOM")
        << Utf16(QStringLiteral("Wert µm\r\n1,5\r\n2,5\r\n"), false) << 0 << QByteArray("1,5\n2,5")
        << 1 << QStringList{QStringLiteral("Wert µm")};
    QTest::newRow("UTF-16 BE with BOM")
        << Utf16(QStringLiteral("1;2\n3;4"), true) << 1 << QByteArray("2\n4") << 2 << two;
    QTest::newRow("Windows-1252") << QByteArray("L\xE4nge \x80\n1,5\n") << 0 << QByteArray("1,5")
                                  << 1 << QStringList{QStringLiteral("Länge €")};
    QTest::newRow("stray byte after a UTF-8 mark")
        << QByteArray(
               "\xEF\xBB\xBF"
               "1\n2\xBB\n")
        << 0 << QByteArray("1\n2\xEF\xBF\xBD") << 1 << one;
    QTest::newRow("Windows-1252 in a value keeps its text")
        << QByteArray("1\n2\xB0\n") << 0 << QByteArray("1\n2\xC2\xB0") << 1 << one;

    // Line breaks.
    QTest::newRow("LF") << QByteArray("1\n2\n3") << 0 << QByteArray("1\n2\n3") << 1 << one;
    QTest::newRow("CR LF") << QByteArray("1\r\n2\r\n3\r\n") << 0 << QByteArray("1\n2\n3") << 1
                           << one;
    QTest::newRow("CR") << QByteArray("1\r2\r3\r") << 0 << QByteArray("1\n2\n3") << 1 << one;
    QTest::newRow("mixed breaks") << QByteArray("1\r\n2\r3\n4") << 0 << QByteArray("1\n2\n3\n4")
                                  << 1 << one;
    QTest::newRow("empty lines stay")
        << QByteArray("1\n\n3\n") << 0 << QByteArray("1\n\n3") << 1 << one;
    QTest::newRow("empty last line of a table is no cell")
        << QByteArray("1;2\n3;4\n\n") << 0 << QByteArray("1\n3") << 2 << two;
    QTest::newRow("empty last line with CR")
        << QByteArray("1\r\r") << 0 << QByteArray("1\n") << 1 << one;
    QTest::newRow("empty file") << QByteArray() << 0 << QByteArray() << 1 << one;

    // Separators.
    QTest::newRow("semicolon") << QByteArray("1,5;2,5\n3,5;4,5\n") << 1 << QByteArray("2,5\n4,5")
                               << 2 << two;
    QTest::newRow("tab") << QByteArray("1.5\t2.5\n3.5\t4.5\n") << 0 << QByteArray("1.5\n3.5") << 2
                         << two;
    QTest::newRow("comma beside decimal point")
        << QByteArray("1.5,2.5\n3.5,4.5\n") << 1 << QByteArray("2.5\n4.5") << 2 << two;
    QTest::newRow("decimal comma is one column")
        << QByteArray("1,5\n2,25\n") << 0 << QByteArray("1,5\n2,25") << 1 << one;
    QTest::newRow("three fields by comma")
        << QByteArray("1,2,3\n4,5,6\n") << 2 << QByteArray("3\n6") << 3
        << QStringList{QStringLiteral("Spalte 1"), QStringLiteral("Spalte 2"),
                       QStringLiteral("Spalte 3")};
    QTest::newRow("comma in a header parts no decimal commas")
        << QByteArray("Zeit,Wert\n1,5\n2,6\n") << 0 << QByteArray("1,5\n2,6") << 1
        << QStringList{QStringLiteral("Zeit,Wert")};
    QTest::newRow("comma header names columns of decimal points")
        << QByteArray("Zeit,Wert\n1,5.5\n2,6.5\n") << 1 << QByteArray("5.5\n6.5") << 2
        << zeit_wert;
    QTest::newRow("trailing blanks make no column")
        << QByteArray("1.5\t\n2.5 \n") << 0 << QByteArray("1.5\t\n2.5 ") << 1 << one;

    // Quotes.
    QTest::newRow("quoted decimal comma") << QByteArray("\"1,5\",\"2.0\"\n\"3,5\",\"4.0\"\n") << 0
                                          << QByteArray("1,5\n3,5") << 2 << two;
    QTest::newRow("quoted header and doubled quote")
        << QByteArray("\"Zeit\";\"Wert \"\"A\"\"\"\n1;2\n") << 1 << QByteArray("2") << 2
        << QStringList{QStringLiteral("Zeit"), QStringLiteral("Wert \"A\"")};
    QTest::newRow("quoted single column")
        << QByteArray("\"1,5\"\n\"2\"\n") << 0 << QByteArray("1,5\n2") << 1 << one;
    QTest::newRow("separator inside quotes")
        << QByteArray("\"a;b\";Wert\n1;2\n") << 0 << QByteArray("1") << 2
        << QStringList{QStringLiteral("a;b"), QStringLiteral("Wert")};

    // Headers.
    QTest::newRow("logger export") << QByteArray("Zeit;Wert\r\n12:00:00;1,5\r\n12:00:01;2,5\r\n")
                                   << 1 << QByteArray("1,5\n2,5") << 2 << zeit_wert;
    QTest::newRow("time column of a logger export")
        << QByteArray("Zeit;Wert\n12:00:00;1,5\n") << 0 << QByteArray("12:00:00") << 2 << zeit_wert;
    QTest::newRow("no header") << QByteArray("1;2\n3;4\n") << 0 << QByteArray("1\n3") << 2 << two;
    QTest::newRow("header only") << QByteArray("Wert\n") << 0 << QByteArray() << 1
                                 << QStringList{QStringLiteral("Wert")};
    QTest::newRow("empty first line is no header")
        << QByteArray("\n1\n") << 0 << QByteArray("\n1") << 1 << one;
    QTest::newRow("number in exponent form is no header")
        << QByteArray("1E3\n2\n") << 0 << QByteArray("1E3\n2") << 1 << one;
    QTest::newRow("header with fewer names")
        << QByteArray("Wert;\n1;2;3\n") << 2 << QByteArray("3") << 3
        << QStringList{QStringLiteral("Wert"), QStringLiteral("Spalte 2"),
                       QStringLiteral("Spalte 3")};

    // Ragged rows.
    QTest::newRow("row with too few fields is a gap")
        << QByteArray("1;2\n3\n5;6\n") << 1 << QByteArray("2\n6") << 2 << two;
    QTest::newRow("empty row in a table is a gap")
        << QByteArray("1;2\n\n5;6") << 0 << QByteArray("1\n5") << 2 << two;
  }
  void readsLinesOfAColumn() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, column);
    QFETCH(QByteArray, lines);
    QFETCH(int, columns);
    QFETCH(QStringList, names);
    QString error;
    const std::optional<SeriesFile> file =
        SeriesFile::FromBytes(bytes, QStringLiteral("x"), &error);
    QVERIFY2(file, qPrintable(error));
    QCOMPARE(file->Lines(column), lines);
    QCOMPARE(file->ColumnCount(), columns);
    QCOMPARE(file->ColumnNames(), names);
  }

  void headerKeyAndPreview() {
    const std::optional<SeriesFile> file = SeriesFile::FromBytes(
        QByteArray("Zeit;Wert\n1;2\n3;\"4;5\"\n6\n7;8\n"), QStringLiteral("x"), nullptr);
    QVERIFY(file);
    QCOMPARE(file->HeaderKey(), QStringLiteral("Zeit;Wert"));
    const QList<QStringList> preview = file->Preview(3);
    QCOMPARE(preview.size(), 3);
    QCOMPARE(preview[0], (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    QCOMPARE(preview[1], (QStringList{QStringLiteral("3"), QStringLiteral("4;5")}));
    QCOMPARE(preview[2], QStringList{QStringLiteral("6")});

    const std::optional<SeriesFile> plain =
        SeriesFile::FromBytes(QByteArray("1\n2\n"), QStringLiteral("x"), nullptr);
    QVERIFY(plain);
    QVERIFY(plain->HeaderKey().isEmpty());
    QCOMPARE(plain->Preview().size(), 2);
  }

  void columnOutOfRangeGivesNothing() {
    const std::optional<SeriesFile> file =
        SeriesFile::FromBytes(QByteArray("1;2\n"), QStringLiteral("x"), nullptr);
    QVERIFY(file);
    QVERIFY(file->Lines(2).isEmpty());
    QVERIFY(file->Lines(-1).isEmpty());
  }

  void refusesWithAMessageNamingTheFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing"
                             << "Die Datei „%1“ gibt es nicht.";
    QTest::newRow("folder") << "folder"
                            << "„%1“ ist ein Ordner, keine Datei.";
    QTest::newRow("NUL bytes") << "nul"
                               << "„%1“ ist keine Textdatei: sie enthält Null-Bytes.";
    QTest::newRow("UTF-16 without BOM") << "utf16"
                                        << "„%1“ ist keine Textdatei: sie enthält Null-Bytes.";
    QTest::newRow("NUL in UTF-16") << "utf16nul"
                                   << "„%1“ ist keine Textdatei: sie enthält Null-Bytes.";
    QTest::newRow("unreadable") << "unreadable"
                                << "Die Datei „%1“ darf nicht gelesen werden.";
    QTest::newRow("larger than 1 GiB")
        << "large"
        << "Die Datei „%1“ ist größer als 1 GiB und wird nicht gelesen.";
  }
  void refusesWithAMessageNamingTheFile() {
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("werte.txt"));
    QFile file(path);
    if (kind == u"folder") {
      QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("werte.txt")));
    } else if (kind != u"missing") {
      QVERIFY(file.open(QIODevice::WriteOnly));
      if (kind == u"nul") file.write(QByteArray("1\n\0\n2\n", 6));
      if (kind == u"utf16") file.write(QByteArray("1\0\n\0", 4));
      if (kind == u"utf16nul")
        file.write(
            QByteArray("\xFF\xFE"
                       "1\0\0\0",
                       6));
      if (kind == u"unreadable") file.write("1\n");
      if (kind == u"large") QVERIFY(file.resize((qint64{1} << 30) + 1));  // sparse
      file.close();
      if (kind == u"unreadable") {
        QVERIFY(file.setPermissions(QFileDevice::WriteOwner));
        if (QFile(path).open(QIODevice::ReadOnly)) QSKIP("running as root: every file is readable");
      }
    }
    QString error;
    QVERIFY(!SeriesFile::Open(path, &error));
    QCOMPARE(error, message.arg(path));
  }

  void fromBytesNamesWhatItWasGiven() {
    QString error;
    QVERIFY(
        !SeriesFile::FromBytes(QByteArray("1\0", 2), QStringLiteral("Standardeingabe"), &error));
    QCOMPARE(error,
             QStringLiteral("„Standardeingabe“ ist keine Textdatei: sie enthält Null-Bytes."));
  }

  void opensAFileAsItsBytes() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("werte.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Zeit;Wert\r\n0;1,5\r\n1;2,5\r\n");
    file.close();
    QString error;
    const std::optional<SeriesFile> series = SeriesFile::Open(path, &error);
    QVERIFY2(series, qPrintable(error));
    QCOMPARE(series->Lines(1), QByteArray("1,5\n2,5"));
  }

  // The window opens files with it: a million values must come quickly.
  void millionLinesLoadQuickly() {
    QByteArray bytes;
    bytes.reserve(9'000'000);
    for (int i = 0; i < 1'000'000; ++i)
      bytes.append(QByteArray::number(100 + i % 900)).append(".5678\n");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("million.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QElapsedTimer timer;
    timer.start();
    const std::optional<SeriesFile> series = SeriesFile::Open(path, nullptr);
    QVERIFY(series);
    const QByteArray lines = series->Lines(0);
    const qint64 ms = timer.elapsed();
    QCOMPARE(lines.size(), bytes.size() - 1);
    qInfo("Open + Lines(0) on 1M lines: %lld ms", ms);
    QVERIFY2(ms < 300, qPrintable(QStringLiteral("%1 ms").arg(ms)));
  }
};

QTEST_GUILESS_MAIN(SeriesFileTest)
#include "series_file_test.moc"
