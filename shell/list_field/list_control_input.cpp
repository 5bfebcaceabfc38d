// The list's control: the input method.

#include <QAbstractScrollArea>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QTextCharFormat>
#include <algorithm>

#include "line_layout.h"
#include "list_control.h"
#include "list_text.h"
#include "list_view.h"
#include "measurement_edit.h"

using list_text::AsLines;
using list_text::FromUtf8;
using list_text::View;

namespace {

bool Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
// UTF-16 units of the character that starts with `lead`.
int Units(char lead) { return static_cast<unsigned char>(lead) >= 0xF0 ? 2 : 1; }

}  // namespace

// Forward a step never ends between the two halves of a surrogate pair; backward it takes the
// whole character. Only the characters stepped over are looked at, however long the line.
TextPosition ListControl::StepUtf16(TextPosition from, std::int64_t utf16) const {
  TextPosition at = model_.Clamp(from);
  while (utf16 > 0) {
    const std::string_view line = model_.Line(at.line);
    const int size = static_cast<int>(line.size());
    while (at.column < size && utf16 > 0) {
      const int units = Units(line[static_cast<std::size_t>(at.column)]);
      if (units > utf16) return at;
      utf16 -= units;
      do {
        ++at.column;
      } while (at.column < size && Continuation(line[static_cast<std::size_t>(at.column)]));
    }
    if (utf16 == 0) return at;
    if (at.line == model_.LineCount() - 1) return model_.End();
    --utf16;  // the line break
    at = {at.line + 1, 0};
  }
  while (utf16 < 0) {
    const std::string_view line = model_.Line(at.line);
    while (at.column > 0 && utf16 < 0) {
      do {
        --at.column;
      } while (at.column > 0 && Continuation(line[static_cast<std::size_t>(at.column)]));
      utf16 += Units(line[static_cast<std::size_t>(at.column)]);
    }
    if (utf16 >= 0) return at;
    if (at.line == 0) return {};
    ++utf16;  // the line break
    at = {at.line - 1, static_cast<int>(model_.Line(at.line - 1).size())};
  }
  return at;
}

// The commit string takes the place of the selection, or of the replacement range that the event
// gives in UTF-16 units from the cursor; the preedit then stands at the cursor until the next
// event.
void ListControl::InputMethod(QInputMethodEvent& event) {
  const bool input = !event.commitString().isEmpty() || event.replacementLength() > 0 ||
                     event.preeditString() != preedit_.text;
  if (input && !model_.selection().Empty() &&
      (!event.commitString().isEmpty() || !event.preeditString().isEmpty())) {
    Edit({});
  }
  if (!event.commitString().isEmpty() || event.replacementLength() > 0) {
    const TextPosition cursor = model_.selection().cursor;
    const TextPosition from = StepUtf16(cursor, event.replacementStart());
    const TextPosition to = StepUtf16(from, event.replacementLength());
    model_.Select(from, to);
    const QByteArray utf8 = AsLines(event.commitString());
    if (utf8.isEmpty() && from == to) {
      model_.Select(cursor, cursor);
    } else {
      const Scope change(*this);
      model_.Insert(View(utf8), from == to ? ListModel::Merge::kTyping : ListModel::Merge::kNone);
    }
  }
  for (const QInputMethodEvent::Attribute& attribute : event.attributes()) {
    if (attribute.type != QInputMethodEvent::Selection) continue;
    // From the start of the surrounding text.
    const TextPosition start = Surrounding().first;
    Select(StepUtf16(start, attribute.start),
           StepUtf16(start, static_cast<std::int64_t>(attribute.start) + attribute.length));
  }
  ApplyPreedit(event);
  event.accept();
}

void ListControl::ApplyPreedit(const QInputMethodEvent& event) {
  preedit_.text = event.preeditString();
  preedit_.formats.clear();
  preedit_.cursor = static_cast<int>(preedit_.text.size());
  preedit_.cursor_shown = true;
  for (const QInputMethodEvent::Attribute& attribute : event.attributes()) {
    if (attribute.type == QInputMethodEvent::Cursor) {
      preedit_.cursor = std::clamp(attribute.start, 0, static_cast<int>(preedit_.text.size()));
      preedit_.cursor_shown = attribute.length != 0;
    } else if (attribute.type == QInputMethodEvent::TextFormat) {
      const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
      if (!format.isValid()) continue;
      QTextLayout::FormatRange range;
      range.start = attribute.start;
      range.length = attribute.length;
      range.format = format;
      preedit_.formats << range;
    }
  }
  view_.EnsureVisible(model_.selection().cursor);
  view_.RestartBlink();
  view_.Update();
  if (edit_.hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
}

void ListControl::ClearPreedit() {
  if (preedit_.text.isEmpty()) return;
  preedit_.text.clear();
  preedit_.formats.clear();
  if (edit_.hasFocus()) QGuiApplication::inputMethod()->reset();
  view_.Update();
}

// The text an input method sees around the caret: the caret's line, or of a line too long to
// hand over at each key, the stretch of it up to kSurrounding UTF-16 units either side.
std::pair<TextPosition, TextPosition> ListControl::Surrounding() const {
  const TextPosition cursor = model_.selection().cursor;
  const auto size = static_cast<int>(model_.Line(cursor.line).size());
  if (size <= LineLayout::kWhole) return {{cursor.line, 0}, {cursor.line, size}};
  TextPosition from = StepUtf16(cursor, -kSurrounding);
  TextPosition to = StepUtf16(cursor, kSurrounding);
  if (from.line != cursor.line) from = {cursor.line, 0};
  if (to.line != cursor.line) to = {cursor.line, size};
  return {from, to};
}

// Positions count UTF-16 units from the start of the surrounding text; the anchor may lie
// outside it when the selection spans lines.
std::optional<QVariant> ListControl::Query(Qt::InputMethodQuery query,
                                           const QVariant& argument) const {
  const ListModel::Selection& selection = model_.selection();
  const TextPosition cursor = selection.cursor;
  const auto [from, to] = Surrounding();
  const std::string_view line = model_.Line(cursor.line);
  const auto between = [&](int a, int b) {
    return Utf16Units(line.substr(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a)));
  };
  const auto in_line = [&](TextPosition position) -> std::int64_t {
    if (position.line != cursor.line) {
      return model_.Utf16Offset(position) - model_.Utf16Offset(from);
    }
    return position.column >= from.column ? between(from.column, position.column)
                                          : -between(position.column, from.column);
  };
  const int limit = argument.isValid() ? std::max(0, argument.toInt()) : 1024;
  switch (query) {
    case Qt::ImEnabled:
      return true;
    case Qt::ImCursorRectangle:
      return view_.CursorRect().translated(edit_.viewport()->pos());
    case Qt::ImAnchorRectangle:
      return view_.CaretRect(selection.anchor).translated(edit_.viewport()->pos());
    case Qt::ImFont:
      return edit_.font();
    case Qt::ImCursorPosition:
      return static_cast<int>(between(from.column, cursor.column));
    case Qt::ImAnchorPosition:
      return static_cast<qlonglong>(in_line(selection.anchor));
    case Qt::ImAbsolutePosition:
      return static_cast<qlonglong>(model_.Utf16Offset(cursor));
    case Qt::ImSurroundingText:
      return FromUtf8(line.substr(static_cast<std::size_t>(from.column),
                                  static_cast<std::size_t>(to.column - from.column)));
    case Qt::ImTextBeforeCursor:
      return FromUtf8(model_.Text(StepUtf16(cursor, -limit), cursor));
    case Qt::ImTextAfterCursor:
      return FromUtf8(model_.Text(cursor, StepUtf16(cursor, limit)));
    case Qt::ImCurrentSelection:
      return SelectedText();
    case Qt::ImMaximumTextLength:
      return QVariant();  // no limit
    case Qt::ImReadOnly:
      return false;
    case Qt::ImHints:
      return static_cast<int>(edit_.inputMethodHints() | Qt::ImhMultiLine |
                              Qt::ImhNoPredictiveText);
    case Qt::ImInputItemClipRectangle:
      return edit_.viewport()->geometry();
    default:
      return std::nullopt;
  }
}
