#include "line_layout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextOption>
#include <algorithm>
#include <climits>

#include "list_model.h"

namespace {

bool Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
bool Ascii(char c) { return static_cast<unsigned char>(c) < 0x80; }
bool PrintableAscii(char c) { return c >= 0x20 && c < 0x7F; }

// Laid out layouts kept of one long line: the pieces in view and about them.
constexpr std::size_t kKeptPieces = 64;

}  // namespace

LineLayout::LineLayout(std::string_view line, const QFont& font, QPaintDevice* device)
    : line_(line), font_(font), device_(device) {
  pieces_.push_back({0, 0});
  if (Whole()) {
    pieces_.push_back({static_cast<int>(line_.size()), 0});
    measured_ = true;
  }
}

LineLayout::LineLayout(std::string_view line, LineLayout&& earlier)
    : LineLayout(line, std::move(earlier), -1) {}

LineLayout::LineLayout(std::string_view line, LineLayout&& earlier, int column)
    : LineLayout(line, earlier.font_, earlier.device_) {
  if (Whole() || earlier.Whole()) return;
  ascii_ = std::move(earlier.ascii_);
  // A piece is cut by looking at the bytes up to kPiece after its start: where those are the
  // same, so are the cut and the width.
  const auto same = [&](std::size_t start) {
    const std::size_t end = start + kPiece + 1;
    if (end > line_.size() || end > earlier.line_.size()) return false;
    if (column >= 0) return end <= static_cast<std::size_t>(column);
    return line_.substr(start, end - start) == earlier.line_.substr(start, end - start);
  };
  pieces_.pop_back();
  for (int p = 0; p < earlier.PieceCount(); ++p) {
    const Piece& piece = earlier.pieces_[static_cast<std::size_t>(p)];
    if (!same(static_cast<std::size_t>(piece.start))) break;
    pieces_.push_back(piece);
    auto laid = earlier.laid_.find(p);
    if (laid != earlier.laid_.end() && !earlier.PreeditIn(p)) laid_.emplace(p, std::move(laid->second));
  }
  pieces_.push_back(earlier.pieces_[pieces_.size()]);
}

LineLayout::~LineLayout() = default;

void LineLayout::SetPreedit(int column, const Preedit* preedit) {
  if (!preedit_ && !preedit) return;
  // The pieces that held the old and hold the new preedit are laid out again.
  if (preedit_) laid_.erase(preedit_piece_);
  preedit_ = preedit && !preedit->text.isEmpty() ? preedit : nullptr;
  if (!preedit_) return;
  preedit_column_ = column;
  preedit_piece_ = PieceOf(column);
  laid_.erase(preedit_piece_);
}

int LineLayout::PieceCount() const { return static_cast<int>(pieces_.size()) - 1; }

int LineLayout::PieceEnd(int p) const { return pieces_[static_cast<std::size_t>(p) + 1].start; }

void LineLayout::MeasureTo(int column, qreal x) const {
  const int size = static_cast<int>(line_.size());
  while (!measured_ && (pieces_.back().start <= column || pieces_.back().x <= x)) {
    const int start = pieces_.back().start;
    int end = std::min(size, start + kPiece);
    if (end < size) {
      // After a blank if one is near, else between two ASCII characters, else between two
      // characters: where shaping joins nothing across the cut.
      int cut = end;
      while (cut > start + kPiece / 2 && line_[static_cast<std::size_t>(cut) - 1] != ' ') --cut;
      if (cut == start + kPiece / 2) {
        cut = end;
        while (cut > start + kPiece / 2 && !(Ascii(line_[static_cast<std::size_t>(cut) - 1]) &&
                                             Ascii(line_[static_cast<std::size_t>(cut)]))) {
          --cut;
        }
        if (cut == start + kPiece / 2) {
          cut = end;
          while (cut > start && Continuation(line_[static_cast<std::size_t>(cut)])) --cut;
          if (cut == start) cut = end;  // not UTF-8: cut anywhere
        }
      }
      end = cut;
    }
    const qreal width = Measured(line_.substr(static_cast<std::size_t>(start),
                                              static_cast<std::size_t>(end - start)));
    pieces_.push_back({end, pieces_.back().x + width});
    measured_ = end == size;
  }
}

// Printable ASCII, which measured series are made of, is measured character by character;
// anything else is laid out.
qreal LineLayout::Measured(std::string_view piece) const {
  if (std::all_of(piece.begin(), piece.end(), PrintableAscii)) {
    if (ascii_.empty()) {
      const QFontMetricsF metrics(font_, device_);
      for (char c = 0x20; c < 0x7F; ++c) ascii_.push_back(metrics.horizontalAdvance(QChar(c)));
    }
    qreal width = 0;
    for (const char c : piece) width += ascii_[static_cast<std::size_t>(c - 0x20)];
    return width;
  }
  QTextLayout layout(QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size())), font_,
                     device_);
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  layout.createLine().setLineWidth(0);
  layout.endLayout();
  return layout.lineAt(0).naturalTextWidth();
}

int LineLayout::PieceOf(int column) const {
  MeasureTo(column, -1);
  const auto after = std::upper_bound(pieces_.begin(), pieces_.end(), column,
                                      [](int c, const Piece& piece) { return c < piece.start; });
  return std::clamp(static_cast<int>(after - pieces_.begin()) - 1, 0, PieceCount() - 1);
}

int LineLayout::PieceAt(qreal x) const {
  MeasureTo(-1, x);
  // The first piece that begins right of x follows the one sought.
  int low = 1;
  int high = PieceCount();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (PieceX(middle) <= x) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low - 1;
}

qreal LineLayout::PreeditWidth() const {
  if (!preedit_) return 0;
  const auto at = static_cast<std::size_t>(preedit_piece_);
  return Laid(preedit_piece_).lineAt(0).naturalTextWidth() - (pieces_[at + 1].x - pieces_[at].x);
}

qreal LineLayout::PieceX(int p) const {
  const qreal x = pieces_[static_cast<std::size_t>(p)].x;
  return preedit_ && p > preedit_piece_ ? x + PreeditWidth() : x;
}

QTextLayout& LineLayout::Laid(int p) const {
  auto it = laid_.find(p);
  if (it != laid_.end()) return *it->second;
  if (laid_.size() >= kKeptPieces) laid_.clear();
  const int start = pieces_[static_cast<std::size_t>(p)].start;
  const std::string_view bytes =
      line_.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(PieceEnd(p) - start));
  auto layout = std::make_unique<QTextLayout>(
      QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())), font_, device_);
  if (PreeditIn(p)) {
    const int at = Utf16(p, preedit_column_);
    layout->setPreeditArea(at, preedit_->text);
    QList<QTextLayout::FormatRange> formats = preedit_->formats;
    for (QTextLayout::FormatRange& range : formats) range.start += at;
    layout->setFormats(formats);
  }
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  layout->setTextOption(option);
  layout->setCacheEnabled(true);
  layout->beginLayout();
  QTextLine line = layout->createLine();
  line.setLineWidth(0);
  line.setPosition({0, 0});
  layout->endLayout();
  return *laid_.emplace(p, std::move(layout)).first->second;
}

int LineLayout::Utf16(int p, int column) const {
  const int start = pieces_[static_cast<std::size_t>(p)].start;
  return static_cast<int>(Utf16Units(line_.substr(static_cast<std::size_t>(start),
                                                  static_cast<std::size_t>(column - start))));
}

int LineLayout::Column(int p, int utf16) const {
  int column = pieces_[static_cast<std::size_t>(p)].start;
  const int end = PieceEnd(p);
  for (int units = 0; column < end;) {
    const char lead = line_[static_cast<std::size_t>(column)];
    const int width = static_cast<unsigned char>(lead) >= 0xF0 ? 2 : 1;
    if (units + width > utf16) break;
    units += width;
    ++column;
    while (column < end && Continuation(line_[static_cast<std::size_t>(column)])) ++column;
  }
  return column;
}

qreal LineLayout::X(int column) const {
  const int p = PieceOf(column);
  return PieceX(p) + Laid(p).lineAt(0).cursorToX(Utf16(p, column));
}

qreal LineLayout::PreeditCursorX() const {
  if (!preedit_) return 0;
  const int p = preedit_piece_;
  return PieceX(p) + Laid(p).lineAt(0).cursorToX(Utf16(p, preedit_column_) + preedit_->cursor);
}

int LineLayout::ColumnAt(qreal x) const {
  const int p = PieceAt(x);
  return Column(p, Laid(p).lineAt(0).xToCursor(x - PieceX(p)));
}

int LineLayout::Next(int column, QTextLayout::CursorMode mode) const {
  const int p = PieceOf(column);
  return Column(p, Laid(p).nextCursorPosition(Utf16(p, column), mode));
}

int LineLayout::Previous(int column, QTextLayout::CursorMode mode) const {
  int p = PieceOf(column);
  if (p > 0 && column == pieces_[static_cast<std::size_t>(p)].start) --p;
  return Column(p, Laid(p).previousCursorPosition(Utf16(p, column), mode));
}

qreal LineLayout::Width() const {
  if (Whole()) return Laid(0).lineAt(0).naturalTextWidth();
  const Piece& known = pieces_.back();
  qreal width = known.x + PreeditWidth();
  if (!measured_ && known.start > 0) {
    width += known.x / known.start * static_cast<qreal>(static_cast<int>(line_.size()) - known.start);
  }
  return width;
}

void LineLayout::Draw(QPainter& painter, QPointF origin, qreal left, qreal right, int from, int to,
                      const QTextCharFormat& selected) const {
  const int first = Whole() ? 0 : PieceAt(left);
  const int last = Whole() ? 0 : PieceAt(right);
  for (int p = first; p <= last; ++p) {
    const int start = pieces_[static_cast<std::size_t>(p)].start;
    QList<QTextLayout::FormatRange> ranges;
    if (from >= 0 && (Whole() || (from < PieceEnd(p) && to > start))) {
      QTextLayout::FormatRange range;
      range.start = Utf16(p, std::max(from, start));
      range.length = Utf16(p, std::min(to, PieceEnd(p))) - range.start;
      range.format = selected;
      // The selection stands around the input method's text.
      if (PreeditIn(p) && range.start >= Utf16(p, preedit_column_)) {
        range.start += static_cast<int>(preedit_->text.size());
      }
      ranges << range;
    }
    Laid(p).draw(&painter, origin + QPointF(PieceX(p), 0), ranges);
  }
}
