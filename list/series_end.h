#pragma once

#include <algorithm>
#include <climits>

// Where the values of a list end: at its first empty line, or at its line count when no line is
// empty. The line found is kept; a change reports the first line it touched, and the next
// question searches again only from there, and only when the change lies at or before the
// kept end. Painting and describing the list after every keystroke thus never pass over all the
// lines of a long list.
class SeriesEnd {
 public:
  // Lines from `first` on may have changed, been inserted or removed.
  void Changed(int first) {
    shift_ = false;
    from_ = std::min(from_, std::max(first, 0));
  }
  // `removed` lines from `first` on gave way to `inserted` others. Where that is the only change
  // since the last search and every line it took lay before the end, the next search reads only
  // the lines put in: a key in a long list then costs no walk to its end.
  void Changed(int first, int removed, int inserted) {
    const bool alone = from_ == INT_MAX && first >= 0 && first + removed <= end_;
    Changed(first);
    if (alone) {
      shift_ = true;
      inserted_ = inserted;
      moved_ = inserted - removed;
    }
  }

  // `lines` offers LineCount() and Line(k) with empty().
  template <class Lines>
  int Find(const Lines& lines) {
    if (shift_) {
      // The lines before the change are values still, and so are those it took: the end is the
      // first empty line put in, or moves by the lines that came or went.
      int k = from_;
      while (k < from_ + inserted_ && !lines.Line(k).empty()) ++k;
      end_ = k < from_ + inserted_ ? k : end_ + moved_;
      shift_ = false;
    } else if (from_ <= end_) {
      const int count = lines.LineCount();
      end_ = std::min(from_, count);
      while (end_ < count && !lines.Line(end_).empty()) ++end_;
    }
    from_ = INT_MAX;
    return end_;
  }

 private:
  int end_ = 0;
  int from_ = 0;  // the first line changed since the last search
  bool shift_ = false;
  int inserted_ = 0, moved_ = 0;
};
