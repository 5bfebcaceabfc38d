// The window as a desktop user meets it: where the values end, results that no longer belong to
// the list, the keys of Windows and Linux habits, Qt's texts in German, a window that grows.

#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTranslator>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "desktop.h"
#include "form1.h"
#include "measurement_edit.h"
#include "output_edit.h"
#include "window_harness.h"

namespace {

QColor Blend(const QColor& over, const QColor& under) {
  const qreal a = over.alphaF();
  return QColor::fromRgbF(over.redF() * a + under.redF() * (1 - a),
                          over.greenF() * a + under.greenF() * (1 - a),
                          over.blueF() * a + under.blueF() * (1 - a));
}

int Distance(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
         std::abs(qBlue(a) - qBlue(b));
}

// The pixel inside `area` that stands farthest from the background: the ink of the text there.
QRgb Ink(const QImage& image, const QRect& area, QRgb background) {
  QRgb ink = background;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (Distance(pixel, background) > Distance(ink, background)) ink = pixel;
    }
  }
  return ink;
}

}  // namespace

class WindowDesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
  void init();
  void cleanup();

  void listDescribesItsValues_data();
  void listDescribesItsValues();
  void linesAfterTheValuesAreDimmed_data();
  void linesAfterTheValuesAreDimmed();
  void ruleMarksTheEndOfTheValues();
  void resetLeavesTheCaretOnTheFirstLine();
  void earlierResultsAreMarkedAndClearedByTheNextPress_data();
  void earlierResultsAreMarkedAndClearedByTheNextPress();
  void returnPressesAFocusedButton_data();
  void returnPressesAFocusedButton();
  void undoKeysWorkFromTheResetButton_data();
  void undoKeysWorkFromTheResetButton();
  void outputFieldKeepsItsOwnUndo();
  void listHasTheFocusAfterAnError();
  void contextMenuNamesTheUndoKeys();
  void outputFieldMenuIsGermanUnderGermanLocale();
  void listGrowsWithTheWindow_data();
  void listGrowsWithTheWindow();
  void captionsFitAWideFont_data();
  void captionsFitAWideFont();

 private:
  MeasurementEdit* memo() { return Find<MeasurementEdit>("Memo1"); }
  OutputEdit* field(const QString& name) { return Find<OutputEdit>(name); }
  QPushButton* button(const QString& name) { return Find<QPushButton>(name); }
  // Presses a button with the keyboard, so that the focus stays on it.
  void Press(const QString& name) {
    button(name)->setFocus();
    QTest::keyClick(button(name), Qt::Key_Space);
  }
  template <class T>
  T* Find(const QString& name) {
    return FindControl<T>(*window_, name);
  }

  std::unique_ptr<TForm1> window_;
  QStringList errors_;
};

void WindowDesktopTest::init() {
  window_ = OpenWindow(errors_);
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));
}

void WindowDesktopTest::cleanup() { CloseWindow(window_); }

void WindowDesktopTest::listDescribesItsValues_data() {
  QTest::addColumn<QString>("list");
  QTest::addColumn<QString>("typed");  // at the end of the list
  QTest::addColumn<QString>("description");
  QTest::newRow("pasted") << "1\n2\n3\n"
                          << ""
                          << "3 Messwerte, Ende in Zeile 4";
  QTest::newRow("typed after the values") << "1\n2"
                                          << "\n"
                                          << "2 Messwerte, Ende in Zeile 3";
  QTest::newRow("typed into the end") << "1\n\n3"
                                      << ""
                                      << "1 Messwert, Ende in Zeile 2";
  QTest::newRow("blank first line") << "\n5\n6"
                                    << ""
                                    << "Keine Messwerte, Ende in Zeile 1";
}

void WindowDesktopTest::listDescribesItsValues() {
  QFETCH(QString, list);
  QFETCH(QString, typed);
  QCOMPARE(memo()->accessibleDescription(), QStringLiteral("Keine Messwerte"));
  memo()->setPlainText(list);
  memo()->setFocus();
  QTest::keyClick(memo(), Qt::Key_End, Qt::ControlModifier);
  if (!typed.isEmpty()) memo()->InsertText(typed);
  QTEST(memo()->accessibleDescription(), "description");
}

void WindowDesktopTest::linesAfterTheValuesAreDimmed_data() {
  QTest::addColumn<QString>("list");
  QTest::addColumn<int>("counted");  // a line that counts
  QTest::addColumn<int>("ignored");  // a line after the end
  QTest::newRow("values after an empty line") << "1\n2\n\n8\n9" << 1 << 3;
  QTest::newRow("values after the reset's emptied lines") << "\n\n\n10\n20" << -1 << 3;
}

void WindowDesktopTest::linesAfterTheValuesAreDimmed() {
  QFETCH(QString, list);
  QFETCH(int, counted);
  QFETCH(int, ignored);
  button("btnAnzahl")->setFocus();  // no caret in the list
  memo()->setPlainText(list);
  const QImage image = memo()->viewport()->grab().toImage();
  const QPalette palette = memo()->palette();
  const QRgb base = palette.color(QPalette::Base).rgb();
  const QRgb text = palette.color(QPalette::Text).rgb();
  const QRgb dimmed =
      Blend(palette.color(QPalette::PlaceholderText), palette.color(QPalette::Base)).rgb();
  QVERIFY(Distance(text, dimmed) > 60);  // the palette tells them apart at all

  // The line's box without its top row, where the rule may stand.
  const auto ink = [&](int k) {
    return Ink(image, memo()->LineRect(k).adjusted(0, 1, 0, 0), base);
  };
  if (counted >= 0) {
    QVERIFY2(Distance(ink(counted), text) < 60,
             qPrintable(QColor(ink(counted)).name() + " for " + QColor(text).name()));
  }
  QVERIFY2(Distance(ink(ignored), dimmed) < 60,
           qPrintable(QColor(ink(ignored)).name() + " for " + QColor(dimmed).name()));
}

void WindowDesktopTest::ruleMarksTheEndOfTheValues() {
  button("btnAnzahl")->setFocus();
  const QPalette palette = memo()->palette();
  const QRgb base = palette.color(QPalette::Base).rgb();
  const QRgb dimmed =
      Blend(palette.color(QPalette::PlaceholderText), palette.color(QPalette::Base)).rgb();
  // Down the right edge, where no text stands: only the rule differs from the background.
  const auto rows_marked = [&] {
    const QImage image = memo()->viewport()->grab().toImage();
    QList<int> rows;
    const int x = image.width() - 3;
    for (int y = 0; y < image.height(); ++y) {
      if (image.pixel(x, y) != base) rows << y;
    }
    return rows;
  };
  memo()->setPlainText("1\n2\n3\n\n5");
  const QList<int> rows = rows_marked();
  QCOMPARE(rows, QList<int>{memo()->LineRect(3).top()});
  const QImage image = memo()->viewport()->grab().toImage();
  QVERIFY(Distance(image.pixel(image.width() - 3, rows[0]), dimmed) < 30);

  memo()->setPlainText("1\n2\n3");  // nothing after the values, nothing to mark
  QCOMPARE(rows_marked(), QList<int>());
  memo()->setPlainText("");
  QCOMPARE(rows_marked(), QList<int>());
}

void WindowDesktopTest::resetLeavesTheCaretOnTheFirstLine() {
  memo()->setPlainText("1\n2\n3\n4\n5");
  memo()->SetSelection({4, 1}, {4, 1});
  Press("btnMemoReset");
  QCOMPARE(memo()->toPlainText(), QStringLiteral("\n\n\n\n"));
  QCOMPARE(memo()->CursorPosition(), (TextPosition{0, 0}));
  QVERIFY(memo()->SelectedText().isEmpty());

  // What the user types now counts.
  memo()->setFocus();
  QTest::keyClicks(memo(), "10");
  QTest::keyClick(memo(), Qt::Key_Return);
  QTest::keyClicks(memo(), "20");
  Press("btnAnzahl");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("2"));
  QCOMPARE(memo()->accessibleDescription(), QStringLiteral("2 Messwerte, Ende in Zeile 3"));
}

void WindowDesktopTest::earlierResultsAreMarkedAndClearedByTheNextPress_data() {
  QTest::addColumn<QString>("change");
  QTest::newRow("typing") << "typing";
  QTest::newRow("reset") << "reset";
  QTest::newRow("undo") << "undo";
}

void WindowDesktopTest::earlierResultsAreMarkedAndClearedByTheNextPress() {
  QFETCH(QString, change);
  const QString note = QStringLiteral("Gehört nicht mehr zur aktuellen Liste");
  memo()->setPlainText("1\n2\n3");
  Press("btnAnzahl");
  Press("btnMittelwert");
  QVERIFY(!field("edtAnzahl")->IsStale());
  QVERIFY(field("edtAnzahl")->toolTip().isEmpty());
  const QColor normal = field("edtAnzahl")->palette().color(QPalette::Text);

  if (change == "typing") {
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(memo(), "4");
  } else if (change == "reset") {
    Press("btnMemoReset");
  } else {
    memo()->setPlainText("1\n2\n3");
    memo()->InsertText("7\n");
    Press("btnAnzahl");
    Press("btnMittelwert");
    memo()->undo();
  }
  for (const char* name : {"edtAnzahl", "edtMittelwert"}) {
    OutputEdit* written = field(name);
    QVERIFY2(written->IsStale(), name);
    QVERIFY(!written->text().isEmpty());  // the text stays
    QCOMPARE(written->toolTip(), note);
    QCOMPARE(written->accessibleDescription(), note);
    QCOMPARE(written->palette().color(QPalette::Text),
             written->palette().color(QPalette::PlaceholderText));
  }
  QVERIFY(!field("edtAbweichung")->IsStale());  // never written
  QVERIFY(field("edtAbweichung")->toolTip().isEmpty());

  Press("btnAnzahl");
  QVERIFY(!field("edtAnzahl")->IsStale());
  QVERIFY(field("edtAnzahl")->toolTip().isEmpty());
  QVERIFY(field("edtAnzahl")->accessibleDescription().isEmpty());
  QCOMPARE(field("edtAnzahl")->palette().color(QPalette::Text), normal);
  QVERIFY(field("edtMittelwert")->IsStale());  // not written by this press
}

void WindowDesktopTest::returnPressesAFocusedButton_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("modifiers");
  QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
  QTest::newRow("Enter of the keypad") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
}

void WindowDesktopTest::returnPressesAFocusedButton() {
  QFETCH(int, key);
  QFETCH(int, modifiers);
  memo()->setPlainText("1\n2\n3");
  button("btnAnzahl")->setFocus();
  QTest::keyClick(button("btnAnzahl"), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("3"));
  // Return in the list still starts a line.
  memo()->setFocus();
  QTest::keyClick(memo(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
  QCOMPARE(memo()->LineCount(), 4);
}

void WindowDesktopTest::undoKeysWorkFromTheResetButton_data() {
  QTest::addColumn<QKeySequence>("redo");
  QTest::newRow("Ctrl+Y") << QKeySequence(Qt::CTRL | Qt::Key_Y);
  QTest::newRow("Ctrl+Shift+Z") << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
}

void WindowDesktopTest::undoKeysWorkFromTheResetButton() {
  QFETCH(QKeySequence, redo);
  memo()->setPlainText("1\n2\n3");
  Press("btnMemoReset");
  QCOMPARE(QApplication::focusWidget(), button("btnMemoReset"));
  QTest::keySequence(window_.get(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n3"));
  QTest::keySequence(window_.get(), redo);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("\n\n"));
  // In the list the same keys work once each, not twice.
  memo()->setFocus();
  QTest::keySequence(window_.get(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n3"));
  QTest::keySequence(window_.get(), redo);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("\n\n"));
}

void WindowDesktopTest::outputFieldKeepsItsOwnUndo() {
  memo()->setPlainText("1\n2\n3");
  Press("btnMemoReset");
  QLineEdit* output = field("edtAnzahl");
  output->setFocus();
  QTest::keyClicks(output, "abc");
  QTest::keySequence(window_.get(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  QVERIFY(output->text().isEmpty());
  QCOMPARE(memo()->toPlainText(), QStringLiteral("\n\n"));  // the list's reset stays
  QTest::keySequence(window_.get(), QKeySequence(Qt::CTRL | Qt::Key_Y));
  QCOMPARE(output->text(), QStringLiteral("abc"));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("\n\n"));
}

// With the real message box, closed as the user closes it.
void WindowDesktopTest::listHasTheFocusAfterAnError() {
  window_->ShowError = [this](const QString& message) {
    errors_ << message;
    QTimer::singleShot(0, [] {
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    QMessageBox::critical(window_.get(), QStringLiteral("Messwerte Auswerten"), message);
  };
  memo()->setPlainText("1\nzwei\n3");
  Press("btnMittelwert");
  QCOMPARE(errors_.size(), 1);
  // The focus the window gives back when it is active again.
  QTRY_COMPARE(window_->focusWidget(), memo());
  window_->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  QCOMPARE(QApplication::focusWidget(), memo());
  QCOMPARE(memo()->SelectedText(), QStringLiteral("zwei"));
  QTest::keyClicks(memo(), "2");
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n3"));
  Press("btnMittelwert");
  QCOMPARE(field("edtMittelwert")->text(), QStringLiteral("2"));
}

void WindowDesktopTest::contextMenuNamesTheUndoKeys() {
  QStringList offered;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* action : menu->actions()) offered << action->text();
    menu->close();
  });
  const QPoint at = memo()->LineRect(0).center();
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, memo()->viewport()->mapToGlobal(at));
  QApplication::sendEvent(memo()->viewport(), &event);
  QVERIFY(offered.size() > 2);
  QCOMPARE(offered[0], QStringLiteral("&Rückgängig\tCtrl+Z"));
  QCOMPARE(offered[1], QStringLiteral("&Wiederherstellen\tCtrl+Y, Ctrl+Shift+Z"));
}

void WindowDesktopTest::outputFieldMenuIsGermanUnderGermanLocale() {
  QVERIFY(!desktop::InstallQtTranslations(*qApp, QLocale(QLocale::English, QLocale::UnitedStates)));
  QVERIFY(desktop::InstallQtTranslations(*qApp, QLocale(QLocale::German, QLocale::Germany)));
  QStringList offered;
  {
    std::unique_ptr<QMenu> menu(field("edtAnzahl")->createStandardContextMenu());
    for (QAction* action : menu->actions()) {
      if (!action->isSeparator()) offered << action->text();
    }
  }
  for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
    QCoreApplication::removeTranslator(translator);
    delete translator;
  }
  QCOMPARE(offered.size(), 7);
  QCOMPARE(offered[0], QStringLiteral("&Rückgängig"));
  QCOMPARE(offered[1], QStringLiteral("Wieder&herstellen"));
  for (const QString& english :
       {"&Undo", "&Redo", "Cu&t", "&Copy", "&Paste", "Delete", "Select All"}) {
    QVERIFY2(!offered.contains(english), qPrintable(offered.join(", ")));
  }
}

void WindowDesktopTest::listGrowsWithTheWindow_data() {
  QTest::addColumn<QSize>("size");
  QTest::newRow("taller") << QSize(688, 560);
  QTest::newRow("taller and wider") << QSize(900, 580);
  QTest::newRow("smaller than designed") << QSize(400, 300);
}

void WindowDesktopTest::listGrowsWithTheWindow() {
  QFETCH(QSize, size);
  const int menu = MenuHeight(*window_);
  QCOMPARE(window_->minimumSize(), QSize(688, 446 + menu));
  QHash<QWidget*, QRect> before;
  for (QWidget* control :
       window_->designedArea().findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    before.insert(control, control->geometry());
  }
  window_->resize(size);
  const QSize actual = window_->size();
  QCOMPARE(actual, size.expandedTo(QSize(688, 446 + menu)));
  QCOMPARE(memo()->geometry(), QRect(24, 8, 201, actual.height() - menu - 446 + 417));
  for (auto it = before.cbegin(); it != before.cend(); ++it) {
    if (it.key() != memo()) QCOMPARE(it.key()->geometry(), it.value());
  }
}

void WindowDesktopTest::captionsFitAWideFont_data() {
  QTest::addColumn<QString>("family");
  QTest::addColumn<qreal>("points");
  QTest::addColumn<int>("room");
  QTest::newRow("DejaVu Sans 8, the window's buttons") << "DejaVu Sans" << 8.0 << 129;
  QTest::newRow("DejaVu Sans 10") << "DejaVu Sans" << 10.0 << 129;
  QTest::newRow("DejaVu Sans 8, narrower room") << "DejaVu Sans" << 8.0 << 110;
  QTest::newRow("Liberation Sans 8 fits as it is") << "Liberation Sans" << 8.0 << 129;
}

void WindowDesktopTest::captionsFitAWideFont() {
  QFETCH(QString, family);
  QFETCH(qreal, points);
  QFETCH(int, room);
  QFont font(family);
  font.setPointSizeF(points);
  QList<desktop::Caption> captions;
  for (QPushButton* control : window_->findChildren<QPushButton*>()) {
    captions.append({control->text(), room});
  }
  const QFont fitting = desktop::FittingFont(font, captions);
  const QFontMetricsF metrics(fitting);
  for (const desktop::Caption& caption : captions) {
    QVERIFY2(metrics.horizontalAdvance(caption.text) <= room,
             qPrintable(caption.text + " in " + QFontInfo(fitting).family()));
  }
  qInfo("%s %.1f pt", qPrintable(QFontInfo(fitting).family()), fitting.pointSizeF());
  QVERIFY(fitting.pointSizeF() <= points);
  QVERIFY(fitting.pointSizeF() >= points - 3);  // still readable
  if (QFontMetricsF(font).horizontalAdvance(QStringLiteral("Memofeld Zurücksetzen")) <= room) {
    QCOMPARE(fitting, font);
  }
}

QTEST_MAIN(WindowDesktopTest)
#include "window_desktop_test.moc"
