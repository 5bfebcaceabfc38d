#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "form1.h"
#include "window_harness.h"

namespace {

const char* const kFields[] = {"edtAnzahl",         "edtMittelwert",     "edtQuadr_Mittelwe",
                               "edtGroessterMessw", "edtKleinsterMessw", "edtAbweichung"};

// "edtAnzahl=3;edtMittelwert=4" as field name → text.
QHash<QString, QString> ParseFields(const QString& written) {
  QHash<QString, QString> fields;
  for (const QString& pair : written.split(u';', Qt::SkipEmptyParts)) {
    const qsizetype eq = pair.indexOf(u'=');
    fields.insert(pair.left(eq), pair.mid(eq + 1));
  }
  return fields;
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
  void init();
  void cleanup();

  void startsEmpty();
  void controlsStandWhereTheLayoutPutsThem_data();
  void controlsStandWhereTheLayoutPutsThem();
  void captionsFitTheirButtons();
  void tabFollowsTheLayoutOrder();
  void typicalPress();
  void buttonRewritesItsFields_data();
  void buttonRewritesItsFields();
  void decimalSeparatorFollowsTheLocale_data();
  void decimalSeparatorFollowsTheLocale();
  void rejectedLineIsReportedAndSelected();
  void errorShowsAMessageBox();
  void editsBetweenClicksAreSeen();
  void resetIsOneUndoStep_data();
  void resetIsOneUndoStep();
  void resetOfALongList();
  void pastedLineBreaksBecomeLines_data();
  void pastedLineBreaksBecomeLines();
  void pasteReplacesTheSelection();
  void shiftEnterStartsALine();
  void clickDuringASlicedPasteSeesTheWholeList();
  void slicedPasteIsOneUndoStep();
  void windowRunsDuringASlicedPaste();

 private:
  QPlainTextEdit* memo() { return Find<QPlainTextEdit>("Memo1"); }
  // Pastes `count` lines "1" to "count" in slices of 5,000 lines; returns them.
  QString PasteSliced(int count) {
    Find<MeasurementEdit>("Memo1")->SetSliceLines(5000);
    QStringList lines;
    for (int i = 1; i <= count; ++i) lines << QString::number(i);
    QApplication::clipboard()->setText(lines.join("\r\n"));
    QTest::keyClick(memo(), Qt::Key_V, Qt::ControlModifier);
    return lines.join('\n');
  }
  bool Pending() { return Find<MeasurementEdit>("Memo1")->EditPending(); }
  QLineEdit* field(const QString& name) { return Find<QLineEdit>(name); }
  void Click(const QString& button) {
    QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton);
  }

  template <class T>
  T* Find(const QString& name) {
    return FindControl<T>(*window_, name);
  }

  std::unique_ptr<TForm1> window_;
  QStringList errors_;
};

void WindowTest::init() {
  window_ = OpenWindow(errors_);
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void WindowTest::cleanup() { CloseWindow(window_); }

void WindowTest::startsEmpty() {
  QCOMPARE(window_->windowTitle(), QStringLiteral("Messwerte Auswerten"));
  QCOMPARE(window_->size(), QSize(688, 446));
  QCOMPARE(window_->pos(), QPoint(179, 125));
  QVERIFY(memo()->toPlainText().isEmpty());
  for (const char* name : kFields) QVERIFY2(field(name)->text().isEmpty(), name);
  QVERIFY(!window_->windowIcon().isNull());
}

void WindowTest::controlsStandWhereTheLayoutPutsThem_data() {
  QTest::addColumn<QRect>("geometry");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QString>("accessibleName");
  const struct {
    const char* name;
    QRect geometry;
    const char* caption;
    const char* accessible;
  } rows[] = {
      {"Memo1", {24, 8, 201, 417}, "", "Messwerte"},
      {"btnAnzahl", {272, 16, 137, 41}, "Anzahl", "Anzahl"},
      {"edtAnzahl", {448, 16, 177, 21}, "", "Anzahl"},
      {"btnMittelwert", {272, 72, 137, 41}, "Mittelwert", "Mittelwert"},
      {"edtMittelwert", {448, 72, 177, 21}, "", "Mittelwert"},
      {"btnquadr_Mittelwert",
       {272, 128, 137, 41},
       "btnquadr_Mittelwert",
       "Quadratischer Mittelwert"},
      {"btnGroessterMessw", {272, 184, 137, 41}, "grösster Messwert", "grösster Messwert"},
      {"edtQuadr_Mittelwe", {448, 136, 177, 21}, "", "Quadratischer Mittelwert"},
      {"edtGroessterMessw", {448, 192, 177, 21}, "", "Größter Messwert"},
      {"brnKleinsterMessw", {272, 248, 137, 41}, "kleinster Messwert", "kleinster Messwert"},
      {"edtKleinsterMessw", {448, 256, 177, 21}, "", "Kleinster Messwert"},
      {"btnAbweichung", {272, 328, 137, 41}, "prozentuale Abweichung", "prozentuale Abweichung"},
      {"edtAbweichung", {448, 336, 177, 21}, "", "Prozentuale Abweichung"},
      {"btnMemoReset", {272, 392, 137, 33}, "Memofeld Zurücksetzen", "Memofeld Zurücksetzen"},
  };
  for (const auto& row : rows) {
    QTest::newRow(row.name) << row.geometry << QString::fromUtf8(row.caption)
                            << QString::fromUtf8(row.accessible);
  }
}

void WindowTest::controlsStandWhereTheLayoutPutsThem() {
  QFETCH(QRect, geometry);
  QFETCH(QString, caption);
  QFETCH(QString, accessibleName);
  QWidget* control = Find<QWidget>(QTest::currentDataTag());
  QCOMPARE(control->parentWidget(), window_.get());
  QCOMPARE(control->geometry(), geometry);
  QCOMPARE(control->accessibleName(), accessibleName);
  if (auto* button = qobject_cast<QPushButton*>(control)) QCOMPARE(button->text(), caption);
}

void WindowTest::captionsFitTheirButtons() {
  for (QPushButton* button : window_->findChildren<QPushButton*>()) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect contents =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const int width = button->fontMetrics().horizontalAdvance(button->text());
    QVERIFY2(width <= contents.width(), qPrintable(QStringLiteral("%1: %2 px in %3 px")
                                                       .arg(button->text())
                                                       .arg(width)
                                                       .arg(contents.width())));
  }
  QCOMPARE(Find<QPushButton>("btnquadr_Mittelwert")->toolTip(),
           QStringLiteral("Quadratischer Mittelwert"));
}

void WindowTest::tabFollowsTheLayoutOrder() {
  QApplication::setActiveWindow(window_.get());
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  const QStringList order = {"Memo1",
                             "btnAnzahl",
                             "edtAnzahl",
                             "btnMittelwert",
                             "edtMittelwert",
                             "btnquadr_Mittelwert",
                             "btnGroessterMessw",
                             "edtQuadr_Mittelwe",
                             "edtGroessterMessw",
                             "brnKleinsterMessw",
                             "edtKleinsterMessw",
                             "btnAbweichung",
                             "edtAbweichung",
                             "btnMemoReset",
                             "Memo1"};
  memo()->setFocus();
  memo()->setPlainText("1");
  for (const QString& name : order) {
    QCOMPARE(QApplication::focusWidget()->objectName(), name);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1"));  // Tab moved on, typed nothing
}

void WindowTest::typicalPress() {
  memo()->setPlainText("2\n4\n6");
  Click("btnAbweichung");
  QCOMPARE(field("edtMittelwert")->text(), QStringLiteral("4"));
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("3"));
  QCOMPARE(field("edtKleinsterMessw")->text(), QStringLiteral("2"));
  QCOMPARE(field("edtGroessterMessw")->text(), QStringLiteral("6"));
  QCOMPARE(field("edtAbweichung")->text(), QStringLiteral("50"));
  QVERIFY(field("edtQuadr_Mittelwe")->text().isEmpty());
  QVERIFY(errors_.isEmpty());
  QCOMPARE(window_->auswertung().Anzahl, 3);
}

void WindowTest::buttonRewritesItsFields_data() {
  QTest::addColumn<QString>("written");
  QTest::addColumn<QString>("listAfter");
  const QString list = "2\n4\n6";
  QTest::newRow("btnAnzahl") << "edtAnzahl=3" << list;
  QTest::newRow("btnMittelwert") << "edtMittelwert=4;edtAnzahl=3" << list;
  QTest::newRow("btnquadr_Mittelwert")
      << "edtMittelwert=4;edtAnzahl=3;edtQuadr_Mittelwe=4.32049369812012" << list;
  QTest::newRow("btnGroessterMessw") << "edtAnzahl=3;edtGroessterMessw=6" << list;
  QTest::newRow("brnKleinsterMessw") << "edtAnzahl=3;edtKleinsterMessw=2" << list;
  QTest::newRow("btnAbweichung")
      << "edtMittelwert=4;edtAnzahl=3;edtKleinsterMessw=2;edtGroessterMessw=6;edtAbweichung=50"
      << list;
  QTest::newRow("btnMemoReset") << ""
                                << "\n\n";
}

void WindowTest::buttonRewritesItsFields() {
  QFETCH(QString, written);
  QFETCH(QString, listAfter);
  // Typed text stays in every field that the button does not write.
  for (const char* name : kFields) field(name)->setText("typed");
  memo()->setPlainText("2\n4\n6");
  Click(QTest::currentDataTag());
  QVERIFY(errors_.isEmpty());
  const QHash<QString, QString> expected = ParseFields(written);
  for (const char* name : kFields) {
    QCOMPARE(field(name)->text(), expected.value(name, "typed"));
  }
  QCOMPARE(memo()->toPlainText(), listAfter);
}

void WindowTest::decimalSeparatorFollowsTheLocale_data() {
  QTest::addColumn<QLocale>("locale");
  QTest::addColumn<QString>("list");
  QTest::addColumn<QString>("mean");
  QTest::addColumn<int>("errors");
  const QLocale german(QLocale::German, QLocale::Germany);
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  QTest::newRow("German") << german << "1,5\n2"
                          << "1,75" << 0;
  QTest::newRow("English") << english << "1.5\n2"
                           << "1.75" << 0;
  QTest::newRow("German rejects a point") << german << "1.5\n2"
                                          << "" << 1;
  QTest::newRow("English rejects a comma") << english << "1,5\n2"
                                           << "" << 1;
}

void WindowTest::decimalSeparatorFollowsTheLocale() {
  QFETCH(QLocale, locale);
  QFETCH(QString, list);
  QFETCH(QString, mean);
  QFETCH(int, errors);
  QLocale::setDefault(locale);
  memo()->setPlainText(list);
  Click("btnMittelwert");
  QCOMPARE(field("edtMittelwert")->text(), mean);
  QCOMPARE(errors_.size(), errors);
}

void WindowTest::rejectedLineIsReportedAndSelected() {
  memo()->setPlainText("1\n2\nx\n4");
  Click("btnMittelwert");
  QCOMPARE(errors_.size(), 1);
  QVERIFY2(errors_[0].contains("'x'") && errors_[0].contains("Zeile 3"), qPrintable(errors_[0]));
  QCOMPARE(memo()->textCursor().blockNumber(), 2);
  QCOMPARE(memo()->textCursor().selectedText(), QStringLiteral("x"));
  QVERIFY(field("edtMittelwert")->text().isEmpty());
  QCOMPARE(window_->auswertung().Anzahl, 2);  // kept what the mean had counted

  // The window goes on: the user fixes the line and asks again.
  memo()->textCursor().insertText("3");
  Click("btnMittelwert");
  QCOMPARE(errors_.size(), 1);
  QCOMPARE(field("edtMittelwert")->text(), QStringLiteral("2.5"));
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("4"));
}

void WindowTest::errorShowsAMessageBox() {
  window_.reset();
  window_ = std::make_unique<TForm1>();  // with the message box that the program shows
  window_->show();
  memo()->setPlainText("abc");
  QString title;
  QString text;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      title = box->windowTitle();
      text = box->text();
      box->accept();
    }
  });
  Click("btnAnzahl");  // counting converts nothing
  QVERIFY(title.isEmpty());
  Click("btnGroessterMessw");
  QCOMPARE(title, QStringLiteral("Messwerte Auswerten"));
  QVERIFY2(text.contains("'abc'"), qPrintable(text));
}

void WindowTest::editsBetweenClicksAreSeen() {
  memo()->setPlainText("1\n2");
  Click("btnAnzahl");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("2"));
  memo()->moveCursor(QTextCursor::End);
  QTest::keyClick(memo(), Qt::Key_Return);
  QTest::keyClicks(memo(), "30");
  Click("btnGroessterMessw");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("3"));
  QCOMPARE(field("edtGroessterMessw")->text(), QStringLiteral("30"));
  memo()->moveCursor(QTextCursor::Start);
  QTest::keyClick(memo(), Qt::Key_Delete);  // line 0 becomes empty
  Click("btnAnzahl");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("0"));
}

void WindowTest::resetIsOneUndoStep_data() {
  QTest::addColumn<QString>("list");
  QTest::addColumn<QString>("afterReset");
  QTest::newRow("values only") << "1\n2\n3"
                               << "\n\n";
  QTest::newRow("values, empty line, more") << "1\n2\n\n3"
                                            << "\n\n\n3";
  QTest::newRow("first line empty") << "\n5"
                                    << "\n5";
  QTest::newRow("break after the values") << "7,5\n8\n"
                                          << "\n\n";
}

void WindowTest::resetIsOneUndoStep() {
  QFETCH(QString, list);
  QFETCH(QString, afterReset);
  memo()->setPlainText(list);
  Click("btnMittelwert");
  const QString mean = field("edtMittelwert")->text();
  Click("btnMemoReset");
  QCOMPARE(memo()->toPlainText(), afterReset);
  QCOMPARE(field("edtMittelwert")->text(), mean);  // the results stay
  Click("btnAnzahl");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("0"));

  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), list);
  Click("btnMittelwert");
  QCOMPARE(field("edtMittelwert")->text(), mean);
}

void WindowTest::resetOfALongList() {
  QStringList values;
  for (int i = 0; i < 20000; ++i) values << QString::number(i % 100);
  const QString list = values.join('\n') + "\n\n9";
  memo()->setPlainText(list);
  Click("btnAnzahl");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("20000"));
  Find<MeasurementEdit>("Memo1")->SetSliceLines(3000);
  Click("btnMemoReset");
  QVERIFY(Pending());
  Click("btnAnzahl");  // sees every line emptied, though the reset was still going on
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("0"));
  QCOMPARE(memo()->blockCount(), 20002);
  QCOMPARE(memo()->toPlainText(), QString(20001, u'\n') + "9");
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), list);
  Click("btnMittelwert");
  QCOMPARE(field("edtMittelwert")->text(), QStringLiteral("49.5"));
}

void WindowTest::pastedLineBreaksBecomeLines_data() {
  QTest::addColumn<QString>("pasted");
  QTest::newRow("LF") << "1\n2\n3\n4";
  QTest::newRow("CR LF") << "1\r\n2\r\n3\r\n4\r\n";
  QTest::newRow("CR") << "1\r2\r3\r4";
  QTest::newRow("mixed") << "1\r\n2\r3\n4";
}

void WindowTest::pastedLineBreaksBecomeLines() {
  QFETCH(QString, pasted);
  QApplication::clipboard()->setText(pasted);
  QTest::keyClick(memo(), Qt::Key_V, Qt::ControlModifier);
  Click("btnMittelwert");
  QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('\n')));
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("4"));
  QCOMPARE(field("edtMittelwert")->text(), QStringLiteral("2.5"));
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QVERIFY(memo()->toPlainText().isEmpty());
}

void WindowTest::pasteReplacesTheSelection() {
  memo()->setPlainText("1\n2\n3");
  QTextCursor cursor(memo()->document()->findBlockByNumber(1));
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  memo()->setTextCursor(cursor);
  QApplication::clipboard()->setText("20\r\n21");
  QTest::keyClick(memo(), Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n20\n21\n3"));
  Click("btnAnzahl");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("4"));
}

void WindowTest::shiftEnterStartsALine() {
  QTest::keyClicks(memo(), "1");
  QTest::keyClick(memo(), Qt::Key_Return, Qt::ShiftModifier);
  QTest::keyClicks(memo(), "2");
  Click("btnAnzahl");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("2"));
}

void WindowTest::clickDuringASlicedPasteSeesTheWholeList() {
  const QString pasted = PasteSliced(200000);
  QVERIFY(Pending());
  QVERIFY(memo()->isReadOnly());
  Click("btnMittelwert");
  QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('\n')));
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("200000"));
  QCOMPARE(field("edtMittelwert")->text(), QStringLiteral("100000.5"));
  QVERIFY(!Pending());
  QVERIFY(!memo()->isReadOnly());
  QCOMPARE(memo()->toPlainText(), pasted);
}

void WindowTest::slicedPasteIsOneUndoStep() {
  memo()->setPlainText("1\n2\n3");
  QTextCursor cursor(memo()->document()->findBlockByNumber(1));
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  memo()->setTextCursor(cursor);
  const QString pasted = PasteSliced(50000);
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);  // no undo while the paste goes on
  QTRY_VERIFY(!Pending());
  QCOMPARE(memo()->toPlainText(), "1\n" + pasted + "\n3");
  QCOMPARE(memo()->textCursor().blockNumber(), 50000);  // at the end of what was pasted
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n3"));
}

void WindowTest::windowRunsDuringASlicedPaste() {
  QList<int> seen;  // line counts seen by a timer while the paste goes on
  QTimer timer;
  connect(&timer, &QTimer::timeout, [&] { seen << memo()->blockCount(); });
  timer.start(0);
  PasteSliced(50000);
  QTRY_VERIFY(!Pending());
  QVERIFY(std::any_of(seen.begin(), seen.end(), [](int n) { return n > 1 && n < 50000; }));
  timer.stop();

  // Closing the window with a paste under way ends it without harm.
  PasteSliced(50000);
  QVERIFY(Pending());
  window_->close();
  window_.reset();
  QTest::qWait(20);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
