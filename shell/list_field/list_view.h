#pragma once

#include <QBasicTimer>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QTextLayout>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "line_layout.h"
#include "list_model.h"

class QAbstractScrollArea;
class QPainter;

// What the list shows of its model: the lines in view, laid out and painted, the scroll bars,
// the caret and its blinking. Lines are laid out when they are first looked at and kept until
// they change or leave the view.
class ListView : public QObject {
 public:
  ListView(QAbstractScrollArea& area, const ListModel& model, const Preedit& preedit);
  ~ListView() override;

  int LineHeight() const;
  int FirstVisibleLine() const;
  // Lines that fit into the view whole, at least one.
  int VisibleLines() const;
  QPointF LineOrigin(int k) const;
  QRect LineRect(int k) const;
  TextPosition PositionAt(QPoint point) const;
  // The caret, inside the input method's text while it composes.
  QRect CursorRect() const;
  // Where a caret at `position` stands, without the input method's text.
  QRect CaretRect(TextPosition position) const;
  // The place of the character after `position`.
  QRect CharacterRect(TextPosition position) const;
  // The caret's place in line k nearest to `x` from the line's start.
  TextPosition AtX(int k, qreal x) const;
  // The next or previous caret place inside the line of `from`.
  TextPosition Step(TextPosition from, bool forward, QTextLayout::CursorMode mode) const;

  void Paint(QPainter& painter, const QRect& rect, int series_end);
  void UpdateScrollBars();
  void EnsureVisible(TextPosition position);
  // The caret shows at once and blinks from now on while the list has the focus.
  void RestartBlink();
  void StopBlink();
  void ShowDropCaret(std::optional<TextPosition> at);
  // Lines from `first` on changed, or all of them with the font: they are laid out anew. Where
  // line `first` was `was` and is replaced by one line, what it shares with it is kept.
  void LinesChanged(int first, std::optional<std::string_view> was = std::nullopt);
  // Lines from `first` on were replaced by `inserted` lines, `removed` of them: those after them
  // keep their layouts where they stand now, so that a long line's places estimated far from its
  // start stay where they were drawn.
  void LinesReplaced(int first, int removed, int inserted,
                     std::optional<std::string_view> was = std::nullopt);
  // Line `k`, `was_size` bytes long, was edited where it stands from `column` on, and the lines
  // after it stayed.
  void LineEdited(int k, int column, std::size_t was_size);
  void Update();

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  // Line k laid out, with the preedit where it stands in it and `preedit` asks for it.
  const LineLayout& Line(int k, bool preedit = false) const;

  QAbstractScrollArea& area_;
  const ListModel& model_;
  const Preedit& preedit_;
  mutable std::map<int, std::unique_ptr<LineLayout>> lines_;
  bool caret_shown_ = true;
  QBasicTimer blink_;
  std::optional<TextPosition> drop_caret_;
};
