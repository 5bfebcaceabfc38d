// The window on the screen the test runs on (set by CTest: size, QT_SCALE_FACTOR): it stands
// where it was designed to stand if it fits there, else wholly inside the screen's free area,
// never smaller than designed, and maximised the list takes the height.

#include <QApplication>
#include <QLocale>
#include <QScreen>
#include <QtTest>
#include <memory>

#include "form1.h"
#include "measurement_edit.h"
#include "window_harness.h"

class WindowScreenTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
  void init();
  void cleanup() { CloseWindow(window_); }

  void standsInsideTheScreen();
  void maximisedListTakesTheHeight();

 private:
  std::unique_ptr<TForm1> window_;
  QStringList errors_;
};

void WindowScreenTest::init() {
  window_ = OpenWindow(errors_);
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void WindowScreenTest::standsInsideTheScreen() {
  const QRect available = window_->screen()->availableGeometry();
  const QRect frame = window_->frameGeometry();
  qInfo("screen %dx%d at scale %s, frame %d,%d %dx%d", available.width(), available.height(),
        qgetenv("QT_SCALE_FACTOR").constData(), frame.x(), frame.y(), frame.width(),
        frame.height());
  const int menu = MenuHeight(*window_);
  QCOMPARE(window_->size(), QSize(688, 446 + menu));
  QCOMPARE(window_->minimumSize(), QSize(688, 446 + menu));
  QVERIFY(available.contains(frame));

  // A window's position is its frame's.
  const QRect designed(QPoint(179, 125), frame.size());
  const bool fits = available.contains(designed);
  QCOMPARE(!fits, qEnvironmentVariableIntValue("EXPECT_MOVED") == 1);
  if (fits) {
    QCOMPARE(frame.topLeft(), QPoint(179, 125));
  } else {
    // Moved no farther than needed: against the right or the bottom edge.
    QVERIFY(frame.right() == available.right() || frame.bottom() == available.bottom());
    if (designed.right() <= available.right()) QCOMPARE(frame.left(), 179);
    if (designed.bottom() <= available.bottom()) QCOMPARE(frame.top(), 125);
  }
}

void WindowScreenTest::maximisedListTakesTheHeight() {
  auto* memo = FindControl<MeasurementEdit>(*window_, QStringLiteral("Memo1"));
  auto* reset = FindControl<QWidget>(*window_, QStringLiteral("btnMemoReset"));
  const QRect button = reset->geometry();
  window_->showMaximized();
  const int menu = MenuHeight(*window_);
  QTRY_VERIFY(window_->height() > 446 + menu);
  QCOMPARE(memo->geometry(), QRect(24, 8, 201, window_->height() - menu - 446 + 417));
  QCOMPARE(reset->geometry(), button);
  window_->showNormal();
  QTRY_COMPARE(window_->height(), 446 + menu);
  QCOMPARE(memo->geometry(), QRect(24, 8, 201, 417));
}

QTEST_MAIN(WindowScreenTest)
#include "window_screen_test.moc"
