// --diagramm run as a process without a display: the image in each format, and the exit status
// for a line that is no number, a missing file and a format it cannot write.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class PlotOptionTest : public QObject {
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
  void writesTheImage_data() {
    QTest::addColumn<QByteArray>("series");
    QTest::addColumn<QString>("image");
    QTest::addColumn<int>("exit_code");
    QTest::addColumn<QByteArray>("starts");  // the image file's first bytes; empty: none written
    QTest::addColumn<QString>("err");
    const QByteArray series("9.8\n10.1\n10.0\n9.9\n10.3\n");
    QTest::newRow("png") << series << "plot.png" << 0 << QByteArray("\x89PNG") << QString();
    QTest::newRow("svg") << series << "plot.svg" << 0 << QByteArray("<?xml") << QString();
    QTest::newRow("pdf") << series << "plot.pdf" << 0 << QByteArray("%PDF") << QString();
    QTest::newRow("a line that is no number")
        << QByteArray("9.8\nzehn\n10.0\n") << "bad.png" << 1 << QByteArray("\x89PNG")
        << QStringLiteral("messwerte: Zeile 2 ist keine Zahl; sie ist im Diagramm markiert.\n");
    QTest::newRow("no such format") << series << "plot.gif" << 2 << QByteArray() << QString();
  }

  void writesTheImage() {
    QFETCH(QByteArray, series);
    QFETCH(QString, image);
    QFETCH(int, exit_code);
    QFETCH(QByteArray, starts);
    QFETCH(QString, err);
    const QString image_path = dir_.filePath(image);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // No display at all: the plot is drawn offscreen.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MESSWERTE_PROGRAM),
                  {QStringLiteral("--diagramm"), image_path, Write("series.txt", series)});
    QVERIFY(process.waitForFinished(60000));
    const QString error = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), exit_code);
    if (!err.isEmpty()) QCOMPARE(error, err);
    QFile written(image_path);
    if (starts.isEmpty()) {
      QVERIFY(!written.exists());
      QVERIFY(error.contains(QStringLiteral(".png, .svg oder .pdf")));
    } else {
      QVERIFY2(written.open(QIODevice::ReadOnly), qPrintable(error));
      QVERIFY(written.size() > 1000);
      QCOMPARE(written.read(starts.size()), starts);
    }
  }

  void missingFile() {
    QProcess process;
    process.start(QStringLiteral(MESSWERTE_PROGRAM),
                  {QStringLiteral("--diagramm"), dir_.filePath("x.png"), dir_.filePath("nichts")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 2);
  }
};

QTEST_GUILESS_MAIN(PlotOptionTest)
#include "plot_option_test.moc"
