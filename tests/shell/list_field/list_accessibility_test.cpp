// The list as a screen reader reads it: through the accessible interface that Qt hands out for
// it, as an editable multi-line text with UTF-16 offsets, and through the events it sends.

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "form1.h"
#include "measurement_edit.h"
#include "window_harness.h"

namespace {

// What a screen reader heard of one event of the list.
struct Heard {
  QAccessible::Event type;
  int position = -1;  // caret, selection start or where text changed
  int end = -1;       // selection end
  QString removed;
  QString inserted;
  bool operator==(const Heard&) const = default;
};

std::vector<Heard>* heard = nullptr;  // while a test listens
QObject* speaker = nullptr;

void Listen(QAccessibleEvent* event) {
  if (!heard || event->object() != speaker) return;
  Heard h{event->type()};
  switch (event->type()) {
    case QAccessible::TextCaretMoved:
      h.position = static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition();
      break;
    case QAccessible::TextSelectionChanged: {
      auto* selection = static_cast<QAccessibleTextSelectionEvent*>(event);
      h.position = selection->selectionStart();
      h.end = selection->selectionEnd();
      break;
    }
    case QAccessible::TextInserted: {
      auto* insert = static_cast<QAccessibleTextInsertEvent*>(event);
      h.position = insert->changePosition();
      h.inserted = insert->textInserted();
      break;
    }
    case QAccessible::TextRemoved: {
      auto* remove = static_cast<QAccessibleTextRemoveEvent*>(event);
      h.position = remove->changePosition();
      h.removed = remove->textRemoved();
      break;
    }
    case QAccessible::TextUpdated: {
      auto* update = static_cast<QAccessibleTextUpdateEvent*>(event);
      h.position = update->changePosition();
      h.removed = update->textRemoved();
      h.inserted = update->textInserted();
      break;
    }
    default:
      return;
  }
  heard->push_back(h);
}

std::vector<Heard> Only(const std::vector<Heard>& all, QAccessible::Event type) {
  std::vector<Heard> some;
  for (const Heard& h : all) {
    if (h.type == type) some.push_back(h);
  }
  return some;
}

}  // namespace

char* toString(const Heard& h) {
  return QTest::toString(QStringLiteral("event %1 at %2..%3 removed \"%4\" inserted \"%5\"")
                             .arg(int(h.type))
                             .arg(h.position)
                             .arg(h.end)
                             .arg(h.removed, h.inserted));
}

class ListAccessibilityTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void isAnEditableMultiLineText();
  void descriptionIsTheWidgets();
  void readsTextByOffset_data();
  void readsTextByOffset();
  void caretOffsetFollowsTypedKeys();
  void caretAndSelectionAreSetThroughTheInterface();
  void rejectedLineIsSelectedAndAnnounced();
  void insertThroughTheInterfaceUndoesWithCtrlZ();
  void everyChangeIsTold();
  void characterRectsAndPointsAgree();
  void scrollingBringsARangeIntoView();
  void millionLinesAnswerQuickly();

 private:
  MeasurementEdit* memo() { return FindControl<MeasurementEdit>(*window_, "Memo1"); }
  QAccessibleInterface* Accessible() { return QAccessible::queryAccessibleInterface(memo()); }
  QAccessibleTextInterface* Text() { return Accessible()->textInterface(); }

  std::unique_ptr<TForm1> window_;
  QStringList errors_;
  std::vector<Heard> heard_;
};

void ListAccessibilityTest::initTestCase() {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void ListAccessibilityTest::init() {
  window_ = OpenWindow(errors_);
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  speaker = memo();
  heard_.clear();
  heard = &heard_;
  // Without a screen reader on the bus Qt drops every event; the list hands them here instead.
  memo()->Announce = [](QAccessibleEvent& event) { Listen(&event); };
}

void ListAccessibilityTest::cleanup() {
  heard = nullptr;
  speaker = nullptr;
  CloseWindow(window_);
}

void ListAccessibilityTest::isAnEditableMultiLineText() {
  memo()->setFocus();
  QAccessibleInterface* accessible = Accessible();
  QVERIFY(accessible);
  QCOMPARE(accessible->role(), QAccessible::EditableText);
  QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Messwerte"));
  const QAccessible::State state = accessible->state();
  QVERIFY(state.editable);
  QVERIFY(state.multiLine);
  QVERIFY(state.focusable);
  QVERIFY(state.focused);
  QVERIFY(state.selectableText);
  QVERIFY(!state.readOnly);
  QVERIFY(accessible->textInterface());
  QVERIFY(accessible->editableTextInterface());
  for (int k = 0; k < accessible->childCount(); ++k) {
    QVERIFY(accessible->child(k)->object() != memo()->viewport());
    QCOMPARE(accessible->indexOfChild(accessible->child(k)), k);
  }
}

void ListAccessibilityTest::descriptionIsTheWidgets() {
  memo()->setAccessibleDescription(QStringLiteral("3 Messwerte, Ende in Zeile 4"));
  QCOMPARE(Accessible()->text(QAccessible::Description),
           QStringLiteral("3 Messwerte, Ende in Zeile 4"));
}

// "10\n2,5\n😀7": the emoji takes two UTF-16 units, 7 and 8.
void ListAccessibilityTest::readsTextByOffset_data() {
  QTest::addColumn<int>("side");  // -1 before, 0 at, 1 after
  QTest::addColumn<QAccessible::TextBoundaryType>("boundary");
  QTest::addColumn<int>("offset");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("start");
  const auto row = [](const char* name, int side, QAccessible::TextBoundaryType boundary,
                      int offset, const QString& text, int start) {
    QTest::newRow(name) << side << boundary << offset << text << start;
  };
  row("first line", 0, QAccessible::LineBoundary, 0, "10\n", 0);
  row("line from its break", 0, QAccessible::LineBoundary, 2, "10\n", 0);
  row("middle line", 0, QAccessible::LineBoundary, 4, "2,5\n", 3);
  row("last line at the end", 0, QAccessible::LineBoundary, 10, QString::fromUtf8("😀7"), 7);
  row("paragraph is the line", 0, QAccessible::ParagraphBoundary, 5, "2,5\n", 3);
  row("line before", -1, QAccessible::LineBoundary, 4, "10\n", 0);
  row("no line before the first", -1, QAccessible::LineBoundary, 1, "", -1);
  row("line after", 1, QAccessible::LineBoundary, 4, QString::fromUtf8("😀7"), 7);
  row("no line after the last", 1, QAccessible::LineBoundary, 8, "", -1);
  row("character beyond the BMP", 0, QAccessible::CharBoundary, 7, QString::fromUtf8("😀"), 7);
  row("line break as a character", 0, QAccessible::CharBoundary, 2, "\n", 2);
  row("character before a line's start", -1, QAccessible::CharBoundary, 3, "\n", 2);
  row("character after a line's end", 1, QAccessible::CharBoundary, 2, "2", 3);
  row("no character at the end", 0, QAccessible::CharBoundary, 10, "", -1);
  row("number as a word", 0, QAccessible::WordBoundary, 4, "2,5", 3);
  row("word in the line before", -1, QAccessible::WordBoundary, 3, "\n", 2);
  row("sentence ends at the break", 0, QAccessible::SentenceBoundary, 1, "10\n", 0);
  row("whole text", 0, QAccessible::NoBoundary, 5, QString::fromUtf8("10\n2,5\n😀7"), 0);
}

void ListAccessibilityTest::readsTextByOffset() {
  QFETCH(int, side);
  QFETCH(QAccessible::TextBoundaryType, boundary);
  QFETCH(int, offset);
  QFETCH(QString, text);
  QFETCH(int, start);
  memo()->setPlainText(QString::fromUtf8("10\n2,5\n😀7"));
  QAccessibleTextInterface* accessible = Text();
  QCOMPARE(accessible->characterCount(), 10);
  int from = -2;
  int to = -2;
  const QString read = side < 0   ? accessible->textBeforeOffset(offset, boundary, &from, &to)
                       : side > 0 ? accessible->textAfterOffset(offset, boundary, &from, &to)
                                  : accessible->textAtOffset(offset, boundary, &from, &to);
  QCOMPARE(read, text);
  QCOMPARE(from, start);
  QCOMPARE(to, start < 0 ? -1 : start + static_cast<int>(text.size()));
  if (start >= 0) QCOMPARE(accessible->text(from, to), text);
}

void ListAccessibilityTest::caretOffsetFollowsTypedKeys() {
  memo()->setPlainText("10\n20");
  memo()->setFocus();
  QTest::keyClick(memo(), Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(Text()->cursorPosition(), 5);
  QTest::keyClicks(memo(), "5");
  QCOMPARE(Text()->cursorPosition(), 6);
  QTest::keyClick(memo(), Qt::Key_Up);
  QCOMPARE(Text()->cursorPosition(), 2);
  QTest::keyClick(memo(), Qt::Key_Home);
  QCOMPARE(Text()->cursorPosition(), 0);
  QTest::keyClick(memo(), Qt::Key_Down, Qt::ShiftModifier);
  int start = -1;
  int end = -1;
  Text()->selection(0, &start, &end);
  QCOMPARE(Text()->selectionCount(), 1);
  QCOMPARE(start, 0);
  QCOMPARE(end, 3);
  const std::vector<Heard> carets = Only(heard_, QAccessible::TextCaretMoved);
  QVERIFY(!carets.empty());
  QCOMPARE(carets.back().position, 3);
  QCOMPARE(Only(heard_, QAccessible::TextSelectionChanged).back(),
           (Heard{QAccessible::TextSelectionChanged, 0, 3}));
}

void ListAccessibilityTest::caretAndSelectionAreSetThroughTheInterface() {
  memo()->setPlainText("10\n20\n30");
  Text()->setCursorPosition(4);
  QCOMPARE(memo()->CursorPosition(), (TextPosition{1, 1}));
  Text()->setSelection(0, 3, 8);
  QCOMPARE(memo()->SelectedText(), QStringLiteral("20\n30"));
  Text()->addSelection(0, 1);
  QCOMPARE(memo()->SelectedText(), QStringLiteral("1"));
  Text()->removeSelection(0);
  QCOMPARE(Text()->selectionCount(), 0);
  Text()->setCursorPosition(1000);
  QCOMPARE(Text()->cursorPosition(), 8);
}

void ListAccessibilityTest::rejectedLineIsSelectedAndAnnounced() {
  memo()->setPlainText("1\nx\n3");
  heard_.clear();
  QTest::mouseClick(FindControl<QPushButton>(*window_, "btnMittelwert"), Qt::LeftButton);
  QCOMPARE(errors_.size(), 1);
  int start = -1;
  int end = -1;
  QCOMPARE(Text()->selectionCount(), 1);
  Text()->selection(0, &start, &end);
  QCOMPARE(Text()->text(start, end), QStringLiteral("x"));
  const std::vector<Heard> selections = Only(heard_, QAccessible::TextSelectionChanged);
  QCOMPARE(selections.size(), std::size_t{1});
  QCOMPARE(selections.front(), (Heard{QAccessible::TextSelectionChanged, 2, 3}));
}

void ListAccessibilityTest::insertThroughTheInterfaceUndoesWithCtrlZ() {
  memo()->setPlainText("10\n20");
  memo()->setFocus();
  QAccessibleEditableTextInterface* editable = Accessible()->editableTextInterface();
  editable->insertText(5, "5\n30");
  QCOMPARE(memo()->toPlainText(), QStringLiteral("10\n205\n30"));
  QCOMPARE(Text()->cursorPosition(), 9);
  editable->deleteText(0, 3);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("205\n30"));
  editable->replaceText(4, 6, "4,5");
  QCOMPARE(memo()->toPlainText(), QStringLiteral("205\n4,5"));
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("205\n30"));
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("10\n20"));
}

// Typing, undo, redo, paste, the reset and a whole new text, each as the text that changed.
void ListAccessibilityTest::everyChangeIsTold() {
  const auto changes = [this] {
    std::vector<Heard> some;
    for (const Heard& h : heard_) {
      if (h.type == QAccessible::TextInserted || h.type == QAccessible::TextRemoved ||
          h.type == QAccessible::TextUpdated) {
        some.push_back(h);
      }
    }
    heard_.clear();
    return some;
  };
  const auto inserted = [](int at, const QString& text) {
    return std::vector<Heard>{{QAccessible::TextInserted, at, -1, {}, text}};
  };
  memo()->setPlainText("10\n20");
  QCOMPARE(changes(), inserted(0, "10\n20"));
  memo()->setFocus();
  QTest::keyClick(memo(), Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(memo(), "5");
  QCOMPARE(changes(), inserted(5, "5"));
  QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(changes(), (std::vector<Heard>{{QAccessible::TextRemoved, 5, -1, "5", {}}}));
  memo()->redo();
  QCOMPARE(changes(), inserted(5, "5"));
  memo()->InsertText(QString::fromUtf8("\n😀7"));
  QCOMPARE(changes(), inserted(6, QString::fromUtf8("\n😀7")));
  QTest::keyClick(memo(), Qt::Key_Backspace);
  QCOMPARE(changes(), (std::vector<Heard>{{QAccessible::TextRemoved, 9, -1, "7", {}}}));
  QTest::keyClick(memo(), Qt::Key_Return);
  QCOMPARE(changes(), inserted(9, "\n"));
  QTest::mouseClick(FindControl<QPushButton>(*window_, "btnMemoReset"), Qt::LeftButton);
  const QString after = memo()->toPlainText();
  const std::vector<Heard> reset = changes();
  QCOMPARE(reset.size(), std::size_t{1});
  QCOMPARE(Text()->text(0, Text()->characterCount()), after);
  memo()->undo();
  QCOMPARE(Text()->text(0, Text()->characterCount()), QString::fromUtf8("10\n205\n😀\n"));
  const std::vector<Heard> undone = changes();
  QCOMPARE(undone.size(), std::size_t{1});
  QCOMPARE(undone.front().removed, reset.front().inserted);
  QCOMPARE(undone.front().inserted, reset.front().removed);

  // A long line is edited where it stands, and each key is told as on a short one.
  memo()->setPlainText(QString::fromUtf8("€") + QString(5000, QLatin1Char('7')) +
                       QStringLiteral("\n1"));
  changes();
  memo()->SetSelection({0, 2003}, {0, 2003});
  QTest::keyClicks(memo(), "ab");
  QCOMPARE(changes(), (std::vector<Heard>{{QAccessible::TextInserted, 2001, -1, {}, "a"},
                                          {QAccessible::TextInserted, 2002, -1, {}, "b"}}));
  QTest::keyClick(memo(), Qt::Key_Backspace);
  QCOMPARE(changes(), (std::vector<Heard>{{QAccessible::TextRemoved, 2002, -1, "b", {}}}));
  memo()->undo();
  QCOMPARE(changes(), inserted(2002, "b"));
  memo()->undo();
  QCOMPARE(changes(), (std::vector<Heard>{{QAccessible::TextRemoved, 2001, -1, "ab", {}}}));
  QCOMPARE(Text()->text(5000, 5003), QStringLiteral("7\n1"));
}

void ListAccessibilityTest::characterRectsAndPointsAgree() {
  memo()->setPlainText("10\n20\n30");
  for (int offset : {0, 1, 4, 7}) {
    const QRect rect = Text()->characterRect(offset);
    QVERIFY2(rect.width() > 0 && rect.height() > 0, qPrintable(QString::number(offset)));
    QCOMPARE(Text()->offsetAtPoint(rect.center() - QPoint(rect.width() / 4, 0)), offset);
  }
  QCOMPARE(Text()->offsetAtPoint(memo()->mapToGlobal(QPoint(-50, -50))), -1);
  QVERIFY(Text()->characterRect(3).y() > Text()->characterRect(0).y());
}

void ListAccessibilityTest::scrollingBringsARangeIntoView() {
  QStringList lines;
  for (int i = 0; i < 300; ++i) lines << QString::number(1000 + i);
  memo()->setPlainText(lines.join(u'\n'));
  const int line = 250;
  const int offset = line * 5;
  QCOMPARE(Text()->text(offset, offset + 4), QStringLiteral("1250"));
  QVERIFY(!memo()->viewport()->rect().contains(memo()->LineRect(line)));
  Text()->scrollToSubstring(offset, offset + 4);
  QVERIFY(memo()->viewport()->rect().contains(memo()->LineRect(line)));
  QCOMPARE(Text()->cursorPosition(), 0);  // the caret stays where it was
  const QRect rect = Text()->characterRect(offset);
  QCOMPARE(Text()->offsetAtPoint(rect.center()), offset);
}

// The last line read by offset and the caret moved to the end, on a million lines: first right
// after the whole text was set, then after an edit of the last line, as a screen reader follows
// typing. The figures are printed for the benchmark notes.
void ListAccessibilityTest::millionLinesAnswerQuickly() {
  std::string lines;
  for (int i = 0; i < 1'000'000; ++i) (lines += std::to_string(100 + i % 997)) += ",25\n";
  lines += "999,5";
  memo()->setPlainText(QString::fromStdString(lines));
  QAccessibleTextInterface* text = Text();
  const auto read_last = [&](const QString& expected) {
    QElapsedTimer timer;
    timer.start();
    const int count = text->characterCount();
    int start = -1;
    int end = -1;
    const QString last = text->textAtOffset(count - 1, QAccessible::LineBoundary, &start, &end);
    const qint64 ns = timer.nsecsElapsed();
    if (last != expected || end != count) qWarning("read %s", qPrintable(last));
    return last == expected && end == count ? ns : -1;
  };
  const auto caret_to_end = [&] {
    QElapsedTimer timer;
    timer.start();
    text->setCursorPosition(text->characterCount());
    const qint64 ns = timer.nsecsElapsed();
    return memo()->CursorPosition() == memo()->model().End() ? ns : -1;
  };
  const qint64 first_read = read_last("999,5");
  const qint64 first_move = caret_to_end();
  QVERIFY(first_read >= 0 && first_move >= 0);
  QCOMPARE(memo()->CursorPosition(), (TextPosition{1'000'000, 5}));

  memo()->setFocus();
  QTest::keyClicks(memo(), "1");
  text->setCursorPosition(0);
  const qint64 read = read_last("999,51");
  const qint64 move = caret_to_end();
  QVERIFY(read >= 0 && move >= 0);
  qInfo(
      "million lines, after the text was set: last line read in %.2f ms, caret to the end in "
      "%.2f ms",
      first_read / 1e6, first_move / 1e6);
  qInfo(
      "million lines, after typing on the last line: last line read in %.3f ms, caret to the "
      "end in %.3f ms",
      read / 1e6, move / 1e6);
  QVERIFY2(read < 10'000'000, "reading the last line took 10 ms or more");
  QVERIFY2(move < 10'000'000, "moving the caret to the end took 10 ms or more");
  QVERIFY2(first_read < 2'000'000'000, "the first read took two seconds or more");
}

QTEST_MAIN(ListAccessibilityTest)
#include "list_accessibility_test.moc"
