// One long line in the list: it is drawn, typed in and scrolled in the time of a short one, it
// shows its beginning as a short line would, the caret moves and is placed across the pieces it
// is laid out in, places far into it are reached without measuring it up to them and stand
// exactly where the line is in view, and an input method sees only the stretch about the caret.

#include <QApplication>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QtTest>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "form1.h"
#include "measurement_edit.h"
#include "window_harness.h"

namespace {

// Values parted by blanks, as a series pasted without its line breaks.
QString Values(int bytes) {
  std::string line;
  line.reserve(static_cast<std::size_t>(bytes));
  while (line.size() < static_cast<std::size_t>(bytes)) line += "1234,5678 ";
  line.resize(static_cast<std::size_t>(bytes));
  return QString::fromStdString(line);
}

// The slowest of a few runs, in milliseconds.
template <class Action>
double Slowest(Action action) {
  double slowest = 0;
  for (int run = 0; run < 5; ++run) {
    QElapsedTimer timer;
    timer.start();
    action();
    slowest = std::max(slowest, timer.nsecsElapsed() / 1e6);
  }
  return slowest;
}

}  // namespace

class ListLongLineTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
  void init();
  void cleanup() { CloseWindow(window_); }

  void keyAndPaintTakeNoLongerThanOnAShortLine();
  void theBeginningLooksAsOnAShortLine();
  void caretCrossesThePieces_data();
  void caretCrossesThePieces();
  void inputMethodSeesTheStretchAroundTheCaret_data();
  void inputMethodSeesTheStretchAroundTheCaret();
  void farPlacesStandExactlyInView_data();
  void farPlacesStandExactlyInView();
  void endTakesNoLongerOnALongerLine();
  void farPlacesStayWhenOtherLinesChange();

 private:
  MeasurementEdit* memo() { return FindControl<MeasurementEdit>(*window_, "Memo1"); }

  std::unique_ptr<TForm1> window_;
  QStringList errors_;
};

void ListLongLineTest::init() {
  window_ = OpenWindow(errors_);
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  memo()->setFocus();
}

// A frame takes 16 ms; a loaded machine with two cores may take several times as long for
// anything, while laying out the whole line took over half a second.
void ListLongLineTest::keyAndPaintTakeNoLongerThanOnAShortLine() {
  constexpr double kBound = 100;
  memo()->setPlainText(Values(1'000'000));
  QWidget* view = memo()->viewport();
  view->repaint();
  const double paint = Slowest([&] { view->repaint(); });
  const double key = Slowest([&] {
    QTest::keyClick(memo(), Qt::Key_7);
    view->repaint();
  });
  const double scroll = Slowest([&] {
    memo()->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    view->repaint();
  });
  std::printf("1 MB line, slowest of 5: paint %.2f ms, key %.2f ms, scroll %.2f ms\n", paint, key,
              scroll);
  QVERIFY2(paint < kBound, qPrintable(QString::number(paint)));
  QVERIFY2(key < kBound, qPrintable(QString::number(key)));
  QVERIFY2(scroll < kBound, qPrintable(QString::number(scroll)));
  QVERIFY(memo()->toPlainText().startsWith(QStringLiteral("77777")));
}

void ListLongLineTest::theBeginningLooksAsOnAShortLine() {
  const QString line = Values(2'000'000);
  memo()->setPlainText({});
  const QImage empty = memo()->viewport()->grab().toImage();
  memo()->setPlainText(line.left(300));
  const QImage short_line = memo()->viewport()->grab().toImage();
  QVERIFY(short_line != empty);
  memo()->setPlainText(line);
  QCOMPARE(memo()->viewport()->grab().toImage(), short_line);
}

void ListLongLineTest::caretCrossesThePieces_data() {
  QTest::addColumn<int>("column");
  QTest::newRow("start") << 0;
  // The first cut is after the blank nearest before 1024 bytes.
  QTest::newRow("before the first cut") << 1018;
  QTest::newRow("at the first cut") << 1020;
  QTest::newRow("far in") << 654'321;
  QTest::newRow("before the end") << 999'997;
}

// Three steps right and back land where they started; the place of each character, clicked,
// gives its position back; a key typed there draws the line as it would be drawn anew.
void ListLongLineTest::caretCrossesThePieces() {
  QFETCH(int, column);
  memo()->setPlainText(Values(1'000'000));
  memo()->SetSelection({0, column}, {0, column});
  for (int step = 1; step <= 3; ++step) {
    const TextPosition at = memo()->CursorPosition();
    const QRect character = memo()->CharacterRect(at);
    QCOMPARE(memo()->PositionAt({character.left() + 1, character.center().y()}), at);
    QTest::keyClick(memo(), Qt::Key_Right);
    QCOMPARE(memo()->CursorPosition(), (TextPosition{0, column + step}));
  }
  for (int step = 0; step < 3; ++step) QTest::keyClick(memo(), Qt::Key_Left);
  QCOMPARE(memo()->CursorPosition(), (TextPosition{0, column}));

  // Typed into, the line keeps what it measured before the key and looks as if it were new;
  // undone, as it was.
  const QImage before = memo()->viewport()->grab().toImage();
  QTest::keyClick(memo(), Qt::Key_X);
  const QImage typed = memo()->viewport()->grab().toImage();
  memo()->undo();
  QCOMPARE(memo()->viewport()->grab().toImage(), before);
  memo()->redo();
  QCOMPARE(memo()->viewport()->grab().toImage(), typed);
  const int scrolled = memo()->horizontalScrollBar()->value();
  const QString text = memo()->toPlainText();
  memo()->setPlainText({});
  memo()->setPlainText(text);
  memo()->SetSelection({0, column + 1}, {0, column + 1});
  memo()->horizontalScrollBar()->setValue(scrolled);
  QCOMPARE(memo()->horizontalScrollBar()->value(), scrolled);
  QCOMPARE(memo()->viewport()->grab().toImage(), typed);
}

void ListLongLineTest::inputMethodSeesTheStretchAroundTheCaret_data() {
  QTest::addColumn<int>("column");
  QTest::addColumn<int>("before");  // UTF-16 units of the stretch before the caret
  QTest::addColumn<int>("length");
  QTest::newRow("middle") << 500'000 << 1024 << 2048;
  QTest::newRow("near the start") << 100 << 100 << 1124;
  QTest::newRow("near the end") << 999'990 << 1024 << 1034;
}

// A line too long to hand over at each key shows the input method the stretch about the caret,
// and the selection it asks for counts from the stretch's start.
void ListLongLineTest::inputMethodSeesTheStretchAroundTheCaret() {
  QFETCH(int, column);
  QFETCH(int, before);
  QFETCH(int, length);
  const QString line = Values(1'000'000);
  memo()->setPlainText(line);
  memo()->SetSelection({0, column}, {0, column});
  auto* widget = static_cast<QWidget*>(memo());
  QCOMPARE(widget->inputMethodQuery(Qt::ImCursorPosition).toInt(), before);
  QCOMPARE(widget->inputMethodQuery(Qt::ImSurroundingText).toString(),
           line.mid(column - before, length));
  QInputMethodEvent select({}, {{QInputMethodEvent::Selection, before + 2, 3, {}}});
  QApplication::sendEvent(memo(), &select);
  QCOMPARE(memo()->SelectedText(), line.mid(column + 2, 3));
}

void ListLongLineTest::farPlacesStandExactlyInView_data() {
  QTest::addColumn<QString>("first");  // repeated to the line's first 1.5 megabytes
  QTest::addColumn<QString>("unit");   // repeated to three megabytes after them
  QTest::addColumn<QString>("family");
  QTest::addColumn<QString>("reach");
  QTest::addColumn<int>("back");  // units back from the place reached
  const QString values = QStringLiteral("1234,5678 ");
  const QString signs = QStringLiteral("Größe 12,5 µm ± 0,3 Ω; ");
  const QString wide = QStringLiteral("測定値 7,25 ");
  const QString narrow = QStringLiteral("1 ");
  QTest::newRow("values, End") << values << values << "DejaVu Sans" << "End" << 0;
  QTest::newRow("values, End, past what End measured")
      << values << values << "DejaVu Sans" << "End" << 1700;
  QTest::newRow("values, Ctrl+End") << values << values << "Liberation Serif" << "Ctrl+End" << 3;
  QTest::newRow("signs, End") << signs << signs << "DejaVu Sans" << "End" << 0;
  QTest::newRow("signs, End, past what End measured")
      << signs << signs << "Liberation Sans" << "End" << 800;
  // What End estimates from the line's start is far too narrow for its end.
  QTest::newRow("narrow, then wide, End") << narrow << wide << "DejaVu Sans" << "End" << 0;
  QTest::newRow("narrow, then wide, End, past what End measured")
      << narrow << wide << "DejaVu Sans" << "End" << 1500;
  QTest::newRow("values, scroll bar to its end")
      << values << values << "DejaVu Sans" << "scroll end" << 0;
  QTest::newRow("signs, scroll bar to the middle")
      << signs << signs << "DejaVu Sans" << "scroll middle" << 0;
}

// A place far into a line is reached without measuring the line up to it, yet where the line is
// in view, the caret stands on the edge of each character as the font puts it, a click on a
// character gives its position, and the place stays where it is when the caret goes away and
// comes back and when a key is typed after it.
void ListLongLineTest::farPlacesStandExactlyInView() {
  QFETCH(QString, first);
  QFETCH(QString, unit);
  QFETCH(QString, family);
  QFETCH(QString, reach);
  QFETCH(int, back);
  const QFont font(family, 11);
  memo()->setFont(font);
  const QString start = first.repeated(1'500'000 / static_cast<int>(first.toUtf8().size()));
  const auto start_bytes = static_cast<int>(start.toUtf8().size());
  const auto unit_bytes = static_cast<int>(unit.toUtf8().size());
  const int count = 3'000'000 / unit_bytes;
  const int size = start_bytes + count * unit_bytes;
  memo()->setPlainText(start + unit.repeated(count));
  QWidget* view = memo()->viewport();
  view->repaint();
  QScrollBar* horizontal = memo()->horizontalScrollBar();
  if (reach == "End") {
    QTest::keyClick(memo(), Qt::Key_End);
  } else if (reach == "Ctrl+End") {
    QTest::keyClick(memo(), Qt::Key_End, Qt::ControlModifier);
  } else {
    horizontal->setValue(reach == "scroll end" ? horizontal->maximum() : horizontal->maximum() / 2);
    view->repaint();
    QTest::mouseClick(view, Qt::LeftButton, {}, view->rect().center());
  }
  const int reached = memo()->CursorPosition().column;
  QVERIFY(reached > start_bytes);
  QVERIFY(view->rect().contains(memo()->CharacterRect(memo()->CursorPosition()).topLeft()));

  // A stretch of whole units, long enough to be cut in pieces, that ends where the caret is put.
  const int end = reached - (reached - start_bytes) % unit_bytes - back * unit_bytes;
  const int units = 1100 / unit_bytes + 1;
  memo()->SetSelection({0, end}, {0, end});
  const auto line_x = [&](int at) {
    return memo()->CharacterRect({0, at}).x() + horizontal->value();
  };
  const int caret = line_x(end);
  const qreal exact = QFontMetricsF(font).horizontalAdvance(unit.repeated(units));
  const int wide = caret - line_x(end - units * unit_bytes);
  QVERIFY2(std::abs(wide - exact) <= 2,
           qPrintable(QStringLiteral("%1 wide, %2 exact").arg(wide).arg(exact)));

  // Each character about the caret in view, clicked, gives its position.
  int clicked = 0;
  int column = end - unit_bytes;
  for (const QChar character : unit + unit) {
    if (column >= size) break;
    const QRect rect = memo()->CharacterRect({0, column});
    if (view->rect().contains(rect.center())) {
      QCOMPARE(memo()->PositionAt({rect.left() + 1, rect.center().y()}),
               (TextPosition{0, column}));
      ++clicked;
    }
    column += static_cast<int>(QString(character).toUtf8().size());
  }
  QVERIFY(clicked >= 8);
  // Across a piece with the keys and back, and to the line's start and back.
  for (int step = 0; step < units * 2; ++step) QTest::keyClick(memo(), Qt::Key_Left);
  for (int step = 0; step < units * 2; ++step) QTest::keyClick(memo(), Qt::Key_Right);
  QCOMPARE(memo()->CursorPosition(), (TextPosition{0, end}));
  QCOMPARE(line_x(end), caret);
  QTest::keyClick(memo(), Qt::Key_Home);
  QCOMPARE(horizontal->value(), 0);
  QTest::keyClick(memo(), Qt::Key_End);
  QCOMPARE(line_x(end), caret);
  // A key typed at the end leaves what comes before it in its place.
  QTest::keyClick(memo(), Qt::Key_7);
  QCOMPARE(line_x(end), caret);
  // An input method composes there with its caret inside its text, and the text it commits
  // stands there.
  auto* widget = static_cast<QWidget*>(memo());
  const auto composing_x = [&] {
    return widget->inputMethodQuery(Qt::ImCursorRectangle).toRect().x() -
           view->geometry().x() + horizontal->value();
  };
  const int before = composing_x();
  QInputMethodEvent compose(QStringLiteral("äW"), {{QInputMethodEvent::Cursor, 1, 1, {}}});
  QApplication::sendEvent(memo(), &compose);
  QVERIFY(std::abs(composing_x() - before - QFontMetricsF(font).horizontalAdvance(
                                                 QStringLiteral("ä"))) <= 1);
  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("äW"));
  QApplication::sendEvent(memo(), &commit);
  QCOMPARE(memo()->SelectedText(), QString());
  QCOMPARE(memo()->CursorPosition(), (TextPosition{0, size + 4}));
  QCOMPARE(line_x(end), caret);
}

// End measures the line where it ends, not up to there: on a line sixteen times as long it
// takes about as long, where measuring the line took sixteen times as long, and on a line of
// text that is laid out to be measured it takes a few milliseconds more, where measuring a
// megabyte of it took 145 ms.
void ListLongLineTest::endTakesNoLongerOnALongerLine() {
  const auto fastest_end = [&](const QString& line) {
    memo()->setPlainText(line);
    double fastest = 1e9;
    for (int run = 0; run < 7; ++run) {
      // A key at the start sends away what was measured after it.
      memo()->SetSelection({}, {});
      QTest::keyClick(memo(), Qt::Key_7);
      memo()->viewport()->repaint();
      QElapsedTimer timer;
      timer.start();
      QTest::keyClick(memo(), Qt::Key_End);
      memo()->viewport()->repaint();
      fastest = std::min(fastest, timer.nsecsElapsed() / 1e6);
    }
    return fastest;
  };
  const double shorter = fastest_end(Values(2'000'000));
  const double longer = fastest_end(Values(32'000'000));
  const double signs = fastest_end(QStringLiteral("Größe 12,5 µm ± 0,3 Ω; ").repeated(35'000));
  // Measuring the line up to its end took 23 ms for 32 MB and 1.5 ms for 2 MB.
  QVERIFY2(longer < 4 * shorter + 3, qPrintable(QString::number(longer)));
  QVERIFY2(signs < 4 * shorter + 15, qPrintable(QString::number(signs)));
}

// A line broken above a long line leaves the places estimated far into it where they were.
void ListLongLineTest::farPlacesStayWhenOtherLinesChange() {
  // Measured into its wide part before End, the line's end is estimated from both of its parts,
  // where measuring its start alone would find it much nearer.
  const QString line =
      QStringLiteral("ii ").repeated(150'000) + QStringLiteral("WWWW ").repeated(600'000);
  memo()->setPlainText(QStringLiteral("1\n") + line);
  const auto size = static_cast<int>(line.toUtf8().size());
  memo()->SetSelection({1, 900'000}, {1, 900'000});
  QTest::keyClick(memo(), Qt::Key_End);
  QScrollBar* horizontal = memo()->horizontalScrollBar();
  const auto line_x = [&](TextPosition at) {
    return memo()->CharacterRect(at).x() + horizontal->value();
  };
  const int end = line_x({1, size});
  memo()->SetSelection({0, 1}, {0, 1});
  QTest::keyClick(memo(), Qt::Key_Return);
  QCOMPARE(line_x({2, size}), end);
}

QTEST_MAIN(ListLongLineTest)
#include "list_long_line_test.moc"
