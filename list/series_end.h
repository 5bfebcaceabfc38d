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
  void Changed(int first) { from_ = std::min(from_, std::max(first, 0)); }

  // `lines` offers LineCount() and Line(k) with empty().
  template <class Lines>
  int Find(const Lines& lines) {
    if (from_ <= end_) {
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
};
