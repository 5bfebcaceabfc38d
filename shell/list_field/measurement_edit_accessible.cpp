#include "measurement_edit_accessible.h"

#include <QAccessible>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <vector>

#include "measurement_edit.h"

namespace {

QAccessibleInterface* CreateAccessible(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String("MeasurementEdit")) return nullptr;
  if (auto* edit = qobject_cast<MeasurementEdit*>(object)) {
    return new MeasurementEditAccessible(edit);
  }
  return nullptr;
}

// Where units of the given kind begin and end in `text`, from 0 to its length.
std::vector<int> Boundaries(const QString& text, QAccessible::TextBoundaryType type) {
  QTextBoundaryFinder::BoundaryType kind = QTextBoundaryFinder::Grapheme;
  if (type == QAccessible::WordBoundary) kind = QTextBoundaryFinder::Word;
  if (type == QAccessible::SentenceBoundary) kind = QTextBoundaryFinder::Sentence;
  QTextBoundaryFinder finder(kind, text);
  std::vector<int> boundaries{0};
  for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary()) {
    boundaries.push_back(static_cast<int>(at));
  }
  if (boundaries.back() != text.size()) boundaries.push_back(static_cast<int>(text.size()));
  return boundaries;
}

}  // namespace

void InstallMeasurementEditAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&CreateAccessible);
    return true;
  }();
  (void)installed;
}

MeasurementEditAccessible::MeasurementEditAccessible(MeasurementEdit* edit)
    : QAccessibleWidget(edit, QAccessible::EditableText) {}

MeasurementEdit& MeasurementEditAccessible::edit() const {
  return *static_cast<MeasurementEdit*>(widget());
}

void* MeasurementEditAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
  if (type == QAccessible::EditableTextInterface) {
    return static_cast<QAccessibleEditableTextInterface*>(this);
  }
  return QAccessibleWidget::interface_cast(type);
}

QAccessible::State MeasurementEditAccessible::state() const {
  QAccessible::State state = QAccessibleWidget::state();
  state.editable = true;
  state.multiLine = true;
  state.selectableText = true;
  state.readOnly = false;
  return state;
}

QList<QAccessibleInterface*> MeasurementEditAccessible::Children() const {
  QList<QAccessibleInterface*> children;
  for (int k = 0; k < QAccessibleWidget::childCount(); ++k) {
    QAccessibleInterface* child = QAccessibleWidget::child(k);
    if (child && child->object() != edit().viewport()) children << child;
  }
  return children;
}

int MeasurementEditAccessible::childCount() const { return static_cast<int>(Children().size()); }

QAccessibleInterface* MeasurementEditAccessible::child(int index) const {
  return Children().value(index);
}

int MeasurementEditAccessible::indexOfChild(const QAccessibleInterface* child) const {
  return static_cast<int>(Children().indexOf(const_cast<QAccessibleInterface*>(child)));
}

int MeasurementEditAccessible::Clamped(int offset) const {
  const int count = characterCount();
  return offset < 0 ? count : std::min(offset, count);
}

void MeasurementEditAccessible::selection(int selectionIndex, int* startOffset,
                                          int* endOffset) const {
  *startOffset = *endOffset = 0;
  const ListModel::Selection& selection = edit().model().selection();
  if (selectionIndex != 0 || selection.Empty()) return;
  *startOffset = static_cast<int>(edit().model().Utf16Offset(selection.Start()));
  *endOffset = static_cast<int>(edit().model().Utf16Offset(selection.End()));
}

int MeasurementEditAccessible::selectionCount() const {
  return edit().model().selection().Empty() ? 0 : 1;
}

// The list has one selection; adding one replaces it.
void MeasurementEditAccessible::addSelection(int startOffset, int endOffset) {
  setSelection(0, startOffset, endOffset);
}

void MeasurementEditAccessible::removeSelection(int selectionIndex) {
  if (selectionIndex != 0) return;
  const TextPosition cursor = edit().CursorPosition();
  edit().SetSelection(cursor, cursor);
}

void MeasurementEditAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
  if (selectionIndex != 0) return;
  edit().SetSelection(edit().model().PositionAtUtf16(Clamped(startOffset)),
                      edit().model().PositionAtUtf16(Clamped(endOffset)));
}

int MeasurementEditAccessible::cursorPosition() const {
  return static_cast<int>(edit().model().Utf16Offset(edit().CursorPosition()));
}

void MeasurementEditAccessible::setCursorPosition(int position) {
  const TextPosition at = edit().model().PositionAtUtf16(Clamped(position));
  edit().SetSelection(at, at);
}

QString MeasurementEditAccessible::text(int startOffset, int endOffset) const {
  const TextPosition from = edit().model().PositionAtUtf16(Clamped(startOffset));
  const TextPosition to = edit().model().PositionAtUtf16(Clamped(endOffset));
  return QString::fromStdString(edit().model().Text(from, to));
}

MeasurementEditAccessible::Piece MeasurementEditAccessible::LinePiece(int k) const {
  QString text = edit().LineText(k);
  if (k + 1 < edit().LineCount()) text += u'\n';
  return {static_cast<int>(edit().model().Utf16Offset({k, 0})), text};
}

// Characters, words and sentences never reach across a line break, so each is found in the line
// that holds the offset, or in the line before or after; a long list is never read whole.
MeasurementEditAccessible::Piece MeasurementEditAccessible::Unit(int offset,
                                                                 QAccessible::TextBoundaryType type,
                                                                 Side side) const {
  offset = Clamped(offset);
  const int k = edit().model().PositionAtUtf16(offset).line;
  const int last = edit().LineCount() - 1;
  if (type == QAccessible::NoBoundary) {
    if (side != Side::kAt) return {};
    return {0, text(0, characterCount())};
  }
  if (type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary) {
    if (side == Side::kBefore) return k > 0 ? LinePiece(k - 1) : Piece{};
    if (side == Side::kAfter) return k < last ? LinePiece(k + 1) : Piece{};
    return LinePiece(k);
  }
  const auto unit = [&](const Piece& line, std::size_t index) -> Piece {
    const std::vector<int> bounds = Boundaries(line.text, type);
    if (bounds.size() < 2) return {};
    index = std::min(index, bounds.size() - 2);
    return {line.start + bounds[index],
            line.text.mid(bounds[index], bounds[index + 1] - bounds[index])};
  };
  const Piece line = LinePiece(k);
  const std::vector<int> bounds = Boundaries(line.text, type);
  const int local = offset - line.start;
  // The unit that holds `local`: from bounds[index] up to bounds[index + 1].
  const auto holding = std::upper_bound(bounds.begin(), bounds.end(), local) - bounds.begin() - 1;
  const auto index = static_cast<std::size_t>(std::max<std::ptrdiff_t>(holding, 0));
  const bool at_end = local >= line.text.size();
  switch (side) {
    case Side::kAt:
      return at_end ? Piece{} : unit(line, index);
    case Side::kBefore:
      if (at_end && !line.text.isEmpty()) return unit(line, bounds.size() - 2);
      if (index > 0) return unit(line, index - 1);
      return k > 0 ? unit(LinePiece(k - 1), static_cast<std::size_t>(-1)) : Piece{};
    case Side::kAfter:
      if (at_end) return {};
      if (index + 2 < bounds.size()) return unit(line, index + 1);
      return k < last ? unit(LinePiece(k + 1), 0) : Piece{};
  }
  return {};
}

namespace {

QString Report(const QString& text, int start, int* startOffset, int* endOffset) {
  *startOffset = start;
  *endOffset = start < 0 ? -1 : start + static_cast<int>(text.size());
  return text;
}

}  // namespace

QString MeasurementEditAccessible::textBeforeOffset(int offset,
                                                    QAccessible::TextBoundaryType boundaryType,
                                                    int* startOffset, int* endOffset) const {
  const Piece piece = Unit(offset, boundaryType, Side::kBefore);
  return Report(piece.text, piece.start, startOffset, endOffset);
}

QString MeasurementEditAccessible::textAfterOffset(int offset,
                                                   QAccessible::TextBoundaryType boundaryType,
                                                   int* startOffset, int* endOffset) const {
  const Piece piece = Unit(offset, boundaryType, Side::kAfter);
  return Report(piece.text, piece.start, startOffset, endOffset);
}

QString MeasurementEditAccessible::textAtOffset(int offset,
                                                QAccessible::TextBoundaryType boundaryType,
                                                int* startOffset, int* endOffset) const {
  const Piece piece = Unit(offset, boundaryType, Side::kAt);
  return Report(piece.text, piece.start, startOffset, endOffset);
}

int MeasurementEditAccessible::characterCount() const {
  return static_cast<int>(edit().model().Utf16Length());
}

QRect MeasurementEditAccessible::characterRect(int offset) const {
  const QRect rect = edit().CharacterRect(edit().model().PositionAtUtf16(Clamped(offset)));
  return {edit().viewport()->mapToGlobal(rect.topLeft()), rect.size()};
}

int MeasurementEditAccessible::offsetAtPoint(const QPoint& point) const {
  const QPoint local = edit().viewport()->mapFromGlobal(point);
  if (!edit().viewport()->rect().contains(local)) return -1;
  return static_cast<int>(edit().model().Utf16Offset(edit().PositionAt(local)));
}

void MeasurementEditAccessible::scrollToSubstring(int startIndex, int endIndex) {
  edit().EnsureVisible(edit().model().PositionAtUtf16(Clamped(endIndex)));
  edit().EnsureVisible(edit().model().PositionAtUtf16(Clamped(startIndex)));
  edit().viewport()->update();
}

// Plain text: no attributes anywhere.
QString MeasurementEditAccessible::attributes(int, int* startOffset, int* endOffset) const {
  *startOffset = 0;
  *endOffset = characterCount();
  return {};
}

void MeasurementEditAccessible::deleteText(int startOffset, int endOffset) {
  replaceText(startOffset, endOffset, {});
}

void MeasurementEditAccessible::insertText(int offset, const QString& text) {
  replaceText(offset, offset, text);
}

void MeasurementEditAccessible::replaceText(int startOffset, int endOffset, const QString& text) {
  edit().ReplaceRange(edit().model().PositionAtUtf16(Clamped(startOffset)),
                      edit().model().PositionAtUtf16(Clamped(endOffset)), text);
}

bool MeasurementEdit::Announcing() const { return Announce || QAccessible::isActive(); }

void MeasurementEdit::Send(QAccessibleEvent& event) {
  if (Announce) return Announce(event);
  QAccessible::updateAccessibility(&event);
}

// The selection goes first, as it moves the caret along.
void MeasurementEdit::AnnounceCaret(const ListModel::Selection& before) {
  if (!Announcing()) return;
  const ListModel::Selection& now = model_.selection();
  const bool selection_changed = !(now.Empty() && before.Empty()) &&
                                 (now.Start() != before.Start() || now.End() != before.End());
  if (selection_changed) {
    QAccessibleTextSelectionEvent event(this, static_cast<int>(model_.Utf16Offset(now.Start())),
                                        static_cast<int>(model_.Utf16Offset(now.End())));
    event.setCursorPosition(static_cast<int>(model_.Utf16Offset(now.cursor)));
    Send(event);
  }
  if (now.cursor != before.cursor) {
    QAccessibleTextCursorEvent event(this, static_cast<int>(model_.Utf16Offset(now.cursor)));
    Send(event);
  }
}

// The texts are made only while someone listens, so that a reset of a million lines stays quick
// without a screen reader.
void MeasurementEdit::AnnounceChange(const LinesChanged& change) {
  if (!Announcing()) return;
  std::string removed;
  for (std::size_t k = 0; k < change.removed.size(); ++k) {
    if (k > 0) removed += '\n';
    removed += change.removed[k];
  }
  std::string inserted;
  for (int k = change.first; k < change.first + change.inserted; ++k) {
    if (k > change.first) inserted += '\n';
    inserted += model_.Line(k);
  }
  std::int64_t at = model_.Utf16Offset({change.first, 0});
  const bool followed = change.first + change.inserted < model_.LineCount();
  // Whole lines that came or went take a line break with them: the one after them where a line
  // follows, else the one before.
  if (change.removed.empty() || change.inserted == 0) {
    std::string& whole = change.removed.empty() ? inserted : removed;
    if (followed) {
      whole += '\n';
    } else {
      whole.insert(0, 1, '\n');
      at = change.inserted == 0 ? model_.Utf16Length() : at - 1;
    }
  }
  QString old_text = QString::fromStdString(removed);
  QString new_text = QString::fromStdString(inserted);
  // Only what differs is told: a typed character is one inserted character, not a new line.
  qsizetype same_start = 0;
  const qsizetype shorter = std::min(old_text.size(), new_text.size());
  while (same_start < shorter && old_text[same_start] == new_text[same_start]) ++same_start;
  if (same_start > 0 && old_text[same_start - 1].isHighSurrogate()) --same_start;
  qsizetype same_end = 0;
  while (same_end < shorter - same_start &&
         old_text[old_text.size() - 1 - same_end] == new_text[new_text.size() - 1 - same_end]) {
    ++same_end;
  }
  if (same_end > 0 && old_text[old_text.size() - same_end].isLowSurrogate()) --same_end;
  old_text = old_text.mid(same_start, old_text.size() - same_start - same_end);
  new_text = new_text.mid(same_start, new_text.size() - same_start - same_end);
  const int position = static_cast<int>(at + same_start);
  if (old_text.isEmpty() && new_text.isEmpty()) return;
  if (old_text.isEmpty()) {
    QAccessibleTextInsertEvent event(this, position, new_text);
    Send(event);
  } else if (new_text.isEmpty()) {
    QAccessibleTextRemoveEvent event(this, position, old_text);
    Send(event);
  } else {
    QAccessibleTextUpdateEvent event(this, position, old_text, new_text);
    Send(event);
  }
}
