#pragma once

#include <QFont>
#include <QList>
#include <QString>
#include <QTextCharFormat>
#include <QTextLayout>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "preedit.h"

class QPainter;
class QPaintDevice;

// One line of the list laid out on one line without wrapping, for drawing it and for finding
// places in it; columns are bytes of its UTF-8 text, x counts from the line's start. A line of
// up to kWhole bytes is laid out whole. A longer one is cut into pieces of about kPiece bytes
// that are laid out only where the line is looked at, and placed one after the other by their
// widths, so that a line of a hundred million characters costs no more to draw, to type in or
// to blink a caret in than a short one. A place further from anything measured than kReach
// bytes of printable ASCII take to measure, such as the line's end after End, is not measured
// up to: the stretch before it is given the width its bytes take on average in what is
// measured so far, and what is measured there is placed after it. A stretch keeps its width
// while it is measured from either side, so that what is in view stays where it is drawn.
class LineLayout {
 public:
  static constexpr int kWhole = 4096;
  static constexpr int kPiece = 1024;
  static constexpr int kReach = 1 << 20;

  // `line` must stay as it is while the layout is used.
  LineLayout(std::string_view line, const QFont& font, QPaintDevice* device);
  // Line `line` as an edit made it from `earlier`'s line, which is still there: the pieces
  // before the edit are taken over as they were measured and laid out.
  LineLayout(std::string_view line, LineLayout&& earlier);
  // The same after an edit in place from `column` on: `earlier`'s line is gone, and its bytes
  // before `column` are those of `line`.
  LineLayout(std::string_view line, LineLayout&& earlier, int column);
  ~LineLayout();
  LineLayout(const LineLayout&) = delete;
  LineLayout& operator=(const LineLayout&) = delete;

  std::string_view Text() const { return line_; }
  // Shows `preedit` at `column`; nullptr shows none.
  void SetPreedit(int column, const Preedit* preedit);

  // Where a caret before `column` stands; inside a preedit at `column`, after the preedit's text.
  qreal X(int column) const;
  // Where the preedit's own cursor stands.
  qreal PreeditCursorX() const;
  // The column whose caret place is nearest to `x`.
  int ColumnAt(qreal x) const;
  int Next(int column, QTextLayout::CursorMode mode) const;
  int Previous(int column, QTextLayout::CursorMode mode) const;
  // How wide the line is drawn; for a long line not yet measured to its end, an estimate from
  // what is measured.
  qreal Width() const;
  // Draws what lies between `left` and `right` at `origin`, the columns from `from` to `to`
  // in `selected` (none where `from` is negative).
  void Draw(QPainter& painter, QPointF origin, qreal left, qreal right, int from, int to,
            const QTextCharFormat& selected) const;

 private:
  // A piece, or a stretch between pieces not measured yet whose width is estimated.
  struct Piece {
    int start;      // column where it begins
    bool measured;  // laid out where it stands, not estimated
    qreal x;        // where it begins
  };

  int Size() const { return static_cast<int>(line_.size()); }
  bool Whole() const { return Size() <= kWhole; }
  int PieceCount() const;
  int PieceEnd(int p) const;
  // The piece that holds `column`; a column between two pieces belongs to the later one, the
  // line's end to the last. Measures it where it is not yet.
  int PieceOf(int column) const;
  // The piece drawn at `x`, measured.
  int PieceAt(qreal x) const;
  // The pieces or stretches that hold `column` or lie at `x`, measured or not.
  int Holding(int column) const;
  int Under(qreal x) const;
  // Measures the line where it holds `column`, or else where it lies at `x`.
  void Reach(int column, qreal x) const;
  // Ways of measuring in stretch j: from its start on until `column` or `x` is measured, from
  // its end back to `at`, or from `at`, far from both, on until `column` or `x` is measured.
  void Forward(int j, int column, qreal x) const;
  void Backward(int j, int at) const;
  void Island(int j, int at, int column, qreal x) const;
  // Puts `measured`, and what is left from `start` to `end` as a stretch at `at`, in the place
  // of stretch j, which reached `was`. What follows moves to where they end, or, with `least`,
  // as far as the stretch left needs to keep its least width.
  void Settle(int j, std::vector<Piece> measured, int start, int end, qreal at, qreal was,
              bool least) const;
  // Where a piece that should end at `end` and begins at `start` is cut.
  int Cut(int end, int start) const;
  qreal Measured(int start, int end) const;
  // Whether measuring from `from` to `to` costs no more than measuring kReach bytes of
  // printable ASCII.
  bool Cheap(int from, int to) const;
  // Width per byte of what is measured.
  qreal Density() const;
  // The least width a stretch of `bytes` may keep.
  qreal Least(int bytes) const { return Density() * bytes / 4; }
  // Moves pieces from p on by `by`.
  void Shift(int p, qreal by) const;
  // Moves the pieces measured one after the other that end where stretch j begins, and that
  // beginning, by `by`, making the stretch before them wider or narrower; false where there is
  // no such stretch or it would become too narrow.
  bool ShiftBefore(int j, qreal by) const;
  // The last stretch before entry j, or -1.
  int GapBefore(int j) const;
  // The line's end where it is not measured up to, estimated anew from what is measured.
  void Float() const;
  // How much wider the preedit makes the piece that holds it.
  qreal PreeditWidth() const;
  // Where piece p begins, with the preedit's width after the piece that holds it.
  qreal PieceX(int p) const;
  // Piece p laid out, with the preedit when it holds it.
  QTextLayout& Laid(int p) const;
  bool PreeditIn(int p) const {
    return preedit_ && pieces_[static_cast<std::size_t>(p)].start == preedit_start_;
  }
  // UTF-16 position in piece p's layout of `column`, and back.
  int Utf16(int p, int column) const;
  int Column(int p, int utf16) const;

  std::string_view line_;
  QFont font_;
  QPaintDevice* device_;
  const Preedit* preedit_ = nullptr;
  int preedit_column_ = 0;
  int preedit_start_ = 0;  // where the piece that holds the preedit begins
  // From the line's start to its end, the last entry its end.
  mutable std::vector<Piece> pieces_;
  // The last stretch reaches the line's end and is estimated anew as the line is measured.
  mutable bool open_end_ = true;
  mutable qreal measured_width_ = 0;
  mutable std::int64_t measured_bytes_ = 0;
  mutable std::int64_t work_ = 0;  // bytes measured, weighted by what measuring them costs
  mutable std::vector<qreal> ascii_;  // widths of the printable ASCII characters
  mutable std::map<int, std::unique_ptr<QTextLayout>> laid_;  // by where they begin
};
