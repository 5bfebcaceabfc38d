#include <qcustomplot.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QStandardPaths>
#include <QWheelEvent>
#include <QtTest>
#include <cmath>
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
  void pointsFollowEdits_data();
  void pointsFollowEdits();
  void histogramBins_data();
  void histogramBins();
  void clickSelectsTheLine();
  void zoomOutlivesAnEdit();

 private:
  MeasurementEdit* memo() { return FindControl<MeasurementEdit>(*window_, "Memo1"); }
  QString statistic(int row) {
    return FindControl<QLabel>(*window_, QStringLiteral("statistic%1").arg(row))->text();
  }
  SeriesPlot& plot() { return window_->overview().plot(); }
  // The values drawn over their lines, "nan" for a gap; empty when a point is not at its line.
  QStringList drawnValues() {
    QStringList drawn;
    const auto data = plot().TracePlot().graph(0)->data();
    for (auto it = data->constBegin(); it != data->constEnd(); ++it) {
      if (it->key != static_cast<double>(drawn.size() + 1)) return {};
      drawn << (std::isnan(it->value) ? QStringLiteral("nan") : QString::number(it->value));
    }
    return drawn;
  }

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

void WindowOverviewTest::pointsFollowEdits_data() {
  QTest::addColumn<QString>("list");
  QTest::addColumn<int>("line");
  QTest::addColumn<int>("column");
  QTest::addColumn<QString>("keys");  // \n Return, \b Backspace
  QTest::addColumn<QStringList>("drawn");
  QTest::newRow("digit typed") << "1\n2\n3" << 1 << 1 << "5" << QStringList{"1", "25", "3"};
  QTest::newRow("line broken") << "12\n3" << 0 << 1 << "\n" << QStringList{"1", "2", "3"};
  QTest::newRow("lines joined") << "1\n2\n3" << 1 << 0 << "\b" << QStringList{"12", "3"};
  QTest::newRow("empty line filled") << "1\n2\n\n4" << 2 << 0 << "7"
                                     << QStringList{"1", "2", "7", "4"};
  QTest::newRow("line emptied") << "1\n2\n3" << 1 << 1 << "\b" << QStringList{"1"};
  QTest::newRow("no number typed") << "1\n2" << 1 << 1 << "x" << QStringList{"1", "nan"};
  QTest::newRow("typed, broken, typed") << "1\n2\n3" << 0 << 1 << "4\n5\b6"
                                        << QStringList{"14", "6", "2", "3"};
}

// Each key only takes again the points of the lines it changed or moved; what is drawn is the
// list all the same.
void WindowOverviewTest::pointsFollowEdits() {
  QFETCH(QString, list);
  QFETCH(int, line);
  QFETCH(int, column);
  QFETCH(QString, keys);
  QFETCH(QStringList, drawn);
  memo()->setPlainText(list);
  QTest::keyClick(window_.get(), Qt::Key_F9);
  memo()->setFocus();
  memo()->SetSelection({line, column}, {line, column});
  for (const QChar key : keys) {
    if (key == u'\n') {
      QTest::keyClick(memo(), Qt::Key_Return);
    } else if (key == u'\b') {
      QTest::keyClick(memo(), Qt::Key_Backspace);
    } else {
      QTest::keyClicks(memo(), QString(key));
    }
    QApplication::processEvents();
  }
  QTRY_COMPARE(drawnValues(), drawn);
}

void WindowOverviewTest::histogramBins_data() {
  const auto lines = [](int from, int to) {
    QStringList listed;
    for (int k = from; k <= to; ++k) listed << QString::number(k);
    return listed;
  };
  QTest::addColumn<QString>("list");
  QTest::addColumn<int>("bins");
  QTest::addColumn<int>("values");
  // Freedman–Diaconis: width 2 · IQR / ∛n, IQR between the values at 25 % and 75 % of n − 1.
  // 1 … 100: IQR 75 − 25 = 50, width 100 / ∛100 = 21,54; (100 − 1) / 21,54 → 5 bins.
  QTest::newRow("1 to 100") << lines(1, 100).join(u'\n') << 5 << 100;
  // 1 … 1000: IQR 750 − 250 = 500, width 1000 / 10 = 100; 999 / 100 → 10 bins.
  QTest::newRow("1 to 1000") << lines(1, 1000).join(u'\n') << 10 << 1000;
  // A line that is no number is left out: the same as 1 … 100.
  QTest::newRow("a line no number") << (lines(1, 50) + QStringList{"x"} + lines(51, 100)).join(u'\n')
                                    << 5 << 100;
  // Quartiles that coincide: Sturges' ⌈log₂ n⌉ + 1.
  QTest::newRow("999 equal, one apart") << QString("1000\n").repeated(999) + "1001" << 11 << 1000;
  QTest::newRow("all equal") << QString("5\n").repeated(6) + "5" << 4 << 7;
  // An outlier far out: 0 … 99 and 1.000.000 would need 46.571 bins; at most 400 are drawn.
  QTest::newRow("far outlier") << (lines(0, 99) + QStringList{"1000000"}).join(u'\n') << 400
                               << 101;
}

// The histogram's bars: their number follows the rule, and every value stands in one of them.
void WindowOverviewTest::histogramBins() {
  QFETCH(QString, list);
  QFETCH(int, bins);
  QFETCH(int, values);
  memo()->setPlainText(list);
  QTest::keyClick(window_.get(), Qt::Key_F9);
  plot().SetView(1);
  QCPBars* bars = nullptr;
  for (QCustomPlot* each : plot().findChildren<QCustomPlot*>()) {
    if (each != &plot().TracePlot()) bars = qobject_cast<QCPBars*>(each->plottable(0));
  }
  QVERIFY(bars);
  QCOMPARE(bars->data()->size(), bins);
  double counted = 0;
  for (auto it = bars->data()->constBegin(); it != bars->data()->constEnd(); ++it)
    counted += it->value;
  QCOMPARE(counted, static_cast<double>(values));
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

// A stretch zoomed into stays in sight while the list changes; a double click or a new list
// shows everything again.
void WindowOverviewTest::zoomOutlivesAnEdit() {
  QString list;
  for (int k = 1; k <= 100; ++k) list += QString::number(k % 7) + u'\n';
  memo()->setPlainText(list.trimmed());
  QTest::keyClick(window_.get(), Qt::Key_F9);
  QCustomPlot& trace = plot().TracePlot();
  trace.replot();
  const QCPRange all = trace.xAxis->range();
  const QPointF at(trace.xAxis->coordToPixel(50), trace.yAxis->coordToPixel(3));
  QWheelEvent wheel(at, trace.mapToGlobal(at), {}, {0, 5 * 120}, Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&trace, &wheel);
  const QCPRange zoomed = trace.xAxis->range();
  QVERIFY(zoomed.size() < all.size() / 2);
  memo()->setFocus();
  memo()->SetSelection({10, 0}, {10, 1});
  QTest::keyClicks(memo(), "9");
  QTRY_VERIFY(plot().SummaryText().contains(QStringLiteral("größter 9 in Zeile 11")));
  QCOMPARE(trace.xAxis->range(), zoomed);
  QTest::mouseDClick(&trace, Qt::LeftButton, {}, at.toPoint());
  QCOMPARE(trace.xAxis->range(), all);
  QApplication::sendEvent(&trace, &wheel);
  memo()->setPlainText("1\n2\n3");
  QTRY_VERIFY(trace.xAxis->range().upper < 4);
  QVERIFY(trace.xAxis->range().lower < 1);
}

QTEST_MAIN(WindowOverviewTest)
#include "window_overview_test.moc"
