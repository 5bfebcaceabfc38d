#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include "list_model.h"

// What a screen reader may ask of the list and have it do, besides what any widget offers.
// Places are positions in the list's model; rectangles stand in the list's view.
class ListTextAccess {
 public:
  virtual const ListModel& model() const = 0;
  // The place of the character after `position`; a line break is as wide as a selection
  // paints it.
  virtual QRect CharacterRect(TextPosition position) const = 0;
  virtual TextPosition PositionAt(QPoint point) const = 0;
  virtual void SetSelection(TextPosition anchor, TextPosition cursor) = 0;
  // Scrolls the view so that `position` is in it.
  virtual void ScrollTo(TextPosition position) = 0;
  // Puts `text` in place of the text between two positions as one undo step.
  virtual void ReplaceRange(TextPosition from, TextPosition to, const QString& text) = 0;

 protected:
  ~ListTextAccess() = default;
};
