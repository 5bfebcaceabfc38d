// The list field with input methods, the mouse and drag and drop: preedit shown at the caret and
// committed, replacement ranges in UTF-16 units, the queries input methods ask, triple clicks,
// autoscroll, drops of text and of files, and moves inside the list as one undo step.

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextCharFormat>
#include <QtTest>
#include <memory>

#include "form1.h"
#include "measurement_edit.h"
#include "window_harness.h"

char* toString(const TextPosition& position) {
  return QTest::toString(
      QStringLiteral("line %1, byte %2").arg(position.line).arg(position.column));
}

class ListInputTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
  void init();
  void cleanup();

  void preeditIsShownAtTheCaretAndThenCommitted();
  void preeditFormatsAreDrawn();
  void commitReplacesTheGivenRange_data();
  void commitReplacesTheGivenRange();
  void queriesDescribeTheCursorsLine();
  void textBeforeCursorHonoursTheAskedLength();
  void inputMethodFollowsTheCaret();

  void tripleClickSelectsTheLine();
  void draggingBelowTheViewScrollsIt();
  void droppedTextIsInsertedAsOneStep();
  void droppedFilesAreHandedOn();
  void dragInsideTheList_data();
  void dragInsideTheList();
  void dragToAnotherProgramMovesTheText();
  void keyboardSelectionBecomesThePrimarySelection();

 private:
  MeasurementEdit* memo() { return FindControl<MeasurementEdit>(*window_, "Memo1"); }
  QPoint PointAt(int k, int x) { return {x, memo()->LineRect(k).center().y()}; }
  QImage Shot() { return memo()->viewport()->grab().toImage(); }
  void Preedit(const QString& text, const QList<QInputMethodEvent::Attribute>& attributes) {
    QInputMethodEvent event(text, attributes);
    QApplication::sendEvent(memo(), &event);
  }
  void Commit(const QString& text, int replace_from = 0, int replace_length = 0) {
    QInputMethodEvent event;
    event.setCommitString(text, replace_from, replace_length);
    QApplication::sendEvent(memo(), &event);
  }
  // Enters the view with `data` and lets go at `point`, as Qt delivers a drop only to the widget
  // that accepted the drag's entry; gives the action the drop took.
  Qt::DropAction Drop(QPoint point, const QMimeData* data, Qt::KeyboardModifiers modifiers = {}) {
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(point, actions, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(memo()->viewport(), &enter);
    if (!enter.isAccepted()) return Qt::IgnoreAction;
    QDropEvent drop(point, actions, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(memo()->viewport(), &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
  }
  QVariant Query(Qt::InputMethodQuery query) {
    return static_cast<QWidget*>(memo())->inputMethodQuery(query);
  }

  std::unique_ptr<TForm1> window_;
  QStringList errors_;
};

void ListInputTest::init() {
  window_ = OpenWindow(errors_);
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  memo()->setFocus();
  memo()->RunDrag = nullptr;
}

void ListInputTest::cleanup() { CloseWindow(window_); }

// A preedit without formats looks exactly like the committed text, caret after it, while the
// list's text stays without it until the commit.
void ListInputTest::preeditIsShownAtTheCaretAndThenCommitted() {
  memo()->setPlainText("12\n3,5");
  memo()->SetSelection({0, 2}, {0, 2});
  const QImage before = Shot();
  const QRect caret_before = Query(Qt::ImCursorRectangle).toRect();
  Preedit("4", {});
  QCOMPARE(memo()->toPlainText(), QStringLiteral("12\n3,5"));
  QCOMPARE(Query(Qt::ImSurroundingText).toString(), QStringLiteral("12"));
  QVERIFY(Query(Qt::ImCursorRectangle).toRect().x() > caret_before.x());
  const QImage shown = Shot();
  QVERIFY(shown != before);

  Commit("4");
  QCOMPARE(memo()->toPlainText(), QStringLiteral("124\n3,5"));
  QCOMPARE(memo()->CursorPosition(), (TextPosition{0, 3}));
  QCOMPARE(Shot(), shown);
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("12\n3,5"));
}

void ListInputTest::preeditFormatsAreDrawn() {
  memo()->setPlainText("12");
  memo()->SetSelection({0, 2}, {0, 2});
  Preedit("45", {});
  const QImage plain = Shot();
  QTextCharFormat underlined;
  underlined.setFontUnderline(true);
  // The cursor attribute with length 0 hides the caret.
  Preedit("45", {{QInputMethodEvent::TextFormat, 0, 2, underlined},
                 {QInputMethodEvent::Cursor, 1, 0, {}}});
  QVERIFY(Shot() != plain);
  Preedit({}, {});
  QCOMPARE(memo()->toPlainText(), QStringLiteral("12"));
}

void ListInputTest::commitReplacesTheGivenRange_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<TextPosition>("cursor");
  QTest::addColumn<int>("from");  // UTF-16 units from the cursor
  QTest::addColumn<int>("length");
  QTest::addColumn<QString>("commit");
  QTest::addColumn<QString>("after");
  QTest::addColumn<TextPosition>("cursorAfter");
  QTest::newRow("word before the cursor") << "1,5\n2,5" << TextPosition{1, 3} << -3 << 3 << "7"
                                          << "1,5\n7" << TextPosition{1, 1};
  QTest::newRow("after the cursor") << "12345" << TextPosition{0, 1} << 1 << 2 << "x"
                                    << "12x5" << TextPosition{0, 3};
  QTest::newRow("across the line break") << "1,5\n2,5" << TextPosition{1, 0} << -1 << 1 << ""
                                         << "1,52,5" << TextPosition{0, 3};
  QTest::newRow("counted in UTF-16 units")
      << QString::fromUtf8("a😀b") << TextPosition{0, 6} << -3 << 2 << "x"
      << "axb" << TextPosition{0, 2};
  QTest::newRow("never half a surrogate pair")
      << QString::fromUtf8("a😀b") << TextPosition{0, 6} << -2 << 1 << "x"
      << QString::fromUtf8("ax😀b") << TextPosition{0, 2};
  QTest::newRow("range past the end is clamped") << "12" << TextPosition{0, 1} << 0 << 50 << "9"
                                                 << "19" << TextPosition{0, 2};
}

void ListInputTest::commitReplacesTheGivenRange() {
  QFETCH(QString, text);
  QFETCH(TextPosition, cursor);
  QFETCH(int, from);
  QFETCH(int, length);
  QFETCH(QString, commit);
  QFETCH(QString, after);
  QFETCH(TextPosition, cursorAfter);
  memo()->setPlainText(text);
  memo()->SetSelection(cursor, cursor);
  Commit(commit, from, length);
  QCOMPARE(memo()->toPlainText(), after);
  QCOMPARE(memo()->CursorPosition(), cursorAfter);
  memo()->undo();
  QCOMPARE(memo()->toPlainText(), text);
}

void ListInputTest::queriesDescribeTheCursorsLine() {
  memo()->setPlainText("10\n20\n30");
  memo()->SetSelection({0, 1}, {1, 1});
  QCOMPARE(Query(Qt::ImEnabled).toBool(), true);
  QCOMPARE(Query(Qt::ImSurroundingText).toString(), QStringLiteral("20"));
  QCOMPARE(Query(Qt::ImCursorPosition).toInt(), 1);
  QCOMPARE(Query(Qt::ImAnchorPosition).toInt(), -2);
  QCOMPARE(Query(Qt::ImAbsolutePosition).toInt(), 4);
  QCOMPARE(Query(Qt::ImCurrentSelection).toString(), QStringLiteral("0\n2"));
  QCOMPARE(Query(Qt::ImTextBeforeCursor).toString(), QStringLiteral("10\n2"));
  QCOMPARE(Query(Qt::ImTextAfterCursor).toString(), QStringLiteral("0\n30"));
  QVERIFY(Query(Qt::ImHints).toInt() & Qt::ImhMultiLine);
  QCOMPARE(Query(Qt::ImFont).value<QFont>(), memo()->font());
  const QRect cursor = Query(Qt::ImCursorRectangle).toRect();
  const QRect anchor = Query(Qt::ImAnchorRectangle).toRect();
  QVERIFY(anchor.y() < cursor.y());
  QVERIFY(memo()->rect().contains(cursor.center()));
}

void ListInputTest::textBeforeCursorHonoursTheAskedLength() {
  memo()->setPlainText("10\n20\n30");
  memo()->SetSelection({2, 1}, {2, 1});
  QCOMPARE(memo()->inputMethodQuery(Qt::ImTextBeforeCursor, 3).toString(), QStringLiteral("0\n3"));
  QCOMPARE(memo()->inputMethodQuery(Qt::ImTextAfterCursor, 0).toString(), QString());
}

// The candidate window moves along: every caret move and selection updates the input method.
void ListInputTest::inputMethodFollowsTheCaret() {
  memo()->setPlainText("10\n20\n30");
  window_->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  memo()->setFocus();
  QCOMPARE(QGuiApplication::focusObject(), memo());
  QSignalSpy moved(QGuiApplication::inputMethod(), &QInputMethod::cursorRectangleChanged);
  QTest::keyClick(memo(), Qt::Key_Down);
  QCOMPARE(moved.count(), 1);
  QTest::keyClick(memo(), Qt::Key_End, Qt::ShiftModifier);
  QCOMPARE(moved.count(), 2);
  QCOMPARE(
      QGuiApplication::inputMethod()->cursorRectangle().toRect(),
      Query(Qt::ImCursorRectangle).toRect().translated(memo()->mapTo(window_.get(), QPoint())));
}

void ListInputTest::tripleClickSelectsTheLine() {
  memo()->setPlainText("10 20\n30\n40");
  QWidget* view = memo()->viewport();
  const QPoint at = PointAt(0, 4);
  QTest::mouseDClick(view, Qt::LeftButton, {}, at);
  QCOMPARE(memo()->SelectedText(), QStringLiteral("10"));
  QTest::mouseClick(view, Qt::LeftButton, {}, at);
  QCOMPARE(memo()->SelectedText(), QStringLiteral("10 20\n"));
  // Later than the double-click interval, a click only places the caret.
  QTest::mouseDClick(view, Qt::LeftButton, {}, PointAt(1, 4));
  QTest::qWait(QApplication::doubleClickInterval() + 50);
  QTest::mouseClick(view, Qt::LeftButton, {}, PointAt(2, 4));
  QCOMPARE(memo()->SelectedText(), QString());
}

void ListInputTest::draggingBelowTheViewScrollsIt() {
  QStringList lines;
  for (int i = 0; i < 200; ++i) lines << QString::number(i);
  memo()->setPlainText(lines.join(u'\n'));
  QWidget* view = memo()->viewport();
  QTest::mousePress(view, Qt::LeftButton, {}, PointAt(0, 2));
  QTest::mouseMove(view, {20, view->height() + 40});
  QTRY_COMPARE_WITH_TIMEOUT(memo()->CursorPosition().line, 199, 5000);
  QTest::mouseRelease(view, Qt::LeftButton, {}, {20, view->height() + 40});
  QCOMPARE(memo()->verticalScrollBar()->value(), memo()->verticalScrollBar()->maximum());
  QCOMPARE(memo()->SelectedText(), lines.join(u'\n'));
}

void ListInputTest::droppedTextIsInsertedAsOneStep() {
  memo()->setPlainText("10\n20");
  QMimeData data;
  data.setText("5\r\n6");
  QVERIFY(Drop(PointAt(1, 2), &data) != Qt::IgnoreAction);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("10\n5\n620"));
  QCOMPARE(memo()->SelectedText(), QStringLiteral("5\n6"));
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("10\n20"));
}

void ListInputTest::droppedFilesAreHandedOn() {
  memo()->setPlainText("10");
  QSignalSpy dropped(memo(), &MeasurementEdit::filesDropped);
  QMimeData data;
  const QList<QUrl> files{QUrl::fromLocalFile("/tmp/werte.txt"),
                          QUrl(QStringLiteral("https://example.org/x.txt"))};
  data.setUrls(files);
  data.setText("/tmp/werte.txt");
  QVERIFY(Drop(PointAt(0, 2), &data) != Qt::IgnoreAction);
  QCOMPARE(dropped.count(), 1);
  QCOMPARE(dropped.at(0).at(0).value<QList<QUrl>>(), QList<QUrl>{files.first()});
  QCOMPARE(memo()->toPlainText(), QStringLiteral("10"));
}

void ListInputTest::dragInsideTheList_data() {
  QTest::addColumn<bool>("copy");
  QTest::addColumn<int>("line");  // where the text is dropped, at the line's end
  QTest::addColumn<QString>("after");
  QTest::newRow("move down") << false << 2 << "\n20\n3010";
  QTest::newRow("copy down with Ctrl") << true << 2 << "10\n20\n3010";
  QTest::newRow("move up") << false << 0 << "1020\n\n30";
}

// The drag runs through RunDrag, which drops the dragged data where a user would let go.
void ListInputTest::dragInsideTheList() {
  QFETCH(bool, copy);
  QFETCH(int, line);
  QFETCH(QString, after);
  memo()->setPlainText("10\n20\n30");
  const TextPosition from = copy || line > 0 ? TextPosition{0, 0} : TextPosition{1, 0};
  memo()->SetSelection(from, {from.line, 2});
  bool ran = false;
  memo()->RunDrag = [&](QDrag& drag) {
    ran = true;
    return Drop(PointAt(line, memo()->viewport()->width() - 2), drag.mimeData(),
                copy ? Qt::ControlModifier : Qt::NoModifier);
  };
  QWidget* view = memo()->viewport();
  const QPoint press = PointAt(from.line, 4);
  QTest::mousePress(view, Qt::LeftButton, {}, press);
  QTest::mouseMove(view, press + QPoint(0, QApplication::startDragDistance() + 4));
  QTest::mouseRelease(view, Qt::LeftButton, {}, press + QPoint(0, 20));
  QVERIFY(ran);
  QCOMPARE(memo()->toPlainText(), after);
  QCOMPARE(memo()->SelectedText(), from.line == 0 ? QStringLiteral("10") : QStringLiteral("20"));
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("10\n20\n30"));
}

void ListInputTest::dragToAnotherProgramMovesTheText() {
  memo()->setPlainText("10\n20");
  memo()->SetSelection({1, 0}, {1, 2});
  QString carried;
  memo()->RunDrag = [&](QDrag& drag) {
    carried = drag.mimeData()->text();
    return Qt::MoveAction;
  };
  QWidget* view = memo()->viewport();
  QTest::mousePress(view, Qt::LeftButton, {}, PointAt(1, 4));
  QTest::mouseMove(view, PointAt(1, 4) + QPoint(QApplication::startDragDistance() + 4, 0));
  QTest::mouseRelease(view, Qt::LeftButton, {}, PointAt(1, 40));
  QCOMPARE(carried, QStringLiteral("20"));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("10\n"));
  memo()->undo();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("10\n20"));
}

void ListInputTest::keyboardSelectionBecomesThePrimarySelection() {
  if (!QApplication::clipboard()->supportsSelection()) {
    QSKIP("this platform has no primary selection");
  }
  memo()->setPlainText("10\n20");
  QTest::keyClick(memo(), Qt::Key_End, Qt::ShiftModifier);
  QTRY_COMPARE(QApplication::clipboard()->text(QClipboard::Selection), QStringLiteral("10"));
  QTest::keyClick(memo(), Qt::Key_A, Qt::ControlModifier);
  QTRY_COMPARE(QApplication::clipboard()->text(QClipboard::Selection), QStringLiteral("10\n20"));
}

QTEST_MAIN(ListInputTest)
#include "list_input_test.moc"
