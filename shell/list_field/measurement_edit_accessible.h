#pragma once

#include <QAccessibleWidget>

class ListTextAccess;
class QAbstractScrollArea;

// The list as screen readers see it: an editable multi-line text. Offsets count UTF-16 units over
// the whole text with one '\n' between lines; the name and description are the widget's own.
class MeasurementEditAccessible : public QAccessibleWidget,
                                  public QAccessibleTextInterface,
                                  public QAccessibleEditableTextInterface {
 public:
  MeasurementEditAccessible(QAbstractScrollArea* area, ListTextAccess& list);

  void* interface_cast(QAccessible::InterfaceType type) override;
  QAccessible::State state() const override;
  // The scroll bars; the view that shows the text is the text itself, not a child of it.
  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;

  // QAccessibleTextInterface
  void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
  int selectionCount() const override;
  void addSelection(int startOffset, int endOffset) override;
  void removeSelection(int selectionIndex) override;
  void setSelection(int selectionIndex, int startOffset, int endOffset) override;
  int cursorPosition() const override;
  void setCursorPosition(int position) override;
  QString text(int startOffset, int endOffset) const override;
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                           int* endOffset) const override;
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                          int* endOffset) const override;
  QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                       int* endOffset) const override;
  int characterCount() const override;
  QRect characterRect(int offset) const override;
  int offsetAtPoint(const QPoint& point) const override;
  void scrollToSubstring(int startIndex, int endIndex) override;
  QString attributes(int offset, int* startOffset, int* endOffset) const override;

  // QAccessibleEditableTextInterface
  void deleteText(int startOffset, int endOffset) override;
  void insertText(int offset, const QString& text) override;
  void replaceText(int startOffset, int endOffset, const QString& text) override;

 private:
  // A piece of the text: its offset and its characters.
  struct Piece {
    int start = -1;
    QString text;
  };
  enum class Side { kBefore, kAt, kAfter };

  QWidget* View() const;
  QList<QAccessibleInterface*> Children() const;
  // Line k with the break after it, where one follows.
  Piece LinePiece(int k) const;
  // The unit of the given kind before, at or after `offset`.
  Piece Unit(int offset, QAccessible::TextBoundaryType type, Side side) const;
  int Clamped(int offset) const;

  ListTextAccess& list_;
};

// Makes Qt hand out MeasurementEditAccessible for every MeasurementEdit; repeated calls do nothing.
void InstallMeasurementEditAccessibility();
