#include <qcustomplot.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QStandardPaths>
#include <QtTest>
#include <memory>
#include <vector>

#include "form1.h"
#include "measurement_edit.h"
#include "overview_panel.h"
#include "series_plot.h"
#include "window_harness.h"

class WindowOverviewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
  void init() {
    // The window reads numbers under the locale it starts in.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    window_ = OpenWindow(errors_);
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QApplication::setActiveWindow(window_.get());
  }
  void cleanup() { CloseWindow(window_); }

  void statisticsInTheLocale_data();
  void statisticsInTheLocale();
  void panelWidensTheWindow();
  void plotSummaryAndMarkerKeys();
  void plotFollowsTheList();
  void clickSelectsTheLine();

 private:
  MeasurementEdit* memo() { return FindControl<MeasurementEdit>(*window_, "Memo1"); }
  QString statistic(int row) {
    return FindControl<QLabel>(*window_, QStringLiteral("statistic%1").arg(row))->text();
  }
  SeriesPlot& plot() { return window_->overview().plot(); }

  std::unique_ptr<TForm1> window_;
  QStringList errors_;
};

void WindowOverviewTest::statisticsInTheLocale_data() {
  QTest::addColumn<QString>("list");
  QTest::addColumn<QStringList>("shown");  // Anzahl … Größter Messwert
  QTest::newRow("three") << "9,5\n10,5\n10"
                         << QStringList{"3",
                                        "10",
                                        "0,5",
                                        "0,2886751346",
                                        "8,757931144 … 11,24206886 (± 1,242068856)",
                                        "10",
                                        "1",
                                        "9,5 in Zeile 1",
                                        "10,5 in Zeile 2"};
  // The digits as written, not the single precision of the six fields (11,6750001907349).
  QTest::newRow("one value")
      << "11,675"
      << QStringList{"1",      "11,675", "– (ein Wert)",      "– (ein Wert)",     "– (ein Wert)",
                     "11,675", "0",      "11,675 in Zeile 1", "11,675 in Zeile 1"};
  QTest::newRow("a thousand") << QString("1000\n").repeated(999) + "1001"
                              << QStringList{"1.000",
                                             "1000,001",
                                             "0,0316227766",
                                             "0,001",
                                             "999,9990377 … 1000,002962 (± 0,001962341461)",
                                             "1000",
                                             "1",
                                             "1000 in Zeile 1",
                                             "1001 in Zeile 1.000"};
}

void WindowOverviewTest::statisticsInTheLocale() {
  QFETCH(QString, list);
  QFETCH(QStringList, shown);
  memo()->setPlainText(list);
  QTest::keyClick(window_.get(), Qt::Key_F8);
  QStringList texts;
  for (int row = 0; row < shown.size(); ++row) texts << statistic(row);
  QCOMPARE(texts, shown);
  // A change shows once typing pauses.
  memo()->setPlainText("1\n3");
  QTRY_COMPARE(statistic(1), QStringLiteral("2"));
}

void WindowOverviewTest::panelWidensTheWindow() {
  const QRect designed = window_->designedArea().geometry();
  const int width = window_->width();
  QTest::keyClick(window_.get(), Qt::Key_F9);
  QVERIFY(plot().isVisible());
  QVERIFY(window_->width() > width);
  QCOMPARE(window_->designedArea().geometry(), designed);
  QCOMPARE(window_->overview().geometry().left(), designed.right() + 1);
  QTest::keyClick(window_.get(), Qt::Key_F9);
  QVERIFY(!window_->overview().isVisible());
  QCOMPARE(window_->width(), width);
}

void WindowOverviewTest::plotSummaryAndMarkerKeys() {
  std::vector<std::pair<QAccessible::Event, QString>> heard;
  plot().Announce = [&heard](QAccessibleEvent& event) {
    heard.emplace_back(event.type(), event.accessibleInterface()->text(QAccessible::Name));
  };
  memo()->setPlainText("10\n9,5\nx\n10,5\n\n99");
  QTest::keyClick(window_.get(), Qt::Key_F9);
  QCOMPARE(plot().SummaryText(),
           QStringLiteral("3 Messwerte; kleinster 9,5 in Zeile 2; größter 10,5 in Zeile 4; "
                          "Mittelwert 10; Standardabweichung 0,5"));
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&plot());
  QCOMPARE(accessible->role(), QAccessible::Chart);
  QCOMPARE(accessible->text(QAccessible::Description), plot().SummaryText());
  plot().setFocus();
  // Keys and where the marker stands after each: the line that is no number is stepped over.
  const std::pair<Qt::Key, QString> steps[] = {
      {Qt::Key_Right, "Zeile 1: 10"},   {Qt::Key_Right, "Zeile 2: 9,5"},
      {Qt::Key_Right, "Zeile 4: 10,5"}, {Qt::Key_Right, "Zeile 4: 10,5"},
      {Qt::Key_Home, "Zeile 1: 10"},    {Qt::Key_End, "Zeile 4: 10,5"},
      {Qt::Key_Left, "Zeile 2: 9,5"},
  };
  for (const auto& [key, marker] : steps) {
    heard.clear();
    QTest::keyClick(&plot(), key);
    QCOMPARE(plot().MarkerText(), marker);
    QCOMPARE(accessible->text(QAccessible::Name), marker);
    QVERIFY(!heard.empty());
    QCOMPARE(heard.back(), std::make_pair(QAccessible::NameChanged, marker));
  }
  // Return selects the marker's line in the list.
  QTest::keyClick(&plot(), Qt::Key_Return);
  QCOMPARE(memo()->SelectedText(), QStringLiteral("9,5"));
}

void WindowOverviewTest::plotFollowsTheList() {
  memo()->setPlainText("1\n2\n3");
  QTest::keyClick(window_.get(), Qt::Key_F9);
  QVERIFY(plot().SummaryText().startsWith(QStringLiteral("3 Messwerte")));
  memo()->setFocus();
  memo()->SetSelection({2, 1}, {2, 1});
  for (const char* typed : {"\n", "4", "\n", "5"}) {
    if (*typed == '\n') {
      QTest::keyClick(memo(), Qt::Key_Return);
    } else {
      QTest::keyClicks(memo(), typed);
    }
  }
  QTRY_VERIFY2(plot().SummaryText().startsWith(QStringLiteral("5 Messwerte; kleinster 1 in "
                                                              "Zeile 1; größter 5 in Zeile 5")),
               qPrintable(plot().SummaryText()));
  memo()->SetSelection({0, 0}, {0, 1});
  QTest::keyClicks(memo(), "9");
  QTRY_VERIFY2(plot().SummaryText().contains(QStringLiteral("größter 9 in Zeile 1")),
               qPrintable(plot().SummaryText()));
}

void WindowOverviewTest::clickSelectsTheLine() {
  memo()->setPlainText("1\n5\n2\n4");
  QTest::keyClick(window_.get(), Qt::Key_F9);
  QCustomPlot& trace = plot().TracePlot();
  trace.replot();
  const QPoint point(static_cast<int>(trace.xAxis->coordToPixel(3)),
                     static_cast<int>(trace.yAxis->coordToPixel(2)));
  QTest::mouseClick(&trace, Qt::LeftButton, {}, point);
  QCOMPARE(memo()->SelectedText(), QStringLiteral("2"));
  QCOMPARE(plot().MarkerText(), QStringLiteral("Zeile 3: 2"));
}

QTEST_MAIN(WindowOverviewTest)
#include "window_overview_test.moc"
