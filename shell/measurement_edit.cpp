#include "measurement_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int kMargin = 4;  // between the frame and the text

using Merge = ListModel::Merge;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string_view View(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
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
  const auto lines = messwerte::SplitLines(View(utf8), messwerte::LineBreaks::kUnicode);
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
  return static_cast<int>(FromUtf8(line.substr(0, static_cast<std::size_t>(column))).size());
}

int ByteColumn(const QString& line, int utf16) {
  return static_cast<int>(line.left(utf16).toUtf8().size());
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
  UpdateScrollBars();
  // Changes that come from elsewhere, such as the evaluation's, show at once.
  model_.SetListener([this](const LinesChanged&) {
    UpdateScrollBars();
    viewport()->update();
  });
}

MeasurementEdit::~MeasurementEdit() = default;

void MeasurementEdit::SelectLine(int k) {
  if (k < 0 || k >= LineCount()) return;
  SetSelection({k, 0}, {k, static_cast<int>(model_.Line(k).size())});
}

QString MeasurementEdit::toPlainText() const { return FromUtf8(model_.Text()); }

void MeasurementEdit::setPlainText(const QString& text) {
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
}

void MeasurementEdit::InsertText(const QString& text) { Edit(View(AsLines(text))); }

void MeasurementEdit::undo() {
  model_.Undo();
  TextChanged();
}

void MeasurementEdit::redo() {
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
std::unique_ptr<QTextLayout> MeasurementEdit::Layout(int k) const {
  auto layout = std::make_unique<QTextLayout>(LineText(k), font(), viewport());
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
  const TextPosition cursor = CursorPosition();
  const auto layout = Layout(cursor.line);
  const int utf16 = Utf16Column(model_.Line(cursor.line), cursor.column);
  const QPointF origin = LineOrigin(cursor.line);
  const int x = static_cast<int>(origin.x() + layout->lineAt(0).cursorToX(utf16));
  return {x, static_cast<int>(origin.y()), 1, LineHeight()};
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

void MeasurementEdit::TextChanged() {
  desired_x_ = -1;
  UpdateScrollBars();
  EnsureCursorVisible();
  RestartBlink();
  viewport()->update();
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

void MeasurementEdit::EnsureCursorVisible() {
  const int line = CursorPosition().line;
  QScrollBar* vertical = verticalScrollBar();
  if (line < vertical->value()) vertical->setValue(line);
  if (line >= vertical->value() + VisibleLines()) vertical->setValue(line - VisibleLines() + 1);

  const int x = CursorRect().x() - kMargin + horizontalScrollBar()->value();
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
  painter.setPen(palette().color(QPalette::Text));
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
    const auto layout = Layout(k);
    const QString& text = layout->text();
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
    layout->draw(&painter, origin, selected);
    widest = std::max(widest, static_cast<int>(layout->lineAt(0).naturalTextWidth()));
    if (k == selection.cursor.line && hasFocus() && caret_shown_) {
      const QRect caret = CursorRect();
      painter.fillRect(caret, palette().color(QPalette::Text));
    }
  }
  if (event->rect() == viewport()->rect()) {
    const int room = viewport()->width() - 2 * kMargin;
    const int range = std::max(0, widest + fontMetrics().averageCharWidth() - room);
    horizontalScrollBar()->setMaximum(std::max(range, horizontalScrollBar()->value()));
  }
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

void MeasurementEdit::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) {
    Edit(View(event->commitString().toUtf8()), Merge::kTyping);
  }
  event->accept();
}

QVariant MeasurementEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled:
      return true;
    case Qt::ImCursorRectangle:
      return CursorRect().translated(viewport()->pos());
    case Qt::ImFont:
      return font();
    case Qt::ImCursorPosition:
      return Utf16Column(model_.Line(CursorPosition().line), CursorPosition().column);
    case Qt::ImSurroundingText:
      return LineText(CursorPosition().line);
    case Qt::ImCurrentSelection:
      return SelectedText();
    case Qt::ImHints:
      return static_cast<int>(Qt::ImhMultiLine | Qt::ImhNoPredictiveText);
    default:
      return QAbstractScrollArea::inputMethodQuery(query);
  }
}

void MeasurementEdit::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    selecting_ = true;
    MoveCursor(PositionAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
  } else if (event->button() == Qt::MiddleButton &&
             QApplication::clipboard()->supportsSelection()) {
    MoveCursor(PositionAt(event->position().toPoint()), false);
    InsertText(QApplication::clipboard()->text(QClipboard::Selection));
  }
}

void MeasurementEdit::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_) return;
  QPoint point = event->position().toPoint();
  // Dragging past the top or bottom scrolls a line at a time.
  if (point.y() < 0) point.setY(-1);
  if (point.y() > viewport()->height()) point.setY(viewport()->height() + LineHeight());
  MoveCursor(PositionAt(point), true);
}

void MeasurementEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  selecting_ = false;
  if (QApplication::clipboard()->supportsSelection() && !model_.selection().Empty()) {
    QApplication::clipboard()->setText(SelectedText(), QClipboard::Selection);
  }
}

// A double click selects the word under the pointer: a value, as a rule.
void MeasurementEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const TextPosition at = PositionAt(event->position().toPoint());
  const std::string_view line = model_.Line(at.line);
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  int from = at.column;
  int to = at.column;
  while (from > 0 && !blank(line[static_cast<std::size_t>(from - 1)])) --from;
  while (to < static_cast<int>(line.size()) && !blank(line[static_cast<std::size_t>(to)])) ++to;
  SetSelection({at.line, from}, {at.line, to});
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
  add(tr("&Rückgängig"), QKeySequence::Undo, model_.CanUndo(), &MeasurementEdit::undo);
  add(tr("&Wiederherstellen"), QKeySequence::Redo, model_.CanRedo(), &MeasurementEdit::redo);
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

namespace {

QList<QUrl> LocalFiles(const QMimeData& data) {
  QList<QUrl> files;
  for (const QUrl& url : data.urls()) {
    if (url.isLocalFile()) files << url;
  }
  return files;
}

}  // namespace

void MeasurementEdit::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void MeasurementEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (!LocalFiles(*event->mimeData()).isEmpty() || event->mimeData()->hasText()) {
    event->acceptProposedAction();
  }
}

void MeasurementEdit::dropEvent(QDropEvent* event) {
  const QMimeData& data = *event->mimeData();
  if (const QList<QUrl> files = LocalFiles(data); !files.isEmpty()) {
    event->acceptProposedAction();
    emit filesDropped(files);
  } else if (data.hasText()) {
    event->acceptProposedAction();
    const TextPosition at = PositionAt(event->position().toPoint());
    SetSelection(at, at);
    InsertText(data.text());
  }
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
  if (event->timerId() != blink_.timerId()) return QAbstractScrollArea::timerEvent(event);
  caret_shown_ = !caret_shown_;
  viewport()->update(CursorRect().adjusted(-1, 0, 1, 0));
}

void MeasurementEdit::scrollContentsBy(int, int) { viewport()->update(); }
