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
// Bytes measured at once back from a place measured far into a line, so that scrolling back
// from it measures seldom.
constexpr int kChunk = 16 * 1024;
// How many times as long a byte takes to measure where it is laid out as where it is measured
// as printable ASCII.
constexpr int kLaidCost = 128;

}  // namespace

LineLayout::LineLayout(std::string_view line, const QFont& font, QPaintDevice* device)
    : line_(line), font_(font), device_(device) {
  pieces_.push_back({0, Whole(), 0});
  pieces_.push_back({Size(), false, 0});
  open_end_ = !Whole();
}

LineLayout::LineLayout(std::string_view line, LineLayout&& earlier)
    : LineLayout(line, std::move(earlier), -1) {}

LineLayout::LineLayout(std::string_view line, LineLayout&& earlier, int column)
    : LineLayout(line, earlier.font_, earlier.device_) {
  if (Whole() || earlier.Whole()) return;
  ascii_ = std::move(earlier.ascii_);
  // A piece is cut and measured by its bytes and the one after it, where it ends; a stretch
  // ends where a piece begins, between the two bytes either side.
  const int size = std::min(Size(), earlier.Size());
  const auto same = [&](int start, int end, bool measured) {
    if (end >= size) return false;
    if (column >= 0) return end < column;
    const auto from = static_cast<std::size_t>(measured ? start : end - 1);
    const auto bytes = static_cast<std::size_t>(end + 1) - from;
    return line_.substr(from, bytes) == earlier.line_.substr(from, bytes);
  };
  pieces_.clear();
  int p = 0;
  for (; p < earlier.PieceCount(); ++p) {
    const Piece& piece = earlier.pieces_[static_cast<std::size_t>(p)];
    const int end = earlier.PieceEnd(p);
    if (!same(piece.start, end, piece.measured)) break;
    pieces_.push_back(piece);
    if (!piece.measured) continue;
    measured_bytes_ += end - piece.start;
    measured_width_ += earlier.pieces_[static_cast<std::size_t>(p) + 1].x - piece.x;
    auto laid = earlier.laid_.find(piece.start);
    if (laid != earlier.laid_.end() && !earlier.PreeditIn(p)) {
      laid_.emplace(piece.start, std::move(laid->second));
    }
  }
  const Piece& rest = earlier.pieces_[static_cast<std::size_t>(p)];
  pieces_.push_back({rest.start, false, rest.x});
  pieces_.push_back({Size(), false, 0});
  Float();
}

LineLayout::~LineLayout() = default;

void LineLayout::SetPreedit(int column, const Preedit* preedit) {
  if (!preedit_ && !preedit) return;
  // The pieces that held the old and hold the new preedit are laid out again.
  if (preedit_) laid_.erase(preedit_start_);
  preedit_ = nullptr;
  if (!preedit || preedit->text.isEmpty()) return;
  const int p = PieceOf(column);
  preedit_ = preedit;
  preedit_column_ = column;
  preedit_start_ = pieces_[static_cast<std::size_t>(p)].start;
  laid_.erase(preedit_start_);
}

int LineLayout::PieceCount() const { return static_cast<int>(pieces_.size()) - 1; }

int LineLayout::PieceEnd(int p) const { return pieces_[static_cast<std::size_t>(p) + 1].start; }

int LineLayout::Cut(int end, int start) const {
  if (end >= Size()) return Size();
  start = std::max(start, 0);
  // After a blank if one is near, else between two ASCII characters, else between two
  // characters: where shaping joins nothing across the cut.
  const int half = start + kPiece / 2;
  const auto at = [&](int k) { return line_[static_cast<std::size_t>(k)]; };
  int cut = end;
  while (cut > half && at(cut - 1) != ' ') --cut;
  if (cut > half) return cut;
  cut = end;
  while (cut > half && !(Ascii(at(cut - 1)) && Ascii(at(cut)))) --cut;
  if (cut > half) return cut;
  cut = end;
  while (cut > start && Continuation(at(cut))) --cut;
  return cut == start ? end : cut;  // not UTF-8: cut anywhere
}

bool LineLayout::Cheap(int from, int to) const {
  if (to - from > kReach) return false;
  std::int64_t work = 0;
  for (int start = from; start < to && work <= kReach; start += kPiece) {
    const int end = std::min(to, start + kPiece);
    const std::string_view bytes =
        line_.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
    work += (std::all_of(bytes.begin(), bytes.end(), PrintableAscii) ? 1 : kLaidCost) *
            static_cast<std::int64_t>(bytes.size());
  }
  return work <= kReach;
}

// Printable ASCII, which measured series are made of, is measured character by character;
// anything else is laid out.
qreal LineLayout::Measured(int start, int end) const {
  const std::string_view piece =
      line_.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
  qreal width = 0;
  if (std::all_of(piece.begin(), piece.end(), PrintableAscii)) {
    if (ascii_.empty()) {
      const QFontMetricsF metrics(font_, device_);
      for (char c = 0x20; c < 0x7F; ++c) ascii_.push_back(metrics.horizontalAdvance(QChar(c)));
    }
    for (const char c : piece) width += ascii_[static_cast<std::size_t>(c - 0x20)];
    work_ += end - start;
  } else {
    QTextLayout layout(QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size())),
                       font_, device_);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine().setLineWidth(0);
    layout.endLayout();
    width = layout.lineAt(0).naturalTextWidth();
    work_ += static_cast<std::int64_t>(kLaidCost) * (end - start);
  }
  measured_width_ += width;
  measured_bytes_ += end - start;
  return width;
}

qreal LineLayout::Density() const {
  return measured_bytes_ > 0 ? measured_width_ / static_cast<qreal>(measured_bytes_) : 0;
}

void LineLayout::Float() const {
  const std::size_t last = pieces_.size() - 2;
  if (!open_end_ || pieces_[last].measured) return;
  pieces_.back().x = pieces_[last].x + Density() * (Size() - pieces_[last].start);
}

void LineLayout::Shift(int p, qreal by) const {
  for (auto k = static_cast<std::size_t>(p); k < pieces_.size(); ++k) pieces_[k].x += by;
}

int LineLayout::GapBefore(int j) const {
  for (int i = j - 1; i >= 0; --i) {
    if (!pieces_[static_cast<std::size_t>(i)].measured) return i;
  }
  return -1;
}

bool LineLayout::ShiftBefore(int j, qreal by) const {
  const int i = GapBefore(j);
  if (i < 0) return false;
  const auto gap = static_cast<std::size_t>(i);
  if (pieces_[gap + 1].x - pieces_[gap].x + by < Least(PieceEnd(i) - pieces_[gap].start)) {
    return false;
  }
  for (std::size_t k = gap + 1; k <= static_cast<std::size_t>(j); ++k) pieces_[k].x += by;
  return true;
}

// Measured pieces take the place of stretch j, which keeps the width it was given unless they
// use it up or leave too little of it, when what follows moves: the place looked at, before
// it, stays where it was drawn.
void LineLayout::Forward(int j, int column, qreal x) const {
  const auto gap = static_cast<std::size_t>(j);
  const int end = PieceEnd(j);
  const bool open = open_end_ && j == PieceCount() - 1;
  const qreal was = pieces_[gap + 1].x;
  std::vector<Piece> measured;
  int start = pieces_[gap].start;
  qreal at = pieces_[gap].x;
  const auto measure = [&] {
    const int cut = std::min(end, Cut(start + kPiece, start));
    measured.push_back({start, true, at});
    at += Measured(start, cut);
    start = cut;
  };
  // A far x in a stretch estimated too wide is looked for anew from where this ends.
  const std::int64_t budget = work_ + 2 * kReach;
  while (start < end && (start <= column || (at <= x && work_ < budget))) measure();
  // What is left of a stretch too short to estimate a place in is measured to its end.
  if (!open && start < end && Cheap(start, end)) {
    while (start < end) measure();
  }
  Settle(j, std::move(measured), start, end, at, was, !open);
}

void LineLayout::Settle(int j, std::vector<Piece> measured, int start, int end, qreal at,
                        qreal was, bool least) const {
  if (start < end) measured.push_back({start, false, at});
  pieces_.erase(pieces_.begin() + j);
  pieces_.insert(pieces_.begin() + j, measured.begin(), measured.end());
  const int next = j + static_cast<int>(measured.size());
  if (start == end) {
    Shift(next, at - was);
  } else if (least && was - at < Least(end - start)) {
    Shift(next, at + Least(end - start) - was);
  }
}

// Pieces measured back from the end of stretch j end where it ends. Where what is left of the
// stretch is too short to estimate a place in, it is measured too, and the pieces before it
// move to meet them; where those are the line's start, what follows moves instead.
void LineLayout::Backward(int j, int at) const {
  const auto gap = static_cast<std::size_t>(j);
  const int begin = pieces_[gap].start;
  const int end = PieceEnd(j);
  const int target = std::min(at, end - kChunk);
  int from = target - kPiece <= begin ? begin : Cut(target, target - kPiece);
  if (GapBefore(j) >= 0 && Cheap(begin, from)) from = begin;
  std::vector<Piece> measured;
  if (from > begin) measured.push_back({begin, false, pieces_[gap].x});
  for (int start = from; start < end;) {
    const int cut = std::min(end, Cut(start + kPiece, start));
    measured.push_back({start, true, Measured(start, cut)});
    start = cut;
  }
  qreal right = pieces_[gap + 1].x;
  for (auto piece = measured.rbegin(); piece != measured.rend() && piece->measured; ++piece) {
    right -= piece->x;
    piece->x = right;
  }
  // How far the pieces before must move.
  qreal by = 0;
  if (from == begin) {
    by = right - pieces_[gap].x;
  } else if (right - pieces_[gap].x < Least(from - begin)) {
    by = right - Least(from - begin) - pieces_[gap].x;
  }
  if (by != 0 && !ShiftBefore(j, by)) {
    for (Piece& piece : measured) {
      if (piece.measured) piece.x -= by;
    }
    Shift(j + 1, -by);
  }
  if (from > begin) measured.front().x = pieces_[gap].x;
  pieces_.erase(pieces_.begin() + j);
  pieces_.insert(pieces_.begin() + j, measured.begin(), measured.end());
}

// The pieces begin where the stretch's width, shared out by bytes, puts them.
void LineLayout::Island(int j, int at, int column, qreal x) const {
  const auto gap = static_cast<std::size_t>(j);
  const int begin = pieces_[gap].start;
  const int end = PieceEnd(j);
  const qreal left = pieces_[gap].x;
  const qreal was = pieces_[gap + 1].x;
  const int from = Cut(at, at - kPiece);
  qreal here = left + (was - left) * (from - begin) / (end - begin);
  std::vector<Piece> measured{{begin, false, left}};
  int start = from;
  const std::int64_t budget = work_ + 2 * kReach;
  do {
    const int cut = std::min(end, Cut(start + kPiece, start));
    measured.push_back({start, true, here});
    here += Measured(start, cut);
    start = cut;
  } while (start < end && (start <= column || (here <= x && work_ < budget)));
  Settle(j, std::move(measured), start, end, here, was, true);
}

void LineLayout::Reach(int column, qreal x) const {
  if (Whole()) return;
  if (measured_bytes_ == 0) {  // for the width of a byte
    Forward(0, 0, -1);
    Float();
  }
  for (;;) {
    const int j = column >= 0 ? Holding(column) : Under(x);
    if (pieces_[static_cast<std::size_t>(j)].measured) return;
    const int begin = pieces_[static_cast<std::size_t>(j)].start;
    const int end = PieceEnd(j);
    // An x is sought where the stretch's width, shared out by bytes, puts it.
    int at = column;
    qreal raw = x;
    if (column < 0) {
      const qreal left = PieceX(j);
      const qreal right = PieceX(j + 1);
      raw = x - (left - pieces_[static_cast<std::size_t>(j)].x);
      at = right > left ? begin + static_cast<int>(std::clamp((x - left) / (right - left), 0.0,
                                                              1.0) *
                                                   (end - begin))
                        : begin;
    }
    // From the nearer side where that is near, else where it is.
    const bool open = open_end_ && j == PieceCount() - 1;
    if ((open || at - begin <= end - at) && Cheap(begin, at)) {
      Forward(j, column, raw);
    } else {
      if (open) open_end_ = false;  // the line's end keeps the width estimated now
      if (end - at < at - begin && Cheap(at, end)) {
        Backward(j, at);
      } else {
        Island(j, at, column, raw);
      }
    }
    Float();
  }
}

int LineLayout::Holding(int column) const {
  const auto after = std::upper_bound(pieces_.begin(), pieces_.end() - 1, column,
                                      [](int c, const Piece& piece) { return c < piece.start; });
  return std::clamp(static_cast<int>(after - pieces_.begin()) - 1, 0, PieceCount() - 1);
}

int LineLayout::Under(qreal x) const {
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

int LineLayout::PieceOf(int column) const {
  Reach(column, -1);
  return Holding(column);
}

int LineLayout::PieceAt(qreal x) const {
  Reach(-1, x);
  return Under(x);
}

qreal LineLayout::PreeditWidth() const {
  if (!preedit_) return 0;
  const int p = Holding(preedit_start_);
  const auto at = static_cast<std::size_t>(p);
  return Laid(p).lineAt(0).naturalTextWidth() - (pieces_[at + 1].x - pieces_[at].x);
}

qreal LineLayout::PieceX(int p) const {
  const qreal x = pieces_[static_cast<std::size_t>(p)].x;
  return preedit_ && pieces_[static_cast<std::size_t>(p)].start > preedit_start_
             ? x + PreeditWidth()
             : x;
}

QTextLayout& LineLayout::Laid(int p) const {
  const int start = pieces_[static_cast<std::size_t>(p)].start;
  auto it = laid_.find(start);
  if (it != laid_.end()) return *it->second;
  if (laid_.size() >= kKeptPieces) laid_.clear();
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
  return *laid_.emplace(start, std::move(layout)).first->second;
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
  const int p = Holding(preedit_start_);
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
  if (column > 0 && column == pieces_[static_cast<std::size_t>(p)].start) p = PieceOf(column - 1);
  return Column(p, Laid(p).previousCursorPosition(Utf16(p, column), mode));
}

qreal LineLayout::Width() const {
  if (Whole()) return Laid(0).lineAt(0).naturalTextWidth();
  return pieces_.back().x + PreeditWidth();
}

void LineLayout::Draw(QPainter& painter, QPointF origin, qreal left, qreal right, int from, int to,
                      const QTextCharFormat& selected) const {
  for (int p = Whole() ? 0 : PieceAt(left);;) {
    const int start = pieces_[static_cast<std::size_t>(p)].start;
    const int end = PieceEnd(p);
    QList<QTextLayout::FormatRange> ranges;
    if (from >= 0 && (Whole() || (from < end && to > start))) {
      QTextLayout::FormatRange range;
      range.start = Utf16(p, std::max(from, start));
      range.length = Utf16(p, std::min(to, end)) - range.start;
      range.format = selected;
      // The selection stands around the input method's text.
      if (PreeditIn(p) && range.start >= Utf16(p, preedit_column_)) {
        range.start += static_cast<int>(preedit_->text.size());
      }
      ranges << range;
    }
    Laid(p).draw(&painter, origin + QPointF(PieceX(p), 0), ranges);
    if (end >= Size() || PieceX(p + 1) > right) break;
    p = PieceOf(end);
  }
}
