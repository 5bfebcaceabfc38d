// --diagramm run as a process without a display: the image in each format, and the exit status
// for a line that is no number, a missing file and a format it cannot write.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "program_run.h"

class PlotOptionTest : public QObject {
  Q_OBJECT

 private:
  ScratchFolder dir_;

  QString Write(const QString& name, const QByteArray& bytes) { return dir_.Write(name, bytes); }

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
    const QString image_path = dir_.Path(image);
    // No display at all: the plot is drawn offscreen even where a platform is asked for.
    QProcessEnvironment environment = WithoutDisplay(QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.Path({}));
    const ProgramRun run = RunProgram(
        {QStringLiteral("--diagramm"), image_path, Write("series.txt", series)}, environment);
    const QString& error = run.err;
    QCOMPARE(run.exit_code, exit_code);
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
    const ProgramRun run =
        RunProgram({QStringLiteral("--diagramm"), dir_.Path("x.png"), dir_.Path("nichts")},
                   WithoutDisplay(QStringLiteral("C.UTF-8")));
    QCOMPARE(run.exit_code, 2);
  }
};

QTEST_GUILESS_MAIN(PlotOptionTest)
#include "plot_option_test.moc"
