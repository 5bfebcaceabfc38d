#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyleOptionButton>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "form1.h"
#include "measurement_edit.h"
#include "window_harness.h"

// Shown by QCOMPARE when positions differ.
char* toString(const TextPosition& position) {
  return QTest::toString(
      QStringLiteral("line %1, byte %2").arg(position.line).arg(position.column));
}

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

// The number of values in a list: its lines before the first empty one.
int ValueCount(const QString& list) {
  const QStringList lines = list.split(u'\n');
  const qsizetype empty = lines.indexOf(QString());
  return static_cast<int>(empty < 0 ? lines.size() : empty);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QStandardPaths::setTestModeEnabled(true);  // no recovery file of the user's own
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  }
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
  void longPasteIsOneUndoStep();
  void keysEditTheList_data();
  void keysEditTheList();
  void mouseSetsTheCursorAndSelects();
  void clipboardCarriesLines();
  void contextMenuOffersTheEdits();

 private:
  MeasurementEdit* memo() { return Find<MeasurementEdit>("Memo1"); }
  // The point in the list's view at the start of line k, or past its end.
  QPoint PointAt(int k, bool end) {
    const QRect line = memo()->LineRect(k);
    return {end ? line.right() - 1 : 2, line.center().y()};
  }
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
  // The menu bar stands above the designed area, which keeps its size.
  QVERIFY(MenuHeight(*window_) > 0);
  QCOMPARE(window_->designedArea().geometry(), QRect(0, MenuHeight(*window_), 688, 446));
  QCOMPARE(window_->size(), QSize(688, 446 + MenuHeight(*window_)));
  // Where it stands depends on the screen: window_screen_test.
  QVERIFY(window_->screen()->availableGeometry().contains(window_->frameGeometry()));
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
  QCOMPARE(control->parentWidget(), &window_->designedArea());
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
  QCOMPARE(memo()->CursorPosition().line, 2);
  QCOMPARE(memo()->SelectedText(), QStringLiteral("x"));
  QVERIFY(field("edtMittelwert")->text().isEmpty());
  QCOMPARE(window_->auswertung().Anzahl, 2);  // kept what the mean had counted

  // The window goes on: the user fixes the line and asks again.
  memo()->InsertText("3");
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
  QTest::keyClick(memo(), Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(memo(), Qt::Key_Return);
  QTest::keyClicks(memo(), "30");
  Click("btnGroessterMessw");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("3"));
  QCOMPARE(field("edtGroessterMessw")->text(), QStringLiteral("30"));
  QTest::keyClick(memo(), Qt::Key_Home, Qt::ControlModifier);
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
  // Texts up to 15 bytes are kept one way for undo, longer ones another.
  QTest::newRow("short and long lines") << "123456789012345\n1234567890123456\n-0.12345678901234567"
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
  QTest::keyClick(memo(), Qt::Key_Y, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), afterReset);
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), list);
}

void WindowTest::resetOfALongList() {
  QStringList values;
  for (int i = 0; i < 20000; ++i) values << QString::number(i % 100);
  const QString list = values.join('\n') + "\n\n9";
  memo()->setPlainText(list);
  Click("btnAnzahl");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("20000"));
  Click("btnMemoReset");
  Click("btnAnzahl");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("0"));
  QCOMPARE(memo()->LineCount(), 20002);
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
  QTest::newRow("line and paragraph separators") << QString::fromUtf8("1\u20282\u20293\n4");
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
  memo()->SetSelection({1, 0}, {1, 1});
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

void WindowTest::longPasteIsOneUndoStep() {
  memo()->setPlainText("1\n2\n3");
  memo()->SetSelection({1, 0}, {1, 1});
  QStringList lines;
  for (int i = 1; i <= 200000; ++i) lines << QString::number(i);
  QApplication::clipboard()->setText(lines.join("\r\n"));
  QTest::keyClick(memo(), Qt::Key_V, Qt::ControlModifier);
  const QString pasted = "1\n" + lines.join('\n') + "\n3";
  QCOMPARE(memo()->toPlainText(), pasted);
  QCOMPARE(memo()->CursorPosition(), (TextPosition{200000, 6}));  // after what was pasted
  Click("btnMittelwert");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("200002"));
  QCOMPARE(field("edtMittelwert")->text(), QStringLiteral("99999.5"));

  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2\n3"));
  QCOMPARE(memo()->SelectedText(), QStringLiteral("2"));  // selected as before the paste
  QTest::keyClick(memo(), Qt::Key_Y, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), pasted);
  Click("btnAnzahl");
  QCOMPARE(field("edtAnzahl")->text(), QStringLiteral("200002"));
}

namespace {

// Keys as text, with named keys in angle brackets: "1<Return>2<Ctrl+Z>".
QTestEventList Keys(const QString& script) {
  QTestEventList events;
  qsizetype i = 0;
  while (i < script.size()) {
    if (script[i] == u'<') {
      const qsizetype close = script.indexOf(u'>', i);
      const QKeyCombination key = QKeySequence::fromString(script.mid(i + 1, close - i - 1))[0];
      events.addKeyClick(key.key(), key.keyboardModifiers());
      i = close + 1;
    } else {
      const qsizetype next = script.indexOf(u'<', i);
      events.addKeyClicks(script.mid(i, next < 0 ? -1 : next - i));
      i = next < 0 ? script.size() : next;
    }
  }
  return events;
}

}  // namespace

void WindowTest::keysEditTheList_data() {
  QTest::addColumn<QString>("before");
  QTest::addColumn<QTestEventList>("keys");
  QTest::addColumn<QString>("after");
  QTest::addColumn<int>("line");
  QTest::addColumn<int>("column");  // bytes of UTF-8 before the cursor
  const struct {
    const char* name;
    const char* before;
    const char* keys;
    const char* after;
    int line;
    int column;
  } rows[] = {
      // Typing and breaking lines
      {"typing", "", "12,5", "12,5", 0, 4},
      {"Return splits a line", "125", "<End><Left><Return>", "12\n5", 1, 0},
      {"Shift+Return splits it too", "125", "<End><Left><Shift+Return>", "12\n5", 1, 0},
      {"Backspace joins lines", "1\n2", "<Down><Backspace>", "12", 0, 1},
      {"Delete joins lines", "1\n2", "<End><Delete>", "12", 0, 1},
      {"Ctrl+Backspace removes a word", "12 34", "<End><Ctrl+Backspace>", "12 ", 0, 3},
      // Moving and selecting
      {"Down keeps the column over a short line", "12345\n1\n12345", "<End><Down><Down>x",
       "12345\n1\n12345x", 2, 6},
      {"Up on the first line goes to its start", "123", "<End><Up>x", "x123", 0, 1},
      {"Down on the last line goes to its end", "123", "<Down>x", "123x", 0, 4},
      {"Ctrl+End and Home", "1\n22\n333", "<Ctrl+End><Home>x", "1\n22\nx333", 2, 1},
      {"Shift+Down selects, typing replaces", "1\n2\n3", "<Shift+Down><Shift+Down>9", "93", 0, 1},
      {"Left leaves a selection at its start", "12345", "<Shift+End><Left>x", "x12345", 0, 1},
      {"Right leaves a selection at its end", "12345", "<Shift+End><Right>x", "12345x", 0, 6},
      {"Ctrl+A and Delete empty the list", "1\n2\n3", "<Ctrl+A><Delete>", "", 0, 0},
      // Characters beyond ASCII are stepped over and removed whole
      {"Backspace removes a whole emoji", "ä😀", "<End><Backspace>", "ä", 0, 2},
      {"Left steps over a whole emoji", "😀1", "<End><Left><Left>x", "x😀1", 0, 1},
      // Undo and redo
      {"typed run undoes as one step", "1", "<End>23<Return>4<Ctrl+Z>", "123\n", 1, 0},
      {"steps undo in turn", "1", "<End>23<Return>4<Ctrl+Z><Ctrl+Z><Ctrl+Z>", "1", 0, 1},
      {"deleting run undoes as one step", "12345", "<End><Backspace><Backspace><Ctrl+Z>", "12345",
       0, 5},
      {"redo", "1", "<End>23<Ctrl+Z><Ctrl+Y>", "123", 0, 3},
      {"nothing to undo", "1", "<Ctrl+Z>", "1", 0, 0},
  };
  for (const auto& row : rows) {
    QTest::newRow(row.name) << QString::fromUtf8(row.before) << Keys(QString::fromUtf8(row.keys))
                            << QString::fromUtf8(row.after) << row.line << row.column;
  }
}

void WindowTest::keysEditTheList() {
  QFETCH(QString, before);
  QFETCH(QTestEventList, keys);
  QFETCH(QString, after);
  QFETCH(int, line);
  QFETCH(int, column);
  memo()->setPlainText(before);
  Click("btnAnzahl");
  memo()->setFocus();
  keys.simulate(memo());
  QCOMPARE(memo()->toPlainText(), after);
  QCOMPARE(memo()->CursorPosition(), (TextPosition{line, column}));
  Click("btnAnzahl");  // the evaluation reads what the keys left
  QCOMPARE(field("edtAnzahl")->text(), QString::number(ValueCount(after)));
}

void WindowTest::mouseSetsTheCursorAndSelects() {
  memo()->setPlainText("10\n20\n30\n40");
  QWidget* view = memo()->viewport();
  QTest::mouseClick(view, Qt::LeftButton, {}, PointAt(2, false));
  QCOMPARE(memo()->CursorPosition(), (TextPosition{2, 0}));
  QTest::mouseClick(view, Qt::LeftButton, {}, PointAt(2, true));
  QCOMPARE(memo()->CursorPosition(), (TextPosition{2, 2}));

  QTest::mousePress(view, Qt::LeftButton, {}, PointAt(1, false));
  QTest::mouseMove(view, PointAt(3, true));
  QTest::mouseRelease(view, Qt::LeftButton, {}, PointAt(3, true));
  QCOMPARE(memo()->SelectedText(), QStringLiteral("20\n30\n40"));

  QTest::mouseClick(view, Qt::LeftButton, {}, PointAt(0, false));
  QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, PointAt(1, true));
  QCOMPARE(memo()->SelectedText(), QStringLiteral("10\n20"));

  QTest::mouseDClick(view, Qt::LeftButton, {}, PointAt(2, false));
  QCOMPARE(memo()->SelectedText(), QStringLiteral("30"));
}

void WindowTest::clipboardCarriesLines() {
  memo()->setPlainText("1\n2\n3");
  memo()->SetSelection({0, 0}, {1, 1});
  QTest::keyClick(memo(), Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1\n2"));
  QTest::keyClick(memo(), Qt::Key_X, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("\n3"));
  QTest::keyClick(memo(), Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(memo(), Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("\n31\n2"));
}

void WindowTest::contextMenuOffersTheEdits() {
  memo()->setPlainText("1\n2");
  memo()->SetSelection({0, 0}, {0, 1});
  QApplication::clipboard()->setText("3");
  QStringList offered;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* action : menu->actions()) {
      if (action->isSeparator() || !action->isVisible()) continue;
      offered << action->text().section(u'\t', 0, 0) + (action->isEnabled() ? "" : " (aus)");
      if (action->text().startsWith(QStringLiteral("&Löschen"))) action->trigger();
    }
    menu->close();
  });
  const QPoint at = PointAt(0, false);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, memo()->viewport()->mapToGlobal(at));
  QApplication::sendEvent(memo()->viewport(), &event);
  // The window's file actions follow, restoring only once there is a list to restore, and
  // recording.
  QCOMPARE(offered, QStringList({"&Rückgängig (aus)", "&Wiederherstellen (aus)", "&Ausschneiden",
                                 "&Kopieren", "&Einfügen", "&Löschen", "Alles &markieren",
                                 "&Öffnen…", "Liste &speichern unter…",
                                 "Messwerte &aufnehmen…"}));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("\n2"));
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
