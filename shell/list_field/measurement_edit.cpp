#include "measurement_edit.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextCharFormat>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <cmath>

#include "list_keys.h"
#include "measurement_edit_accessible.h"

namespace {

constexpr int kMargin = 4;  // between the frame and the text

using Merge = ListModel::Merge;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Text from other programs may end its lines with CR LF, CR or Unicode's line and paragraph
// separators; each of them is one line break here, so pasted values do not gain empty lines
// between them. A pasted series can have a million lines: text without any of them stays as it
// is.
QByteArray AsLines(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  const auto end = utf8.cend();
  if (std::find_if(utf8.cbegin(), end, [](char c) { return c == '\r' || c == '\xe2'; }) == end) {
    return utf8;
  }
  const auto lines = messwerte::SplitLines(
      {utf8.constData(), static_cast<std::size_t>(utf8.size())}, messwerte::LineBreaks::kUnicode);
  QByteArray joined;
  joined.reserve(utf8.size());
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (k > 0) joined += '\n';
    joined.append(lines[k].data(), static_cast<qsizetype>(lines[k].size()));
  }
  return joined;
}

// Columns count bytes of UTF-8 in the buffer and UTF-16 units in Qt's layouts.
int Utf16Column(std::string_view line, int column) {
  return static_cast<int>(Utf16Units(line.substr(0, static_cast<std::size_t>(column))));
}

int ByteColumn(const QString& line, int utf16) {
  return static_cast<int>(line.left(utf16).toUtf8().size());
}

std::string_view View(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Typed text that goes into the list: printable characters and formatting marks, no controls.
bool IsTypedText(const QKeyEvent& event) {
  const QString text = event.text();
  if (text.isEmpty()) return false;
  if (event.modifiers() & Qt::ControlModifier && !(event.modifiers() & Qt::AltModifier)) {
    return false;
  }
  const char32_t first = text.toUcs4().value(0);
  return QChar::isPrint(first) || QChar::category(first) == QChar::Other_Format ||
         QChar::category(first) == QChar::Other_PrivateUse;
}

// The local files that dropped data carries.
QList<QUrl> LocalFiles(const QMimeData& data) {
  QList<QUrl> files;
  if (!data.hasUrls()) return files;
  for (const QUrl& url : data.urls()) {
    if (url.isLocalFile()) files << url;
  }
  return files;
}

struct KeyMove {
  QKeySequence::StandardKey key;
  int move;  // MeasurementEdit::Move, which is private
  bool select;
};

}  // namespace

MeasurementEdit::MeasurementEdit(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  verticalScrollBar()->setSingleStep(1);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  UpdateScrollBars();
  InstallMeasurementEditAccessibility();
  // Changes that come from elsewhere, such as the evaluation's, show at once.
  model_.SetListener([this](const LinesChanged& change) {
    series_end_.Changed(change.first);
    UpdateScrollBars();
    viewport()->update();
    AnnounceChange(change);
    emit textChanged();
  });
}

MeasurementEdit::~MeasurementEdit() = default;

void MeasurementEdit::SelectLine(int k) {
  if (k < 0 || k >= LineCount()) return;
  SetSelection({k, 0}, {k, static_cast<int>(model_.Line(k).size())});
}

QString MeasurementEdit::toPlainText() const { return FromUtf8(model_.Text()); }

void MeasurementEdit::setPlainText(const QString& text) {
  ClearPreedit();
  model_.SetText(View(AsLines(text)));
  horizontalScrollBar()->setValue(0);
  verticalScrollBar()->setValue(0);
  TextChanged();
}

QString MeasurementEdit::SelectedText() const {
  const ListModel::Selection& selection = model_.selection();
  return FromUtf8(model_.Text(selection.Start(), selection.End()));
}

void MeasurementEdit::SetSelection(TextPosition anchor, TextPosition cursor) {
  model_.Select(anchor, cursor);
  desired_x_ = -1;
  EnsureCursorVisible();
  RestartBlink();
  viewport()->update();
  CaretMoved();
}

void MeasurementEdit::InsertText(const QString& text) { Edit(View(AsLines(text))); }

void MeasurementEdit::undo() {
  ClearPreedit();
  model_.Undo();
  TextChanged();
}

void MeasurementEdit::redo() {
  ClearPreedit();
  model_.Redo();
  TextChanged();
}

void MeasurementEdit::cut() {
  copy();
  Edit({});
}

void MeasurementEdit::copy() const {
  if (!model_.selection().Empty()) QApplication::clipboard()->setText(SelectedText());
}

void MeasurementEdit::paste() {
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (data && data->hasText()) InsertText(data->text());
}

void MeasurementEdit::selectAll() { SetSelection({}, model_.End()); }

QString MeasurementEdit::LineText(int k) const { return FromUtf8(model_.Line(k)); }

// Line k laid out on one line without wrapping, at the origin.
std::unique_ptr<QTextLayout> MeasurementEdit::Layout(int k, bool preedit) const {
  auto layout = std::make_unique<QTextLayout>(LineText(k), font(), viewport());
  if (preedit && !preedit_.isEmpty() && k == CursorPosition().line) {
    layout->setPreeditArea(Utf16Column(model_.Line(k), CursorPosition().column), preedit_);
    layout->setFormats(preedit_formats_);
  }
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  layout->setTextOption(option);
  layout->setCacheEnabled(true);
  layout->beginLayout();
  QTextLine line = layout->createLine();
  line.setLineWidth(0);
  line.setPosition({0, 0});
  layout->endLayout();
  return layout;
}

// The font's full height, so that lines stand apart even where its leading is negative.
int MeasurementEdit::LineHeight() const {
  const QFontMetricsF metrics(font());
  return std::max(1,
                  static_cast<int>(std::ceil(std::max(metrics.height(), metrics.lineSpacing()))));
}

QRect MeasurementEdit::LineRect(int k) const {
  return {0, static_cast<int>(LineOrigin(k).y()), viewport()->width(), LineHeight()};
}

int MeasurementEdit::FirstVisibleLine() const { return verticalScrollBar()->value(); }

// Lines that fit into the view whole, at least one.
int MeasurementEdit::VisibleLines() const {
  return std::max(1, (viewport()->height() - 2 * kMargin) / LineHeight());
}

QPointF MeasurementEdit::LineOrigin(int k) const {
  return {static_cast<qreal>(kMargin - horizontalScrollBar()->value()),
          static_cast<qreal>(kMargin + (k - FirstVisibleLine()) * LineHeight())};
}

TextPosition MeasurementEdit::PositionAt(QPoint point) const {
  const int k = std::clamp(
      FirstVisibleLine() + (point.y() - kMargin) / LineHeight() - (point.y() < kMargin ? 1 : 0), 0,
      LineCount() - 1);
  const auto layout = Layout(k);
  const int utf16 = layout->lineAt(0).xToCursor(point.x() - LineOrigin(k).x());
  return {k, ByteColumn(layout->text(), utf16)};
}

QRect MeasurementEdit::CursorRect() const {
  if (preedit_.isEmpty()) return CaretRect(CursorPosition());
  const TextPosition cursor = CursorPosition();
  const auto layout = Layout(cursor.line, true);
  const int utf16 = Utf16Column(model_.Line(cursor.line), cursor.column) + preedit_cursor_;
  const QPointF origin = LineOrigin(cursor.line);
  const int x = static_cast<int>(origin.x() + layout->lineAt(0).cursorToX(utf16));
  return {x, static_cast<int>(origin.y()), 1, LineHeight()};
}

QRect MeasurementEdit::CaretRect(TextPosition position) const {
  const auto layout = Layout(position.line);
  const int utf16 = Utf16Column(model_.Line(position.line), position.column);
  const QPointF origin = LineOrigin(position.line);
  const int x = static_cast<int>(origin.x() + layout->lineAt(0).cursorToX(utf16));
  return {x, static_cast<int>(origin.y()), 1, LineHeight()};
}

// A line break is as wide as the selection paints it.
QRect MeasurementEdit::CharacterRect(TextPosition position) const {
  const auto layout = Layout(position.line);
  const QTextLine line = layout->lineAt(0);
  const int utf16 = Utf16Column(model_.Line(position.line), position.column);
  const QPointF origin = LineOrigin(position.line);
  const qreal left = line.cursorToX(utf16);
  const qreal right = utf16 < layout->text().size()
                          ? line.cursorToX(layout->nextCursorPosition(utf16))
                          : left + fontMetrics().averageCharWidth();
  return QRectF(origin.x() + std::min(left, right), origin.y(), std::abs(right - left),
                LineHeight())
      .toAlignedRect();
}

TextPosition MeasurementEdit::StepUtf16(TextPosition from, std::int64_t utf16) const {
  TextPosition at = model_.Clamp(from);
  while (utf16 != 0) {
    const QString line = LineText(at.line);
    const auto column = static_cast<std::int64_t>(Utf16Column(model_.Line(at.line), at.column));
    const std::int64_t target = column + utf16;
    if (target >= 0 && target <= line.size()) {
      // Never between the two halves of a surrogate pair.
      const int column16 = static_cast<int>(target) -
                           (target > 0 && target < line.size() && line[target].isLowSurrogate());
      return {at.line, ByteColumn(line, column16)};
    }
    if (target < 0) {
      if (at.line == 0) return {};
      utf16 = target + 1;  // the line break before this line
      at = {at.line - 1, static_cast<int>(model_.Line(at.line - 1).size())};
    } else {
      if (at.line == LineCount() - 1) return model_.End();
      utf16 = target - line.size() - 1;
      at = {at.line + 1, 0};
    }
  }
  return at;
}

TextPosition MeasurementEdit::Moved(TextPosition from, Move move) const {
  const int last = LineCount() - 1;
  const auto step = [&](bool forward, QTextLayout::CursorMode mode) -> TextPosition {
    const std::string_view line = model_.Line(from.line);
    if (forward && from.column >= static_cast<int>(line.size())) {
      return from.line < last ? TextPosition{from.line + 1, 0} : from;
    }
    if (!forward && from.column == 0) {
      return from.line > 0
                 ? TextPosition{from.line - 1, static_cast<int>(model_.Line(from.line - 1).size())}
                 : from;
    }
    const auto layout = Layout(from.line);
    const int utf16 = Utf16Column(line, from.column);
    const int next = forward ? layout->nextCursorPosition(utf16, mode)
                             : layout->previousCursorPosition(utf16, mode);
    return {from.line, ByteColumn(layout->text(), next)};
  };
  const auto to_line = [&](int k) -> TextPosition {
    k = std::clamp(k, 0, last);
    const auto layout = Layout(k);
    return {k, ByteColumn(layout->text(), layout->lineAt(0).xToCursor(desired_x_))};
  };
  switch (move) {
    case Move::kNextChar:
      return step(true, QTextLayout::SkipCharacters);
    case Move::kPreviousChar:
      return step(false, QTextLayout::SkipCharacters);
    case Move::kNextWord:
      return step(true, QTextLayout::SkipWords);
    case Move::kPreviousWord:
      return step(false, QTextLayout::SkipWords);
    case Move::kNextLine:
      return from.line < last ? to_line(from.line + 1) : model_.End();
    case Move::kPreviousLine:
      return from.line > 0 ? to_line(from.line - 1) : TextPosition{};
    case Move::kNextPage:
      return to_line(from.line + VisibleLines());
    case Move::kPreviousPage:
      return to_line(from.line - VisibleLines());
    case Move::kStartOfLine:
      return {from.line, 0};
    case Move::kEndOfLine:
      return {from.line, static_cast<int>(model_.Line(from.line).size())};
    case Move::kStartOfText:
      return {};
    case Move::kEndOfText:
      return model_.End();
  }
  return from;
}

bool MeasurementEdit::HandleMove(QKeyEvent* event) {
  static constexpr std::array<KeyMove, 28> kMoves{{
      {QKeySequence::MoveToNextChar, static_cast<int>(Move::kNextChar), false},
      {QKeySequence::SelectNextChar, static_cast<int>(Move::kNextChar), true},
      {QKeySequence::MoveToPreviousChar, static_cast<int>(Move::kPreviousChar), false},
      {QKeySequence::SelectPreviousChar, static_cast<int>(Move::kPreviousChar), true},
      {QKeySequence::MoveToNextWord, static_cast<int>(Move::kNextWord), false},
      {QKeySequence::SelectNextWord, static_cast<int>(Move::kNextWord), true},
      {QKeySequence::MoveToPreviousWord, static_cast<int>(Move::kPreviousWord), false},
      {QKeySequence::SelectPreviousWord, static_cast<int>(Move::kPreviousWord), true},
      {QKeySequence::MoveToNextLine, static_cast<int>(Move::kNextLine), false},
      {QKeySequence::SelectNextLine, static_cast<int>(Move::kNextLine), true},
      {QKeySequence::MoveToPreviousLine, static_cast<int>(Move::kPreviousLine), false},
      {QKeySequence::SelectPreviousLine, static_cast<int>(Move::kPreviousLine), true},
      {QKeySequence::MoveToNextPage, static_cast<int>(Move::kNextPage), false},
      {QKeySequence::SelectNextPage, static_cast<int>(Move::kNextPage), true},
      {QKeySequence::MoveToPreviousPage, static_cast<int>(Move::kPreviousPage), false},
      {QKeySequence::SelectPreviousPage, static_cast<int>(Move::kPreviousPage), true},
      {QKeySequence::MoveToStartOfLine, static_cast<int>(Move::kStartOfLine), false},
      {QKeySequence::SelectStartOfLine, static_cast<int>(Move::kStartOfLine), true},
      {QKeySequence::MoveToEndOfLine, static_cast<int>(Move::kEndOfLine), false},
      {QKeySequence::SelectEndOfLine, static_cast<int>(Move::kEndOfLine), true},
      {QKeySequence::MoveToStartOfBlock, static_cast<int>(Move::kStartOfLine), false},
      {QKeySequence::SelectStartOfBlock, static_cast<int>(Move::kStartOfLine), true},
      {QKeySequence::MoveToEndOfBlock, static_cast<int>(Move::kEndOfLine), false},
      {QKeySequence::SelectEndOfBlock, static_cast<int>(Move::kEndOfLine), true},
      {QKeySequence::MoveToStartOfDocument, static_cast<int>(Move::kStartOfText), false},
      {QKeySequence::SelectStartOfDocument, static_cast<int>(Move::kStartOfText), true},
      {QKeySequence::MoveToEndOfDocument, static_cast<int>(Move::kEndOfText), false},
      {QKeySequence::SelectEndOfDocument, static_cast<int>(Move::kEndOfText), true},
  }};
  for (const KeyMove& entry : kMoves) {
    if (!event->matches(entry.key)) continue;
    const auto move = static_cast<Move>(entry.move);
    const ListModel::Selection& selection = model_.selection();
    const bool vertical = move == Move::kNextLine || move == Move::kPreviousLine ||
                          move == Move::kNextPage || move == Move::kPreviousPage;
    if (vertical && desired_x_ < 0)
      desired_x_ = CursorRect().x() - static_cast<int>(LineOrigin(0).x());
    TextPosition to;
    if (!entry.select && !selection.Empty() && move == Move::kNextChar) {
      to = selection.End();  // an arrow key leaves a selection at its side
    } else if (!entry.select && !selection.Empty() && move == Move::kPreviousChar) {
      to = selection.Start();
    } else {
      to = Moved(selection.cursor, move);
    }
    const int keep_x = desired_x_;
    MoveCursor(to, entry.select);
    if (vertical) desired_x_ = keep_x;
    return true;
  }
  return false;
}

bool MeasurementEdit::HandleEdit(QKeyEvent* event) {
  if (event->matches(QKeySequence::Undo)) {
    undo();
  } else if (event->matches(QKeySequence::Redo)) {
    redo();
  } else if (event->matches(QKeySequence::Cut)) {
    cut();
  } else if (event->matches(QKeySequence::Copy)) {
    copy();
  } else if (event->matches(QKeySequence::Paste)) {
    paste();
  } else if (event->matches(QKeySequence::SelectAll)) {
    selectAll();
  } else if (event->matches(QKeySequence::DeleteStartOfWord)) {
    Erase(Move::kPreviousWord, Merge::kNone);
  } else if (event->matches(QKeySequence::DeleteEndOfWord)) {
    Erase(Move::kNextWord, Merge::kNone);
  } else if (event->matches(QKeySequence::Delete)) {
    Erase(Move::kNextChar, Merge::kDeleting);
  } else if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier)) {
    Erase(Move::kPreviousChar, Merge::kDeleting);
  } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // With Shift too: every break here starts a line of its own.
    Edit("\n");
  } else if (IsTypedText(*event)) {
    Edit(View(event->text().toUtf8()), Merge::kTyping);
  } else {
    return false;
  }
  return true;
}

void MeasurementEdit::Edit(std::string_view utf8, Merge merge) {
  if (utf8.empty() && model_.selection().Empty()) return;
  model_.Insert(utf8, merge);
  TextChanged();
}

// Removes the selection, or the text from the cursor to where `move` would take it.
void MeasurementEdit::Erase(Move move, Merge merge) {
  const ListModel::Selection& selection = model_.selection();
  if (!selection.Empty()) return Edit({});
  model_.Erase(selection.cursor, Moved(selection.cursor, move), merge);
  TextChanged();
}

void MeasurementEdit::MoveCursor(TextPosition cursor, bool keep_anchor) {
  SetSelection(keep_anchor ? model_.selection().anchor : cursor, cursor);
}

void MeasurementEdit::ReplaceRange(TextPosition from, TextPosition to, const QString& text) {
  model_.Select(from, to);
  Edit(View(AsLines(text)));
}

void MeasurementEdit::TextChanged() {
  desired_x_ = -1;
  UpdateScrollBars();
  EnsureCursorVisible();
  RestartBlink();
  viewport()->update();
  CaretMoved();
}

void MeasurementEdit::CaretMoved() {
  if (hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
  const ListModel::Selection now = model_.selection();
  if (now.anchor == shown_.anchor && now.cursor == shown_.cursor) return;
  // Dragging with the mouse publishes the selection when the button is let go.
  if (!now.Empty() && !selecting_ && QApplication::clipboard()->supportsSelection()) {
    primary_.start(0, this);
  }
  AnnounceCaret(shown_);
  shown_ = now;
}

// The horizontal range follows the lines in view as they are painted: measuring every line of a
// long list would cost more than anything else the list does.
void MeasurementEdit::UpdateScrollBars() {
  const int width = viewport()->width() - 2 * kMargin;
  horizontalScrollBar()->setPageStep(std::max(1, width));
  horizontalScrollBar()->setSingleStep(std::max(1, fontMetrics().averageCharWidth()));
  verticalScrollBar()->setRange(0, std::max(0, LineCount() - VisibleLines()));
  verticalScrollBar()->setPageStep(VisibleLines());
}

void MeasurementEdit::EnsureCursorVisible() { EnsureVisible(CursorPosition()); }

void MeasurementEdit::EnsureVisible(TextPosition position) {
  const int line = position.line;
  QScrollBar* vertical = verticalScrollBar();
  if (line < vertical->value()) vertical->setValue(line);
  if (line >= vertical->value() + VisibleLines()) vertical->setValue(line - VisibleLines() + 1);

  const int x = (position == CursorPosition() ? CursorRect() : CaretRect(position)).x() - kMargin +
                horizontalScrollBar()->value();
  const int width = viewport()->width() - 2 * kMargin;
  QScrollBar* horizontal = horizontalScrollBar();
  if (x > horizontal->maximum() + width) horizontal->setMaximum(x - width + 1);
  if (x < horizontal->value()) horizontal->setValue(x);
  if (x >= horizontal->value() + width) horizontal->setValue(x - width + 1);
}

void MeasurementEdit::RestartBlink() {
  caret_shown_ = true;
  const int flash = QApplication::cursorFlashTime();
  if (hasFocus() && flash > 0) {
    blink_.start(flash / 2, this);
  } else {
    blink_.stop();
  }
}

bool MeasurementEdit::event(QEvent* event) {
  // Keys that edit the list belong to it, not to a shortcut of the window.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    for (auto standard :
         {QKeySequence::Undo, QKeySequence::Redo, QKeySequence::Cut, QKeySequence::Copy,
          QKeySequence::Paste, QKeySequence::SelectAll, QKeySequence::Delete,
          QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord}) {
      if (key->matches(standard)) {
        event->accept();
        return true;
      }
    }
    // Plain typing too, but Alt with a letter stays free for the window's mnemonics.
    if (!(key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) && IsTypedText(*key)) {
      event->accept();
      return true;
    }
  }
  if (event->type() == QEvent::FontChange) {
    UpdateScrollBars();
    viewport()->update();
  }
  return QAbstractScrollArea::event(event);
}

void MeasurementEdit::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const int series_end = SeriesEndLine();
  const ListModel::Selection& selection = model_.selection();
  const TextPosition start = selection.Start();
  const TextPosition end = selection.End();
  const int first = FirstVisibleLine();
  const int last = std::min(LineCount() - 1, first + viewport()->height() / LineHeight() + 1);
  int widest = 0;
  for (int k = first; k <= last; ++k) {
    const QPointF origin = LineOrigin(k);
    if (origin.y() > event->rect().bottom() || origin.y() + LineHeight() < event->rect().top()) {
      continue;
    }
    const bool preedit = !preedit_.isEmpty() && k == selection.cursor.line;
    const auto layout = Layout(k, preedit);
    const QString text = LineText(k);
    QList<QTextLayout::FormatRange> selected;
    if (!selection.Empty() && start.line <= k && k <= end.line) {
      const int from = k == start.line ? Utf16Column(model_.Line(k), start.column) : 0;
      const int to =
          k == end.line ? Utf16Column(model_.Line(k), end.column) : static_cast<int>(text.size());
      QTextLayout::FormatRange range;
      range.start = from;
      range.length = to - from;
      range.format.setBackground(palette().brush(QPalette::Highlight));
      range.format.setForeground(palette().brush(QPalette::HighlightedText));
      selected << range;
      if (k < end.line) {  // the selected line break
        const qreal x = origin.x() + layout->lineAt(0).naturalTextWidth();
        painter.fillRect(QRectF(x, origin.y(), fontMetrics().averageCharWidth(), LineHeight()),
                         palette().brush(QPalette::Highlight));
      }
    }
    if (preedit) {  // the selection stands around the input method's text
      const int at = Utf16Column(model_.Line(k), selection.cursor.column);
      for (QTextLayout::FormatRange& range : selected) {
        if (range.start >= at) range.start += static_cast<int>(preedit_.size());
      }
    }
    // Lines past the end of the values take part in no statistic and are shown dimmed.
    painter.setPen(palette().color(k < series_end ? QPalette::Text : QPalette::PlaceholderText));
    layout->draw(&painter, origin, selected);
    widest = std::max(widest, static_cast<int>(layout->lineAt(0).naturalTextWidth()));
    if (k == selection.cursor.line && hasFocus() && caret_shown_ &&
        (preedit_.isEmpty() || preedit_cursor_shown_)) {
      const QRect caret = CursorRect();
      painter.fillRect(caret, palette().color(QPalette::Text));
    }
    if (drop_caret_ && drop_caret_->line == k) {
      painter.fillRect(CaretRect(*drop_caret_), palette().color(QPalette::Text));
    }
  }
  PaintSeriesEnd(painter, series_end);
  if (event->rect() == viewport()->rect()) {
    const int room = viewport()->width() - 2 * kMargin;
    const int range = std::max(0, widest + fontMetrics().averageCharWidth() - room);
    horizontalScrollBar()->setMaximum(std::max(range, horizontalScrollBar()->value()));
  }
}

// A rule above the first line that no statistic reads, where anything follows the values.
void MeasurementEdit::PaintSeriesEnd(QPainter& painter, int end) const {
  if (end >= LineCount() || (end == 0 && LineCount() == 1)) return;
  const int y = static_cast<int>(LineOrigin(end).y());
  if (y < 0 || y >= viewport()->height()) return;
  painter.fillRect(QRect(0, y, viewport()->width(), 1), palette().color(QPalette::PlaceholderText));
}

void MeasurementEdit::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void MeasurementEdit::keyPressEvent(QKeyEvent* event) {
  if (HandleMove(event) || HandleEdit(event)) {
    event->accept();
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

// The commit string takes the place of the selection, or of the replacement range that the event
// gives in UTF-16 units from the cursor; the preedit then stands at the cursor until the next
// event.
void MeasurementEdit::inputMethodEvent(QInputMethodEvent* event) {
  const bool input = !event->commitString().isEmpty() || event->replacementLength() > 0 ||
                     event->preeditString() != preedit_;
  if (input && !model_.selection().Empty() &&
      (!event->commitString().isEmpty() || !event->preeditString().isEmpty())) {
    Edit({});
  }
  if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
    const TextPosition cursor = CursorPosition();
    const TextPosition from = StepUtf16(cursor, event->replacementStart());
    const TextPosition to = StepUtf16(from, event->replacementLength());
    model_.Select(from, to);
    const QByteArray utf8 = AsLines(event->commitString());
    if (utf8.isEmpty() && from == to) {
      model_.Select(cursor, cursor);
    } else {
      model_.Insert(View(utf8), from == to ? Merge::kTyping : Merge::kNone);
      TextChanged();
    }
  }
  for (const QInputMethodEvent::Attribute& attribute : event->attributes()) {
    if (attribute.type != QInputMethodEvent::Selection) continue;
    // From the start of the cursor's line, as the surrounding text is that line.
    const TextPosition start{CursorPosition().line, 0};
    SetSelection(StepUtf16(start, attribute.start),
                 StepUtf16(start, static_cast<std::int64_t>(attribute.start) + attribute.length));
  }
  ApplyPreedit(*event);
  event->accept();
}

void MeasurementEdit::ApplyPreedit(const QInputMethodEvent& event) {
  preedit_ = event.preeditString();
  preedit_formats_.clear();
  preedit_cursor_ = static_cast<int>(preedit_.size());
  preedit_cursor_shown_ = true;
  const int at = Utf16Column(model_.Line(CursorPosition().line), CursorPosition().column);
  for (const QInputMethodEvent::Attribute& attribute : event.attributes()) {
    if (attribute.type == QInputMethodEvent::Cursor) {
      preedit_cursor_ = std::clamp(attribute.start, 0, static_cast<int>(preedit_.size()));
      preedit_cursor_shown_ = attribute.length != 0;
    } else if (attribute.type == QInputMethodEvent::TextFormat) {
      const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
      if (!format.isValid()) continue;
      QTextLayout::FormatRange range;
      range.start = at + attribute.start;
      range.length = attribute.length;
      range.format = format;
      preedit_formats_ << range;
    }
  }
  EnsureCursorVisible();
  RestartBlink();
  viewport()->update();
  if (hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
}

// Any change that does not come from the input method ends its composition.
void MeasurementEdit::ClearPreedit() {
  if (preedit_.isEmpty()) return;
  preedit_.clear();
  preedit_formats_.clear();
  if (hasFocus()) QGuiApplication::inputMethod()->reset();
  viewport()->update();
}

QVariant MeasurementEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
  return inputMethodQuery(query, {});
}

// Positions count UTF-16 units in the cursor's line, which is the surrounding text; the anchor
// may lie outside it when the selection spans lines.
QVariant MeasurementEdit::inputMethodQuery(Qt::InputMethodQuery query, QVariant argument) const {
  const ListModel::Selection& selection = model_.selection();
  const TextPosition cursor = selection.cursor;
  const auto in_line = [&](TextPosition position) -> std::int64_t {
    return model_.Utf16Offset(position) - model_.Utf16Offset({cursor.line, 0});
  };
  const int limit = argument.isValid() ? std::max(0, argument.toInt()) : 1024;
  switch (query) {
    case Qt::ImEnabled:
      return true;
    case Qt::ImCursorRectangle:
      return CursorRect().translated(viewport()->pos());
    case Qt::ImAnchorRectangle:
      return CaretRect(selection.anchor).translated(viewport()->pos());
    case Qt::ImFont:
      return font();
    case Qt::ImCursorPosition:
      return Utf16Column(model_.Line(cursor.line), cursor.column);
    case Qt::ImAnchorPosition:
      return static_cast<qlonglong>(in_line(selection.anchor));
    case Qt::ImAbsolutePosition:
      return static_cast<qlonglong>(model_.Utf16Offset(cursor));
    case Qt::ImSurroundingText:
      return LineText(cursor.line);
    case Qt::ImTextBeforeCursor:
      return FromUtf8(model_.Text(StepUtf16(cursor, -limit), cursor));
    case Qt::ImTextAfterCursor:
      return FromUtf8(model_.Text(cursor, StepUtf16(cursor, limit)));
    case Qt::ImCurrentSelection:
      return SelectedText();
    case Qt::ImMaximumTextLength:
      return {};  // no limit
    case Qt::ImReadOnly:
      return false;
    case Qt::ImHints:
      return static_cast<int>(inputMethodHints() | Qt::ImhMultiLine | Qt::ImhNoPredictiveText);
    case Qt::ImInputItemClipRectangle:
      return viewport()->geometry();
    default:
      return QAbstractScrollArea::inputMethodQuery(query);
  }
}

void MeasurementEdit::mousePressEvent(QMouseEvent* event) {
  if (!preedit_.isEmpty()) {
    QGuiApplication::inputMethod()->commit();
    ClearPreedit();
  }
  const QPoint point = event->position().toPoint();
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  if (event->button() == Qt::LeftButton) {
    if (triple_click_.isActive() &&
        (point - triple_click_point_).manhattanLength() < QApplication::startDragDistance()) {
      triple_click_.stop();
      SelectLineWithBreak(PositionAt(point).line);
      return;
    }
    const TextPosition at = PositionAt(point);
    if (!shift && InSelection(at)) {
      drag_pending_ = true;
      drag_start_ = point;
      return;
    }
    selecting_ = true;
    MoveCursor(at, shift);
  } else if (event->button() == Qt::MiddleButton &&
             QApplication::clipboard()->supportsSelection()) {
    MoveCursor(PositionAt(point), false);
    InsertText(QApplication::clipboard()->text(QClipboard::Selection));
  }
}

void MeasurementEdit::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (drag_pending_) {
    if ((point - drag_start_).manhattanLength() >= QApplication::startDragDistance()) StartDrag();
    return;
  }
  if (!selecting_) return;
  // Beyond the view, the view scrolls towards the pointer while the selection follows it.
  autoscroll_point_ = point;
  if (viewport()->rect().contains(point)) {
    autoscroll_.stop();
  } else if (!autoscroll_.isActive()) {
    AutoScroll();
  }
  const QRect view = viewport()->rect();
  MoveCursor(PositionAt({std::clamp(point.x(), view.left(), view.right()),
                         std::clamp(point.y(), view.top(), view.bottom())}),
             true);
}

void MeasurementEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  autoscroll_.stop();
  if (drag_pending_) {  // a click into the selection, without a drag
    drag_pending_ = false;
    MoveCursor(PositionAt(event->position().toPoint()), false);
  }
  selecting_ = false;
  if (QApplication::clipboard()->supportsSelection() && !model_.selection().Empty()) {
    primary_.start(0, this);
  }
}

// A double click selects the word under the pointer: a value, as a rule. A third click soon
// after selects the line.
void MeasurementEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  drag_pending_ = false;
  const TextPosition at = PositionAt(event->position().toPoint());
  const std::string_view line = model_.Line(at.line);
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  int from = at.column;
  int to = at.column;
  while (from > 0 && !blank(line[static_cast<std::size_t>(from - 1)])) --from;
  while (to < static_cast<int>(line.size()) && !blank(line[static_cast<std::size_t>(to)])) ++to;
  SetSelection({at.line, from}, {at.line, to});
  triple_click_point_ = event->position().toPoint();
  triple_click_.start(QApplication::doubleClickInterval(), this);
}

bool MeasurementEdit::InSelection(TextPosition position) const {
  const ListModel::Selection& selection = model_.selection();
  return !selection.Empty() && selection.Start() <= position && position <= selection.End();
}

// The line and the break after it, so that cutting it takes the whole line away.
void MeasurementEdit::SelectLineWithBreak(int k) {
  const TextPosition end =
      k + 1 < LineCount() ? TextPosition{k + 1, 0} : TextPosition{k, int(model_.Line(k).size())};
  SetSelection({k, 0}, end);
}

// Scrolls a line, or more the farther the pointer is beyond the view, and again soon.
void MeasurementEdit::AutoScroll() {
  const QRect view = viewport()->rect();
  const QPoint point = autoscroll_point_;
  if (view.contains(point)) return autoscroll_.stop();
  const int above = view.top() - point.y();
  const int below = point.y() - view.bottom();
  const int beyond = std::max(above, below);
  if (beyond > 0) {
    const int lines = 1 + beyond / LineHeight();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setValue(vertical->value() + (above > 0 ? -lines : lines));
  }
  QScrollBar* horizontal = horizontalScrollBar();
  const int step = horizontal->singleStep();
  if (point.x() < view.left()) horizontal->setValue(horizontal->value() - step);
  if (point.x() > view.right()) horizontal->setValue(horizontal->value() + step);
  if (selecting_) {
    MoveCursor(PositionAt({std::clamp(point.x(), view.left(), view.right()),
                           std::clamp(point.y(), view.top(), view.bottom())}),
               true);
  } else if (drop_caret_) {
    ShowDropCaret(PositionAt(point));
  }
  autoscroll_.start(40, this);
}

// Moving the text drops it elsewhere in the list, or in another program, which takes it away
// here; Ctrl copies it.
void MeasurementEdit::StartDrag() {
  drag_pending_ = false;
  const ListModel::Selection dragged = model_.selection();
  auto* data = new QMimeData;
  data->setText(SelectedText());
  QPointer<QDrag> drag = new QDrag(this);
  drag->setMimeData(data);
  drag_data_ = data;
  dropped_here_ = false;
  const std::uint64_t edits = model_.EditCount();
  const QPointer<MeasurementEdit> alive(this);
  const Qt::DropAction action =
      RunDrag ? RunDrag(*drag) : drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
  if (!alive) return;  // the window closed while the drag ran
  drag_data_ = nullptr;
  if (drag) drag->deleteLater();
  if (action == Qt::MoveAction && !dropped_here_ && model_.EditCount() == edits) {
    model_.Select(dragged.anchor, dragged.cursor);
    Edit({});
  }
}

void MeasurementEdit::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* data = event->mimeData();
  if (!data || (!data->hasText() && LocalFiles(*data).isEmpty())) return event->ignore();
  event->acceptProposedAction();
}

void MeasurementEdit::dragMoveEvent(QDragMoveEvent* event) {
  const QMimeData* data = event->mimeData();
  if (!data || (!data->hasText() && LocalFiles(*data).isEmpty())) return event->ignore();
  if (event->source() == this || (drag_data_ && data == drag_data_)) {
    const bool copy = event->modifiers() & Qt::ControlModifier;
    event->setDropAction(copy ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
  } else {
    event->acceptProposedAction();
  }
  const QPoint point = event->position().toPoint();
  if (!data->hasText() || !LocalFiles(*data).isEmpty()) return ShowDropCaret({});
  ShowDropCaret(PositionAt(point));
  // Near the top or bottom edge the view scrolls, so text can be dropped anywhere in a long list.
  const int edge = std::min(LineHeight(), viewport()->height() / 4);
  if (point.y() < edge || point.y() > viewport()->height() - edge) {
    autoscroll_point_ = {point.x(), point.y() < edge ? -1 : viewport()->height()};
    if (!autoscroll_.isActive()) autoscroll_.start(100, this);
  } else {
    autoscroll_.stop();
  }
}

void MeasurementEdit::dragLeaveEvent(QDragLeaveEvent*) {
  autoscroll_.stop();
  ShowDropCaret({});
}

void MeasurementEdit::dropEvent(QDropEvent* event) {
  autoscroll_.stop();
  ShowDropCaret({});
  const QMimeData* data = event->mimeData();
  if (!data) return event->ignore();
  const QList<QUrl> files = LocalFiles(*data);
  if (!files.isEmpty()) {
    event->acceptProposedAction();
    emit filesDropped(files);
    return;
  }
  if (!data->hasText()) return event->ignore();
  const bool own = event->source() == this || (drag_data_ && data == drag_data_);
  // Inside the list a drag moves the text, with Ctrl it copies it.
  const bool move = own && !(event->modifiers() & Qt::ControlModifier) &&
                    (event->possibleActions() & Qt::MoveAction);
  if (own) {
    dropped_here_ = true;
    event->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
  } else {
    event->acceptProposedAction();
  }
  if (move && InSelection(PositionAt(event->position().toPoint()))) return;
  DropText(data->text(), PositionAt(event->position().toPoint()), move);
  setFocus(Qt::MouseFocusReason);
}

// One undo step puts the text at `at`, selected, and with `move` takes the selection away.
void MeasurementEdit::DropText(const QString& text, TextPosition at, bool move) {
  const QByteArray utf8 = AsLines(text);
  const ListModel::Selection dragged = model_.selection();
  const std::int64_t length = QString::fromUtf8(utf8).size();
  std::int64_t start = model_.Utf16Offset(at);
  if (move && dragged.Start() < at)
    start -= model_.Utf16Offset(dragged.End()) - model_.Utf16Offset(dragged.Start());
  model_.OpenStep();
  // Of the two changes, the later one in the text goes first so the other's places stay valid.
  if (move && dragged.Start() < at) {
    model_.Select(at, at);
    model_.Insert(View(utf8));
  }
  if (move) model_.Erase(dragged.Start(), dragged.End());
  if (!move || at < dragged.Start()) {
    model_.Select(at, at);
    model_.Insert(View(utf8));
  }
  model_.Select(model_.PositionAtUtf16(start), model_.PositionAtUtf16(start + length));
  model_.CloseStep();
  TextChanged();
}

void MeasurementEdit::ShowDropCaret(std::optional<TextPosition> at) {
  if (drop_caret_ == at) return;
  drop_caret_ = at;
  viewport()->update();
}

void MeasurementEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  const bool selected = !model_.selection().Empty();
  const auto add = [&](const QString& text, QKeySequence::StandardKey key, bool enabled,
                       auto slot) {
    QAction* action = menu.addAction(text, this, slot);
    action->setShortcut(key);
    action->setEnabled(enabled);
  };
  // Every key that works is named, not only the platform's first.
  add(tr("&Rückgängig") + u'\t' + list_keys::Text(list_keys::kNamedUndo), QKeySequence::Undo,
      model_.CanUndo(), &MeasurementEdit::undo);
  add(tr("&Wiederherstellen") + u'\t' + list_keys::Text(list_keys::kNamedRedo),
      QKeySequence::Redo, model_.CanRedo(), &MeasurementEdit::redo);
  menu.addSeparator();
  add(tr("&Ausschneiden"), QKeySequence::Cut, selected, &MeasurementEdit::cut);
  add(tr("&Kopieren"), QKeySequence::Copy, selected, &MeasurementEdit::copy);
  const QMimeData* data = QApplication::clipboard()->mimeData();
  add(tr("&Einfügen"), QKeySequence::Paste, data && data->hasText(), &MeasurementEdit::paste);
  add(tr("&Löschen"), QKeySequence::Delete, selected, [this] { Edit({}); });
  menu.addSeparator();
  add(tr("Alles &markieren"), QKeySequence::SelectAll, true, &MeasurementEdit::selectAll);
  // What the window adds to the list, such as opening and saving files.
  if (!actions().isEmpty()) {
    menu.addSeparator();
    menu.addActions(actions());
  }
  menu.exec(event->globalPos());
}

void MeasurementEdit::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  RestartBlink();
  viewport()->update();
}

void MeasurementEdit::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  blink_.stop();
  viewport()->update();
}

void MeasurementEdit::timerEvent(QTimerEvent* event) {
  if (event->timerId() == autoscroll_.timerId()) return AutoScroll();
  if (event->timerId() == triple_click_.timerId()) return triple_click_.stop();
  if (event->timerId() == primary_.timerId()) {
    primary_.stop();
    if (!model_.selection().Empty()) {
      QApplication::clipboard()->setText(SelectedText(), QClipboard::Selection);
    }
    return;
  }
  if (event->timerId() != blink_.timerId()) return QAbstractScrollArea::timerEvent(event);
  caret_shown_ = !caret_shown_;
  viewport()->update(CursorRect().adjusted(-1, 0, 1, 0));
}

void MeasurementEdit::scrollContentsBy(int, int) { viewport()->update(); }
