#include "measurement_edit_accessible.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <vector>

#include "list_text_access.h"

namespace {

QAccessibleInterface* CreateAccessible(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String("MeasurementEdit")) return nullptr;
  auto* area = qobject_cast<QAbstractScrollArea*>(object);
  auto* list = dynamic_cast<ListTextAccess*>(object);
  return area && list ? new MeasurementEditAccessible(area, *list) : nullptr;
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

MeasurementEditAccessible::MeasurementEditAccessible(QAbstractScrollArea* area,
                                                     ListTextAccess& list)
    : QAccessibleWidget(area, QAccessible::EditableText), list_(list) {}

// The view that shows the text.
QWidget* MeasurementEditAccessible::View() const {
  return static_cast<QAbstractScrollArea*>(widget())->viewport();
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
    if (child && child->object() != View()) children << child;
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
  const ListModel::Selection& selection = list_.model().selection();
  if (selectionIndex != 0 || selection.Empty()) return;
  *startOffset = static_cast<int>(list_.model().Utf16Offset(selection.Start()));
  *endOffset = static_cast<int>(list_.model().Utf16Offset(selection.End()));
}

int MeasurementEditAccessible::selectionCount() const {
  return list_.model().selection().Empty() ? 0 : 1;
}

// The list has one selection; adding one replaces it.
void MeasurementEditAccessible::addSelection(int startOffset, int endOffset) {
  setSelection(0, startOffset, endOffset);
}

void MeasurementEditAccessible::removeSelection(int selectionIndex) {
  if (selectionIndex != 0) return;
  const TextPosition cursor = list_.model().selection().cursor;
  list_.SetSelection(cursor, cursor);
}

void MeasurementEditAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
  if (selectionIndex != 0) return;
  list_.SetSelection(list_.model().PositionAtUtf16(Clamped(startOffset)),
                      list_.model().PositionAtUtf16(Clamped(endOffset)));
}

int MeasurementEditAccessible::cursorPosition() const {
  return static_cast<int>(list_.model().Utf16Offset(list_.model().selection().cursor));
}

void MeasurementEditAccessible::setCursorPosition(int position) {
  const TextPosition at = list_.model().PositionAtUtf16(Clamped(position));
  list_.SetSelection(at, at);
}

QString MeasurementEditAccessible::text(int startOffset, int endOffset) const {
  const TextPosition from = list_.model().PositionAtUtf16(Clamped(startOffset));
  const TextPosition to = list_.model().PositionAtUtf16(Clamped(endOffset));
  return QString::fromStdString(list_.model().Text(from, to));
}

MeasurementEditAccessible::Piece MeasurementEditAccessible::LinePiece(int k) const {
  const std::string_view line = list_.model().Line(k);
  QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  if (k + 1 < list_.model().LineCount()) text += u'\n';
  return {static_cast<int>(list_.model().Utf16Offset({k, 0})), text};
}

// Characters, words and sentences never reach across a line break, so each is found in the line
// that holds the offset, or in the line before or after; a long list is never read whole.
MeasurementEditAccessible::Piece MeasurementEditAccessible::Unit(int offset,
                                                                 QAccessible::TextBoundaryType type,
                                                                 Side side) const {
  offset = Clamped(offset);
  const int k = list_.model().PositionAtUtf16(offset).line;
  const int last = list_.model().LineCount() - 1;
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
  return static_cast<int>(list_.model().Utf16Length());
}

QRect MeasurementEditAccessible::characterRect(int offset) const {
  const QRect rect = list_.CharacterRect(list_.model().PositionAtUtf16(Clamped(offset)));
  return {View()->mapToGlobal(rect.topLeft()), rect.size()};
}

int MeasurementEditAccessible::offsetAtPoint(const QPoint& point) const {
  const QPoint local = View()->mapFromGlobal(point);
  if (!View()->rect().contains(local)) return -1;
  return static_cast<int>(list_.model().Utf16Offset(list_.PositionAt(local)));
}

void MeasurementEditAccessible::scrollToSubstring(int startIndex, int endIndex) {
  list_.ScrollTo(list_.model().PositionAtUtf16(Clamped(endIndex)));
  list_.ScrollTo(list_.model().PositionAtUtf16(Clamped(startIndex)));
  View()->update();
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
  list_.ReplaceRange(list_.model().PositionAtUtf16(Clamped(startOffset)),
                      list_.model().PositionAtUtf16(Clamped(endOffset)), text);
}
