// The list's control: the mouse, drag and drop, and the context menu.

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QTimerEvent>
#include <algorithm>

#include "list_control.h"
#include "list_keys.h"
#include "list_text.h"
#include "list_view.h"
#include "measurement_edit.h"

using list_text::AsLines;
using list_text::View;

namespace {

// The local files that dropped data carries.
QList<QUrl> LocalFiles(const QMimeData& data) {
  QList<QUrl> files;
  if (!data.hasUrls()) return files;
  for (const QUrl& url : data.urls()) {
    if (url.isLocalFile()) files << url;
  }
  return files;
}

}  // namespace

void ListControl::MousePress(QMouseEvent& event) {
  if (!preedit_.text.isEmpty()) {
    QGuiApplication::inputMethod()->commit();
    ClearPreedit();
  }
  const QPoint point = event.position().toPoint();
  const bool shift = event.modifiers() & Qt::ShiftModifier;
  if (event.button() == Qt::LeftButton) {
    if (triple_click_.isActive() &&
        (point - triple_click_point_).manhattanLength() < QApplication::startDragDistance()) {
      triple_click_.stop();
      SelectLineWithBreak(view_.PositionAt(point).line);
      return;
    }
    const TextPosition at = view_.PositionAt(point);
    if (!shift && InSelection(at)) {
      drag_pending_ = true;
      drag_start_ = point;
      return;
    }
    selecting_ = true;
    MoveCursor(at, shift);
  } else if (event.button() == Qt::MiddleButton &&
             QApplication::clipboard()->supportsSelection()) {
    MoveCursor(view_.PositionAt(point), false);
    Insert(QApplication::clipboard()->text(QClipboard::Selection));
  }
}

void ListControl::MouseMove(QMouseEvent& event) {
  const QPoint point = event.position().toPoint();
  if (drag_pending_) {
    if ((point - drag_start_).manhattanLength() >= QApplication::startDragDistance()) StartDrag();
    return;
  }
  if (!selecting_) return;
  // Beyond the view, the view scrolls towards the pointer while the selection follows it.
  autoscroll_point_ = point;
  const QRect view = edit_.viewport()->rect();
  if (view.contains(point)) {
    autoscroll_.stop();
  } else if (!autoscroll_.isActive()) {
    AutoScroll();
  }
  MoveCursor(view_.PositionAt({std::clamp(point.x(), view.left(), view.right()),
                               std::clamp(point.y(), view.top(), view.bottom())}),
             true);
}

void ListControl::MouseRelease(QMouseEvent& event) {
  if (event.button() != Qt::LeftButton) return;
  autoscroll_.stop();
  if (drag_pending_) {  // a click into the selection, without a drag
    drag_pending_ = false;
    MoveCursor(view_.PositionAt(event.position().toPoint()), false);
  }
  selecting_ = false;
  if (QApplication::clipboard()->supportsSelection() && !model_.selection().Empty()) {
    primary_.start(0, this);
  }
}

// A double click selects the word under the pointer: a value, as a rule. A third click soon
// after selects the line.
void ListControl::MouseDoubleClick(QMouseEvent& event) {
  if (event.button() != Qt::LeftButton) return;
  drag_pending_ = false;
  const TextPosition at = view_.PositionAt(event.position().toPoint());
  const std::string_view line = model_.Line(at.line);
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  int from = at.column;
  int to = at.column;
  while (from > 0 && !blank(line[static_cast<std::size_t>(from - 1)])) --from;
  while (to < static_cast<int>(line.size()) && !blank(line[static_cast<std::size_t>(to)])) ++to;
  Select({at.line, from}, {at.line, to});
  triple_click_point_ = event.position().toPoint();
  triple_click_.start(QApplication::doubleClickInterval(), this);
}

bool ListControl::InSelection(TextPosition position) const {
  const ListModel::Selection& selection = model_.selection();
  return !selection.Empty() && selection.Start() <= position && position <= selection.End();
}

// The line and the break after it, so that cutting it takes the whole line away.
void ListControl::SelectLineWithBreak(int k) {
  const TextPosition end = k + 1 < model_.LineCount()
                               ? TextPosition{k + 1, 0}
                               : TextPosition{k, static_cast<int>(model_.Line(k).size())};
  Select({k, 0}, end);
}

// Scrolls a line, or more the farther the pointer is beyond the view, and again soon.
void ListControl::AutoScroll() {
  const QRect view = edit_.viewport()->rect();
  const QPoint point = autoscroll_point_;
  if (view.contains(point)) return autoscroll_.stop();
  const int above = view.top() - point.y();
  const int below = point.y() - view.bottom();
  const int beyond = std::max(above, below);
  if (beyond > 0) {
    const int lines = 1 + beyond / view_.LineHeight();
    QScrollBar* vertical = edit_.verticalScrollBar();
    vertical->setValue(vertical->value() + (above > 0 ? -lines : lines));
  }
  QScrollBar* horizontal = edit_.horizontalScrollBar();
  const int step = horizontal->singleStep();
  if (point.x() < view.left()) horizontal->setValue(horizontal->value() - step);
  if (point.x() > view.right()) horizontal->setValue(horizontal->value() + step);
  if (selecting_) {
    MoveCursor(view_.PositionAt({std::clamp(point.x(), view.left(), view.right()),
                                 std::clamp(point.y(), view.top(), view.bottom())}),
               true);
  } else if (drop_caret_shown_) {
    view_.ShowDropCaret(view_.PositionAt(point));
  }
  autoscroll_.start(40, this);
}

// Moving the text drops it elsewhere in the list, or in another program, which takes it away
// here; Ctrl copies it.
void ListControl::StartDrag() {
  drag_pending_ = false;
  const ListModel::Selection dragged = model_.selection();
  auto* data = new QMimeData;
  data->setText(SelectedText());
  QPointer<QDrag> drag = new QDrag(&edit_);
  drag->setMimeData(data);
  drag_data_ = data;
  dropped_here_ = false;
  const std::uint64_t edits = model_.EditCount();
  const QPointer<ListControl> alive(this);
  const Qt::DropAction action = edit_.RunDrag
                                    ? edit_.RunDrag(*drag)
                                    : drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
  if (!alive) return;  // the window closed while the drag ran
  drag_data_ = nullptr;
  if (drag) drag->deleteLater();
  if (action == Qt::MoveAction && !dropped_here_ && model_.EditCount() == edits) {
    model_.Select(dragged.anchor, dragged.cursor);
    Edit({});
  }
}

bool ListControl::OwnDrag(const QDropEvent& event) const {
  return event.source() == &edit_ || (drag_data_ && event.mimeData() == drag_data_);
}

void ListControl::DragEnter(QDragEnterEvent& event) {
  const QMimeData* data = event.mimeData();
  if (!data || (!data->hasText() && LocalFiles(*data).isEmpty())) return event.ignore();
  event.acceptProposedAction();
}

void ListControl::DragMove(QDragMoveEvent& event) {
  const QMimeData* data = event.mimeData();
  if (!data || (!data->hasText() && LocalFiles(*data).isEmpty())) return event.ignore();
  if (OwnDrag(event)) {
    const bool copy = event.modifiers() & Qt::ControlModifier;
    event.setDropAction(copy ? Qt::CopyAction : Qt::MoveAction);
    event.accept();
  } else {
    event.acceptProposedAction();
  }
  const QPoint point = event.position().toPoint();
  if (!data->hasText() || !LocalFiles(*data).isEmpty()) return ShowDropCaret({});
  ShowDropCaret(view_.PositionAt(point));
  // Near the top or bottom edge the view scrolls, so text can be dropped anywhere in a long list.
  const int height = edit_.viewport()->height();
  const int edge = std::min(view_.LineHeight(), height / 4);
  if (point.y() < edge || point.y() > height - edge) {
    autoscroll_point_ = {point.x(), point.y() < edge ? -1 : height};
    if (!autoscroll_.isActive()) autoscroll_.start(100, this);
  } else {
    autoscroll_.stop();
  }
}

void ListControl::DragLeave() {
  autoscroll_.stop();
  ShowDropCaret({});
}

void ListControl::Drop(QDropEvent& event) {
  autoscroll_.stop();
  ShowDropCaret({});
  const QMimeData* data = event.mimeData();
  if (!data) return event.ignore();
  const QList<QUrl> files = LocalFiles(*data);
  if (!files.isEmpty()) {
    event.acceptProposedAction();
    emit edit_.filesDropped(files);
    return;
  }
  if (!data->hasText()) return event.ignore();
  const bool own = OwnDrag(event);
  // Inside the list a drag moves the text, with Ctrl it copies it.
  const bool move = own && !(event.modifiers() & Qt::ControlModifier) &&
                    (event.possibleActions() & Qt::MoveAction);
  if (own) {
    dropped_here_ = true;
    event.setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
    event.accept();
  } else {
    event.acceptProposedAction();
  }
  const TextPosition at = view_.PositionAt(event.position().toPoint());
  if (move && InSelection(at)) return;
  DropText(data->text(), at, move);
  edit_.setFocus(Qt::MouseFocusReason);
}

// One undo step puts the text at `at`, selected, and with `move` takes the selection away.
void ListControl::DropText(const QString& text, TextPosition at, bool move) {
  const QByteArray utf8 = AsLines(text);
  const ListModel::Selection dragged = model_.selection();
  const std::int64_t length = QString::fromUtf8(utf8).size();
  std::int64_t start = model_.Utf16Offset(at);
  if (move && dragged.Start() < at)
    start -= model_.Utf16Offset(dragged.End()) - model_.Utf16Offset(dragged.Start());
  const Scope change(*this);
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
}

void ListControl::ShowDropCaret(std::optional<TextPosition> at) {
  drop_caret_shown_ = at.has_value();
  view_.ShowDropCaret(at);
}

void ListControl::ContextMenu(QContextMenuEvent& event) {
  QMenu menu(&edit_);
  const bool selected = !model_.selection().Empty();
  const auto add = [&](const QString& text, QKeySequence::StandardKey key, bool enabled,
                       auto slot) {
    QAction* action = menu.addAction(text, this, slot);
    action->setShortcut(key);
    action->setEnabled(enabled);
  };
  // Every key that works is named, not only the platform's first.
  add(MeasurementEdit::tr("&Rückgängig") + u'\t' + list_keys::Text(list_keys::kNamedUndo),
      QKeySequence::Undo, model_.CanUndo(), [this] { Undo(); });
  add(MeasurementEdit::tr("&Wiederherstellen") + u'\t' + list_keys::Text(list_keys::kNamedRedo),
      QKeySequence::Redo, model_.CanRedo(), [this] { Redo(); });
  menu.addSeparator();
  add(MeasurementEdit::tr("&Ausschneiden"), QKeySequence::Cut, selected, [this] { Cut(); });
  add(MeasurementEdit::tr("&Kopieren"), QKeySequence::Copy, selected, [this] { Copy(); });
  const QMimeData* data = QApplication::clipboard()->mimeData();
  add(MeasurementEdit::tr("&Einfügen"), QKeySequence::Paste, data && data->hasText(),
      [this] { Paste(); });
  add(MeasurementEdit::tr("&Löschen"), QKeySequence::Delete, selected, [this] { Delete(); });
  menu.addSeparator();
  add(MeasurementEdit::tr("Alles &markieren"), QKeySequence::SelectAll, true,
      [this] { Select({}, model_.End()); });
  // What the window adds to the list, such as opening and saving files.
  if (!edit_.actions().isEmpty()) {
    menu.addSeparator();
    menu.addActions(edit_.actions());
  }
  menu.exec(event.globalPos());
}

void ListControl::timerEvent(QTimerEvent* event) {
  if (event->timerId() == autoscroll_.timerId()) return AutoScroll();
  if (event->timerId() == triple_click_.timerId()) return triple_click_.stop();
  if (event->timerId() == primary_.timerId()) {
    primary_.stop();
    if (!model_.selection().Empty()) {
      QApplication::clipboard()->setText(SelectedText(), QClipboard::Selection);
    }
    return;
  }
  QObject::timerEvent(event);
}
