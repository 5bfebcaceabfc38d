#include "list_control.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <algorithm>
#include <array>
#include <utility>

#include "line_layout.h"
#include "list_text.h"
#include "list_view.h"
#include "measurement_edit.h"

using list_text::AsLines;
using list_text::FromUtf8;
using list_text::View;
using Merge = ListModel::Merge;

namespace {

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

}  // namespace

ListControl::ListControl(MeasurementEdit& edit, ListModel& model, ListView& view,
                         Preedit& preedit)
    : edit_(edit),
      model_(model),
      view_(view),
      preedit_(preedit),
      announcer_(edit, model, edit.Announce) {
  model_.SetListener([this](const LinesChanged& change) { Changed(change); });
}

ListControl::~ListControl() { model_.SetListener({}); }

void ListControl::OpenChange() {
  if (changes_open_++ == 0) edits_at_open_ = model_.EditCount();
}

void ListControl::CloseChange(bool only_edited) {
  if (--changes_open_ > 0) return;
  if (only_edited && model_.EditCount() == edits_at_open_) return;
  FinishChange(true);
}

// Changes that come from elsewhere, such as appended values, show at once; those of the field
// and of the evaluation, which runs in a change of the field, when it is finished.
void ListControl::Changed(const LinesChanged& change) {
  text_changed_ = true;
  int removed = static_cast<int>(change.removed.size());
  if (change.in_place) {
    const ListModel::InPlace& edit = *change.in_place;
    view_.LineEdited(change.first, edit.column,
                     model_.Line(change.first).size() - static_cast<std::size_t>(edit.typed) +
                         edit.erased.size());
    removed = 1;
  } else {
    const bool one_line = removed == 1 && change.inserted == 1;
    view_.LinesReplaced(change.first, removed, change.inserted,
                        one_line ? std::optional(change.removed.front().view()) : std::nullopt);
  }
  series_end_.Changed(change.first, removed, change.inserted);
  announcer_.Changed(change);
  emit edit_.linesChanged(change.first, removed, change.inserted);
  if (changes_open_ == 0) FinishChange(false);
}

void ListControl::FinishChange(bool from_field) {
  const bool changed = std::exchange(text_changed_, false);
  view_.UpdateScrollBars();
  if (changed) {
    announcer_.SendChanges();
    emit edit_.textChanged();
  }
  if (from_field) {
    desired_x_ = -1;
    view_.EnsureVisible(model_.selection().cursor);
    view_.RestartBlink();
  }
  view_.Update();
  CaretMoved();
}

void ListControl::CaretMoved() {
  if (edit_.hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
  const ListModel::Selection now = model_.selection();
  if (now.anchor == shown_.anchor && now.cursor == shown_.cursor) return;
  // Dragging with the mouse publishes the selection when the button is let go.
  if (!now.Empty() && !selecting_ && QApplication::clipboard()->supportsSelection()) {
    primary_.start(0, this);
  }
  announcer_.CaretMoved(shown_);
  shown_ = now;
}

void ListControl::SetText(const QString& text) {
  const Scope change(*this);
  ClearPreedit();
  model_.SetText(View(AsLines(text)));
  edit_.horizontalScrollBar()->setValue(0);
  edit_.verticalScrollBar()->setValue(0);
}

void ListControl::Select(TextPosition anchor, TextPosition cursor) {
  model_.Select(anchor, cursor);
  desired_x_ = -1;
  view_.EnsureVisible(model_.selection().cursor);
  view_.RestartBlink();
  view_.Update();
  CaretMoved();
}

void ListControl::MoveCursor(TextPosition cursor, bool keep_anchor) {
  Select(keep_anchor ? model_.selection().anchor : cursor, cursor);
}

QString ListControl::SelectedText() const {
  const ListModel::Selection& selection = model_.selection();
  return FromUtf8(model_.Text(selection.Start(), selection.End()));
}

void ListControl::Insert(const QString& text) { Edit(View(AsLines(text))); }

void ListControl::ReplaceRange(TextPosition from, TextPosition to, const QString& text) {
  model_.Select(from, to);
  Edit(View(AsLines(text)));
}

void ListControl::Undo() {
  const Scope change(*this);
  ClearPreedit();
  model_.Undo();
}

void ListControl::Redo() {
  const Scope change(*this);
  ClearPreedit();
  model_.Redo();
}

void ListControl::Cut() {
  Copy();
  Edit({});
}

void ListControl::Copy() const {
  if (!model_.selection().Empty()) QApplication::clipboard()->setText(SelectedText());
}

void ListControl::Paste() {
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (data && data->hasText()) Insert(data->text());
}

void ListControl::Delete() { Edit({}); }

void ListControl::Edit(std::string_view utf8, Merge merge) {
  if (utf8.empty() && model_.selection().Empty()) return;
  const Scope change(*this);
  model_.Insert(utf8, merge);
}

void ListControl::Erase(Move move, Merge merge) {
  const ListModel::Selection& selection = model_.selection();
  if (!selection.Empty()) return Edit({});
  const Scope change(*this);
  model_.Erase(selection.cursor, Moved(selection.cursor, move), merge);
}

TextPosition ListControl::Moved(TextPosition from, Move move) const {
  const int last = model_.LineCount() - 1;
  const auto step = [&](bool forward, QTextLayout::CursorMode mode) -> TextPosition {
    if (forward && from.column >= static_cast<int>(model_.Line(from.line).size())) {
      return from.line < last ? TextPosition{from.line + 1, 0} : from;
    }
    if (!forward && from.column == 0) {
      return from.line > 0
                 ? TextPosition{from.line - 1, static_cast<int>(model_.Line(from.line - 1).size())}
                 : from;
    }
    return view_.Step(from, forward, mode);
  };
  const auto to_line = [&](int k) { return view_.AtX(std::clamp(k, 0, last), desired_x_); };
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
      return to_line(from.line + view_.VisibleLines());
    case Move::kPreviousPage:
      return to_line(from.line - view_.VisibleLines());
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

bool ListControl::HandleMove(QKeyEvent& event) {
  struct KeyMove {
    QKeySequence::StandardKey key;
    Move move;
    bool select;
  };
  static constexpr std::array<KeyMove, 28> kMoves{{
      {QKeySequence::MoveToNextChar, Move::kNextChar, false},
      {QKeySequence::SelectNextChar, Move::kNextChar, true},
      {QKeySequence::MoveToPreviousChar, Move::kPreviousChar, false},
      {QKeySequence::SelectPreviousChar, Move::kPreviousChar, true},
      {QKeySequence::MoveToNextWord, Move::kNextWord, false},
      {QKeySequence::SelectNextWord, Move::kNextWord, true},
      {QKeySequence::MoveToPreviousWord, Move::kPreviousWord, false},
      {QKeySequence::SelectPreviousWord, Move::kPreviousWord, true},
      {QKeySequence::MoveToNextLine, Move::kNextLine, false},
      {QKeySequence::SelectNextLine, Move::kNextLine, true},
      {QKeySequence::MoveToPreviousLine, Move::kPreviousLine, false},
      {QKeySequence::SelectPreviousLine, Move::kPreviousLine, true},
      {QKeySequence::MoveToNextPage, Move::kNextPage, false},
      {QKeySequence::SelectNextPage, Move::kNextPage, true},
      {QKeySequence::MoveToPreviousPage, Move::kPreviousPage, false},
      {QKeySequence::SelectPreviousPage, Move::kPreviousPage, true},
      {QKeySequence::MoveToStartOfLine, Move::kStartOfLine, false},
      {QKeySequence::SelectStartOfLine, Move::kStartOfLine, true},
      {QKeySequence::MoveToEndOfLine, Move::kEndOfLine, false},
      {QKeySequence::SelectEndOfLine, Move::kEndOfLine, true},
      {QKeySequence::MoveToStartOfBlock, Move::kStartOfLine, false},
      {QKeySequence::SelectStartOfBlock, Move::kStartOfLine, true},
      {QKeySequence::MoveToEndOfBlock, Move::kEndOfLine, false},
      {QKeySequence::SelectEndOfBlock, Move::kEndOfLine, true},
      {QKeySequence::MoveToStartOfDocument, Move::kStartOfText, false},
      {QKeySequence::SelectStartOfDocument, Move::kStartOfText, true},
      {QKeySequence::MoveToEndOfDocument, Move::kEndOfText, false},
      {QKeySequence::SelectEndOfDocument, Move::kEndOfText, true},
  }};
  for (const KeyMove& entry : kMoves) {
    if (!event.matches(entry.key)) continue;
    const Move move = entry.move;
    const ListModel::Selection& selection = model_.selection();
    const bool vertical = move == Move::kNextLine || move == Move::kPreviousLine ||
                          move == Move::kNextPage || move == Move::kPreviousPage;
    if (vertical && desired_x_ < 0) {
      desired_x_ = view_.CursorRect().x() - static_cast<int>(view_.LineOrigin(0).x());
    }
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

bool ListControl::HandleEdit(QKeyEvent& event) {
  if (event.matches(QKeySequence::Undo)) {
    Undo();
  } else if (event.matches(QKeySequence::Redo)) {
    Redo();
  } else if (event.matches(QKeySequence::Cut)) {
    Cut();
  } else if (event.matches(QKeySequence::Copy)) {
    Copy();
  } else if (event.matches(QKeySequence::Paste)) {
    Paste();
  } else if (event.matches(QKeySequence::SelectAll)) {
    Select({}, model_.End());
  } else if (event.matches(QKeySequence::DeleteStartOfWord)) {
    Erase(Move::kPreviousWord, Merge::kNone);
  } else if (event.matches(QKeySequence::DeleteEndOfWord)) {
    Erase(Move::kNextWord, Merge::kNone);
  } else if (event.matches(QKeySequence::Delete)) {
    Erase(Move::kNextChar, Merge::kDeleting);
  } else if (event.key() == Qt::Key_Backspace && !(event.modifiers() & ~Qt::ShiftModifier)) {
    Erase(Move::kPreviousChar, Merge::kDeleting);
  } else if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) {
    // With Shift too: every break here starts a line of its own.
    Edit("\n");
  } else if (IsTypedText(event)) {
    Edit(View(event.text().toUtf8()), Merge::kTyping);
  } else {
    return false;
  }
  return true;
}

bool ListControl::Key(QKeyEvent& event) { return HandleMove(event) || HandleEdit(event); }

// Keys that edit the list belong to it, not to a shortcut of the window.
bool ListControl::ShortcutOverride(QKeyEvent& event) const {
  for (auto standard :
       {QKeySequence::Undo, QKeySequence::Redo, QKeySequence::Cut, QKeySequence::Copy,
        QKeySequence::Paste, QKeySequence::SelectAll, QKeySequence::Delete,
        QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord}) {
    if (event.matches(standard)) return true;
  }
  // Plain typing too, but Alt with a letter stays free for the window's mnemonics.
  return !(event.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) && IsTypedText(event);
}
