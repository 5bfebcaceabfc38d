#include "list_view.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <QTimerEvent>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kMargin = 4;  // between the frame and the text
// Laid out lines kept beyond those in view, such as the caret's far away.
constexpr std::size_t kKeptLines = 256;

}  // namespace

ListView::ListView(QAbstractScrollArea& area, const ListModel& model, const Preedit& preedit)
    : area_(area), model_(model), preedit_(preedit) {}

ListView::~ListView() = default;

const LineLayout& ListView::Line(int k, bool preedit) const {
  const std::string_view text = model_.Line(k);
  auto& kept = lines_[k];
  if (!kept || kept->Text().data() != text.data() || kept->Text().size() != text.size()) {
    kept = std::make_unique<LineLayout>(text, area_.font(), area_.viewport());
  }
  const bool composing = preedit && !preedit_.text.isEmpty() && k == model_.selection().cursor.line;
  kept->SetPreedit(model_.selection().cursor.column, composing ? &preedit_ : nullptr);
  return *kept;
}

void ListView::LinesChanged(int first, std::optional<std::string_view> was) {
  std::unique_ptr<LineLayout> earlier;
  const auto it = lines_.find(first);
  if (was && it != lines_.end() && it->second && it->second->Text().data() == was->data() &&
      it->second->Text().size() == was->size()) {
    earlier = std::move(it->second);
  }
  lines_.erase(lines_.lower_bound(first), lines_.end());
  if (earlier && first < model_.LineCount()) {
    lines_[first] = std::make_unique<LineLayout>(model_.Line(first), std::move(*earlier));
  }
}

void ListView::LinesReplaced(int first, int removed, int inserted,
                             std::optional<std::string_view> was) {
  std::map<int, std::unique_ptr<LineLayout>> after;
  for (auto it = lines_.lower_bound(first + removed); it != lines_.end(); ++it) {
    after.emplace_hint(after.end(), it->first - removed + inserted, std::move(it->second));
  }
  LinesChanged(first, was);
  lines_.merge(after);
}

void ListView::LineEdited(int k, int column, std::size_t was_size) {
  const auto it = lines_.find(k);
  if (it == lines_.end() || !it->second) return;
  if (it->second->Text().size() != was_size) {
    lines_.erase(it);
    return;
  }
  it->second = std::make_unique<LineLayout>(model_.Line(k), std::move(*it->second), column);
}

void ListView::Update() { area_.viewport()->update(); }

// The font's full height, so that lines stand apart even where its leading is negative.
int ListView::LineHeight() const {
  const QFontMetricsF metrics(area_.font());
  return std::max(1,
                  static_cast<int>(std::ceil(std::max(metrics.height(), metrics.lineSpacing()))));
}

QRect ListView::LineRect(int k) const {
  return {0, static_cast<int>(LineOrigin(k).y()), area_.viewport()->width(), LineHeight()};
}

int ListView::FirstVisibleLine() const { return area_.verticalScrollBar()->value(); }

int ListView::VisibleLines() const {
  return std::max(1, (area_.viewport()->height() - 2 * kMargin) / LineHeight());
}

QPointF ListView::LineOrigin(int k) const {
  return {static_cast<qreal>(kMargin - area_.horizontalScrollBar()->value()),
          static_cast<qreal>(kMargin + (k - FirstVisibleLine()) * LineHeight())};
}

TextPosition ListView::PositionAt(QPoint point) const {
  const int k = std::clamp(
      FirstVisibleLine() + (point.y() - kMargin) / LineHeight() - (point.y() < kMargin ? 1 : 0), 0,
      model_.LineCount() - 1);
  return AtX(k, point.x() - LineOrigin(k).x());
}

TextPosition ListView::AtX(int k, qreal x) const { return {k, Line(k).ColumnAt(x)}; }

TextPosition ListView::Step(TextPosition from, bool forward, QTextLayout::CursorMode mode) const {
  const LineLayout& line = Line(from.line);
  return {from.line, forward ? line.Next(from.column, mode) : line.Previous(from.column, mode)};
}

QRect ListView::CursorRect() const {
  if (preedit_.text.isEmpty()) return CaretRect(model_.selection().cursor);
  const int k = model_.selection().cursor.line;
  const QPointF origin = LineOrigin(k);
  const int x = static_cast<int>(origin.x() + Line(k, true).PreeditCursorX());
  return {x, static_cast<int>(origin.y()), 1, LineHeight()};
}

QRect ListView::CaretRect(TextPosition position) const {
  const QPointF origin = LineOrigin(position.line);
  const int x = static_cast<int>(origin.x() + Line(position.line).X(position.column));
  return {x, static_cast<int>(origin.y()), 1, LineHeight()};
}

// A line break is as wide as the selection paints it.
QRect ListView::CharacterRect(TextPosition position) const {
  const LineLayout& line = Line(position.line);
  const QPointF origin = LineOrigin(position.line);
  const qreal left = line.X(position.column);
  const qreal right =
      position.column < static_cast<int>(line.Text().size())
          ? line.X(line.Next(position.column, QTextLayout::SkipCharacters))
          : left + area_.fontMetrics().averageCharWidth();
  return QRectF(origin.x() + std::min(left, right), origin.y(), std::abs(right - left),
                LineHeight())
      .toAlignedRect();
}

void ListView::Paint(QPainter& painter, const QRect& rect, int series_end) {
  if (lines_.size() > kKeptLines) {
    // The caret's line stays laid out: where a long line was measured far from its start is
    // where it is drawn and where the caret was scrolled to.
    auto caret = lines_.extract(model_.selection().cursor.line);
    lines_.clear();
    if (!caret.empty()) lines_.insert(std::move(caret));
  }
  const QPalette palette = area_.palette();
  const ListModel::Selection& selection = model_.selection();
  const TextPosition start = selection.Start();
  const TextPosition end = selection.End();
  const int first = FirstVisibleLine();
  const int last =
      std::min(model_.LineCount() - 1, first + area_.viewport()->height() / LineHeight() + 1);
  QTextCharFormat selected;
  selected.setBackground(palette.brush(QPalette::Highlight));
  selected.setForeground(palette.brush(QPalette::HighlightedText));
  const bool caret = area_.hasFocus() && caret_shown_ &&
                     (preedit_.text.isEmpty() || preedit_.cursor_shown);
  int widest = 0;
  for (int k = first; k <= last; ++k) {
    const QPointF origin = LineOrigin(k);
    if (origin.y() > rect.bottom() || origin.y() + LineHeight() < rect.top()) continue;
    const LineLayout& line = Line(k, true);
    int from = -1;
    int to = -1;
    if (!selection.Empty() && start.line <= k && k <= end.line) {
      from = k == start.line ? start.column : 0;
      to = k == end.line ? end.column : static_cast<int>(line.Text().size());
      if (k < end.line) {  // the selected line break
        const qreal x = origin.x() + line.Width();
        painter.fillRect(
            QRectF(x, origin.y(), area_.fontMetrics().averageCharWidth(), LineHeight()),
            palette.brush(QPalette::Highlight));
      }
    }
    // Lines past the end of the values take part in no statistic and are shown dimmed.
    painter.setPen(palette.color(k < series_end ? QPalette::Text : QPalette::PlaceholderText));
    line.Draw(painter, origin, rect.left() - origin.x(), rect.right() - origin.x(), from, to,
              selected);
    widest = std::max(widest, static_cast<int>(line.Width()));
    if (k == selection.cursor.line && caret) {
      painter.fillRect(CursorRect(), palette.color(QPalette::Text));
    }
    if (drop_caret_ && drop_caret_->line == k) {
      painter.fillRect(CaretRect(*drop_caret_), palette.color(QPalette::Text));
    }
  }
  // A rule above the first line that no statistic reads, where anything follows the values.
  const int count = model_.LineCount();
  if (series_end < count && !(series_end == 0 && count == 1)) {
    const int y = static_cast<int>(LineOrigin(series_end).y());
    if (y >= 0 && y < area_.viewport()->height()) {
      painter.fillRect(QRect(0, y, area_.viewport()->width(), 1),
                       palette.color(QPalette::PlaceholderText));
    }
  }
  // The horizontal range follows the lines in view as they are painted: measuring every line of
  // a long list would cost more than anything else the list does.
  if (rect == area_.viewport()->rect()) {
    const int room = area_.viewport()->width() - 2 * kMargin;
    const int range = std::max(0, widest + area_.fontMetrics().averageCharWidth() - room);
    QScrollBar* horizontal = area_.horizontalScrollBar();
    horizontal->setMaximum(std::max(range, horizontal->value()));
  }
}

void ListView::UpdateScrollBars() {
  const int width = area_.viewport()->width() - 2 * kMargin;
  area_.horizontalScrollBar()->setPageStep(std::max(1, width));
  area_.horizontalScrollBar()->setSingleStep(std::max(1, area_.fontMetrics().averageCharWidth()));
  area_.verticalScrollBar()->setRange(0, std::max(0, model_.LineCount() - VisibleLines()));
  area_.verticalScrollBar()->setPageStep(VisibleLines());
}

void ListView::EnsureVisible(TextPosition position) {
  const int line = position.line;
  QScrollBar* vertical = area_.verticalScrollBar();
  if (line < vertical->value()) vertical->setValue(line);
  if (line >= vertical->value() + VisibleLines()) vertical->setValue(line - VisibleLines() + 1);

  QScrollBar* horizontal = area_.horizontalScrollBar();
  const int x =
      (position == model_.selection().cursor ? CursorRect() : CaretRect(position)).x() - kMargin +
      horizontal->value();
  const int width = area_.viewport()->width() - 2 * kMargin;
  if (x > horizontal->maximum() + width) horizontal->setMaximum(x - width + 1);
  if (x < horizontal->value()) horizontal->setValue(x);
  if (x >= horizontal->value() + width) horizontal->setValue(x - width + 1);
}

void ListView::RestartBlink() {
  caret_shown_ = true;
  const int flash = QApplication::cursorFlashTime();
  if (area_.hasFocus() && flash > 0) {
    blink_.start(flash / 2, this);
  } else {
    blink_.stop();
  }
}

void ListView::StopBlink() { blink_.stop(); }

void ListView::timerEvent(QTimerEvent* event) {
  if (event->timerId() != blink_.timerId()) return QObject::timerEvent(event);
  caret_shown_ = !caret_shown_;
  area_.viewport()->update(CursorRect().adjusted(-1, 0, 1, 0));
}

void ListView::ShowDropCaret(std::optional<TextPosition> at) {
  if (drop_caret_ == at) return;
  drop_caret_ = at;
  Update();
}
