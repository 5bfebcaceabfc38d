#pragma once

#include <QFont>
#include <QList>
#include <QString>
#include <QTextCharFormat>
#include <QTextLayout>
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
// to blink a caret in than a short one.
class LineLayout {
 public:
  static constexpr int kWhole = 4096;
  static constexpr int kPiece = 1024;

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
  struct Piece {
    int start;  // column where it begins
    qreal x;    // where it begins
  };

  bool Whole() const { return static_cast<int>(line_.size()) <= kWhole; }
  int PieceCount() const;
  int PieceEnd(int p) const;
  // The piece that holds `column`; a column between two pieces belongs to the later one, the
  // line's end to the last.
  int PieceOf(int column) const;
  // The piece drawn at `x`.
  int PieceAt(qreal x) const;
  // Measures pieces until the one that holds `column` or reaches past `x` is known.
  void MeasureTo(int column, qreal x) const;
  qreal Measured(std::string_view piece) const;
  // How much wider the preedit makes the piece that holds it.
  qreal PreeditWidth() const;
  // Where piece p begins, with the preedit's width after the piece that holds it.
  qreal PieceX(int p) const;
  // Piece p laid out, with the preedit when it holds it.
  QTextLayout& Laid(int p) const;
  bool PreeditIn(int p) const { return preedit_ && p == preedit_piece_; }
  // UTF-16 position in piece p's layout of `column`, and back.
  int Utf16(int p, int column) const;
  int Column(int p, int utf16) const;

  std::string_view line_;
  QFont font_;
  QPaintDevice* device_;
  const Preedit* preedit_ = nullptr;
  int preedit_column_ = 0;
  int preedit_piece_ = 0;
  mutable std::vector<Piece> pieces_;  // measured so far, one more than complete ones at the end
  mutable bool measured_ = false;      // to the line's end
  mutable std::vector<qreal> ascii_;   // widths of the printable ASCII characters
  mutable std::map<int, std::unique_ptr<QTextLayout>> laid_;
};
